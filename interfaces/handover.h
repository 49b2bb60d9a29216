#pragma once
// Synchronous hand-over from a worker thread to the thread that created the
// hand-over object (the user-interface thread): Call runs a function there
// and waits until it has run, so handlers run one at a time and in order.
// Cancel releases the waiting worker and drops the calls not yet run (an
// owner closing its device from inside a handler); Stop does the same and
// refuses every later call, so an owner can join its worker without the
// worker waiting on the joining thread.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

class QObject;

class TUiHandover {
public:
    TUiHandover();
    ~TUiHandover();
    TUiHandover(const TUiHandover&) = delete;
    TUiHandover& operator=(const TUiHandover&) = delete;

    // Runs call on the owning thread (at once when called there). Returns
    // false when the call was dropped by Cancel or Stop.
    bool Call(const std::function<void()>& call);
    // Drops pending calls and releases their workers; later calls still run.
    void Cancel();
    // Drops pending calls, releases their workers and refuses later calls.
    void Stop();
    bool Stopped() const;
    bool OnOwnerThread() const { return std::this_thread::get_id() == FOwner; }

private:
    QObject* FDispatcher;
    std::thread::id FOwner;
    mutable std::mutex FLock;
    std::condition_variable FCond;
    uint64_t FGeneration = 0;
    bool FStopped = false;
};
