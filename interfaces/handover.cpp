#include "interfaces/handover.h"

#include <QMetaObject>
#include <QObject>
#include <memory>

TUiHandover::TUiHandover() : FDispatcher(new QObject()), FOwner(std::this_thread::get_id()) {}

TUiHandover::~TUiHandover()
{
    Stop();
    // Calls still queued die with their receiver.
    delete FDispatcher;
}

bool TUiHandover::Call(const std::function<void()>& call)
{
    if (OnOwnerThread()) {
        if (Stopped()) return false;
        call();
        return true;
    }
    struct Ticket {
        bool Done = false;
        bool Ran = false;
    };
    auto ticket = std::make_shared<Ticket>();
    uint64_t generation;
    {
        std::lock_guard<std::mutex> lock(FLock);
        if (FStopped) return false;
        generation = FGeneration;
    }
    QMetaObject::invokeMethod(
        FDispatcher,
        [this, ticket, call, generation] {
            bool run;
            {
                std::lock_guard<std::mutex> lock(FLock);
                run = generation == FGeneration;
            }
            if (run) call();
            {
                std::lock_guard<std::mutex> lock(FLock);
                ticket->Done = true;
                ticket->Ran = run;
            }
            FCond.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock<std::mutex> lock(FLock);
    FCond.wait(lock, [&] { return ticket->Done || generation != FGeneration; });
    return ticket->Ran;
}

void TUiHandover::Cancel()
{
    {
        std::lock_guard<std::mutex> lock(FLock);
        ++FGeneration;
    }
    FCond.notify_all();
}

void TUiHandover::Stop()
{
    {
        std::lock_guard<std::mutex> lock(FLock);
        FStopped = true;
        ++FGeneration;
    }
    FCond.notify_all();
}

bool TUiHandover::Stopped() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FStopped;
}
