#pragma once
// TInUse: keeps an object alive while its own code runs further up the stack.
//
// Handlers here run nested event loops (a modal question, a Delay wait, a
// port that closes), and whatever runs inside them may give up the object
// whose code is waiting: a window closes, a device is dropped. Such an object
// counts the frames of its own code with TInUse::TScope, and its owner gives
// it up through Release instead of deleting it. Release deletes at once when
// no frame of the object runs; otherwise the object is deleted from the event
// loop once its last frame has returned, so the code after a nested loop
// always finds its object (it checks only what it must do next: whether it
// was shut down meanwhile).
//
// The deletion is posted as a deferred delete from the frame that ends the
// use: Qt runs it only after the event that frame belongs to has returned,
// never inside a nested loop further up (a deferred delete asked for inside a
// nested loop would run in that loop, which is why the owner cannot simply
// call deleteLater).
#include <functional>

class TInUse {
public:
    TInUse() = default;
    ~TInUse() = default;
    TInUse(const TInUse&) = delete;
    TInUse& operator=(const TInUse&) = delete;

    // One running frame of the object's code.
    class TScope {
    public:
        explicit TScope(TInUse& use) : Use(use) { ++Use.FDepth; }
        ~TScope() { Use.Leave(); }
        TScope(const TScope&) = delete;
        TScope& operator=(const TScope&) = delete;

    private:
        TInUse& Use;
    };

    bool Busy() const { return FDepth > 0; }
    // True once the owner gave the object up; its running frames finish on it.
    bool Released() const { return FReleased; }

    // Gives the object up: destroy (which deletes it) runs now when no frame
    // runs, else from the event loop once the last frame has returned.
    // Only the first call counts.
    void Release(std::function<void()> destroy);

    // Runs each time the last running frame returns (not for a released
    // object): an owner that holds something back while the object is busy
    // goes on from here.
    std::function<void()> OnIdle;

private:
    void Leave();

    int FDepth = 0;
    bool FReleased = false;
    std::function<void()> FDestroy;
};

// Runs destroy from the event loop once the event running now has returned
// (at once without an application).
void DestroyFromEventLoop(std::function<void()> destroy);

// Gives up an owned object that keeps its TInUse in a member InUse.
template <class T>
void ReleaseInUse(T* object)
{
    if (object) object->InUse.Release([object] { delete object; });
}
