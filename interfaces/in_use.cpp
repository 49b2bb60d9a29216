#include "interfaces/in_use.h"

#include <QCoreApplication>
#include <QObject>

namespace {

// Carries a deletion to the event loop: deleted with deleteLater, it runs
// the deletion from its destructor.
class TDeferredDestroy : public QObject {
public:
    explicit TDeferredDestroy(std::function<void()> destroy) : Destroy(std::move(destroy)) {}
    ~TDeferredDestroy() override
    {
        if (Destroy) Destroy();
    }
    std::function<void()> Destroy;
};

}  // namespace

void TInUse::Release(std::function<void()> destroy)
{
    if (FReleased) return;
    FReleased = true;
    OnIdle = nullptr;
    if (FDepth > 0) {
        FDestroy = std::move(destroy);
        return;
    }
    if (destroy) destroy();
}

void TInUse::Leave()
{
    if (--FDepth > 0) return;
    if (!FReleased) {
        if (OnIdle) {
            // A copy: the callback may replace itself.
            auto idle = OnIdle;
            idle();
        }
        return;
    }
    std::function<void()> destroy = std::move(FDestroy);
    FDestroy = nullptr;
    if (destroy) DestroyFromEventLoop(std::move(destroy));
}

void DestroyFromEventLoop(std::function<void()> destroy)
{
    if (!destroy) return;
    // Without an application no event loop can run further up: now.
    if (!QCoreApplication::instance()) {
        destroy();
        return;
    }
    (new TDeferredDestroy(std::move(destroy)))->deleteLater();
}
