#pragma once
// Synchronous hand-over from a worker thread to the thread that created the
// hand-over object (the user-interface thread): Call runs a function there
// and waits until it has run. Cancel releases a waiting worker and drops the
// calls not yet run, so an owner can stop its worker from inside a handler.
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
    // false when the call was dropped by Cancel.
    bool Call(const std::function<void()>& call);
    // Drops pending calls and releases their workers; later calls still run.
    void Cancel();

private:
    QObject* FDispatcher;
    std::thread::id FOwner;
    std::mutex FLock;
    std::condition_variable FCond;
    uint64_t FGeneration = 0;
};
