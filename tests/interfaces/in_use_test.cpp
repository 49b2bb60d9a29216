// Objects given up while their own code waits in a nested event loop: they
// stay until the waiting code has returned, then go from the event loop.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <memory>

#include "interfaces/delay.h"
#include "interfaces/in_use.h"
#include "tests/support/testutil_interfaces.h"

namespace {

struct TWaiter {
    explicit TWaiter(std::vector<std::string>& log) : Log(log) {}
    ~TWaiter() { Log.push_back("deleted"); }
    TInUse InUse;
    std::vector<std::string>& Log;
    int Member = 7;

    // A handler that waits with events flowing; what runs inside may give
    // the object up. Reads its member afterwards (the sanitizers would see a
    // deleted object).
    void Wait(int ms)
    {
        TInUse::TScope scope(InUse);
        Log.push_back("waiting");
        Delay(ms);
        Log.push_back(Member == 7 ? "after wait" : "corrupt");
    }
};

// Runs f as an event of a running event loop, as a click of the program would.
void RunInEventLoop(const std::function<void()>& f)
{
    QEventLoop loop;
    QTimer::singleShot(0, &loop, [&] {
        f();
        QTimer::singleShot(30, &loop, [&] { loop.quit(); });
    });
    loop.exec();
}

class InUse : public ::testing::Test {
protected:
    void SetUp() override { EnsureApp(); }
    std::vector<std::string> Log;
};

TEST_F(InUse, AnIdleObjectGoesAtOnceAndOnlyTheFirstReleaseCounts)
{
    auto* w = new TWaiter(Log);
    int destroyed = 0;
    w->InUse.Release([&] {
        ++destroyed;
        delete w;
    });
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(Log, std::vector<std::string>{"deleted"});
    TInUse u;
    int calls = 0;
    u.Release([&] { ++calls; });
    u.Release([&] { calls += 10; });
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(u.Released());
}

TEST_F(InUse, GivenUpInsideItsNestedWaitItStaysUntilTheWaitReturns)
{
    // The release comes from an event inside the wait's own event loop: a
    // deleteLater asked for there would run inside that same loop.
    RunInEventLoop([&] {
        auto* w = new TWaiter(Log);
        QTimer::singleShot(5, [&, w] {
            Log.push_back("released");
            ReleaseInUse(w);
        });
        w->Wait(60);
        Log.push_back("handler returned");
    });
    const std::vector<std::string> expected = {"waiting", "released", "after wait", "handler returned", "deleted"};
    EXPECT_EQ(Log, expected);
}

TEST_F(InUse, NestedFramesKeepItUntilTheOutermostReturns)
{
    RunInEventLoop([&] {
        auto* w = new TWaiter(Log);
        TInUse::TScope outer(w->InUse);
        QTimer::singleShot(5, [w] { ReleaseInUse(w); });
        w->Wait(40);  // the inner frame ends with the object given up
        EXPECT_TRUE(w->InUse.Busy());
        Delay(20);  // events flow while the outer frame still runs
        EXPECT_EQ(w->Member, 7);
        EXPECT_EQ(std::count(Log.begin(), Log.end(), "deleted"), 0);
    });
    EXPECT_EQ(Log.back(), "deleted");
}

TEST_F(InUse, IdleIsToldWhenTheLastFrameReturnsButNotAfterTheRelease)
{
    TInUse u;
    int idle = 0;
    u.OnIdle = [&] { ++idle; };
    {
        TInUse::TScope a(u);
        {
            TInUse::TScope b(u);
        }
        EXPECT_EQ(idle, 0);
        EXPECT_TRUE(u.Busy());
    }
    EXPECT_EQ(idle, 1);
    EXPECT_FALSE(u.Busy());
    bool destroyed = false;
    {
        TInUse::TScope a(u);
        u.Release([&] { destroyed = true; });
    }
    EXPECT_EQ(idle, 1);
    EXPECT_FALSE(destroyed);  // posted to the event loop
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(destroyed);
}

}  // namespace
