// The message window offscreen: one window reused for every text with its
// width following the text, Esc hiding it without closing it, and closing
// through HideMessageWindow.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPointer>
#include <QTest>

#include <cstdlib>

#include "row/message_window.h"
#include "tests/support/child.h"
#include "tests/support/test_home.h"
#include "tests/support/test_registry.h"

namespace {

QApplication& App() { return TestApp(); }

// Lets deferred deletions run.
void Settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
}

int ExpectedWidth(const TfrmMessage* w, const char* text)
{
    return QFontMetrics(w->font()).horizontalAdvance(QString(text)) + 50 + 50;
}

// The main window's dialog colour and font.
class TMessageRegistry : public TEmptyRegistry {
public:
    TAppearance Appearance() const override
    {
        TAppearance a;
        a.Font = QFont("Sans", 26);
        return a;
    }
    QColor DialogColor() const override { return QColor(0x20, 0x40, 0x60); }
};

class MessageWindowTest : public ::testing::Test {
protected:
    void SetUp() override { App(); }
    void TearDown() override
    {
        HideMessageWindow();
        Settle();
    }
};

TEST_F(MessageWindowTest, ShowingAgainReusesTheWindowAndFitsTheText)
{
    const char* longText = "Waiting for interface ... (Press [Esc] to cancel)";
    const char* shortText = "Connecting ...";
    ShowMessageWindow(longText);
    QPointer<TfrmMessage> first = MessageWindow();
    ASSERT_TRUE(first);
    EXPECT_TRUE(MessageWindowShown());
    EXPECT_EQ(first->height(), 44);
    EXPECT_EQ(Child<QLabel>(first, "imgIcon")->width(), 50);
    EXPECT_EQ(Child<QLabel>(first, "pnlMessage")->text(), longText);
    const int longWidth = first->width();
    EXPECT_EQ(longWidth, ExpectedWidth(first, longText));

    ShowMessageWindow(shortText);
    EXPECT_EQ(MessageWindow(), first.data());
    EXPECT_EQ(Child<QLabel>(first, "pnlMessage")->text(), shortText);
    EXPECT_EQ(first->width(), ExpectedWidth(first, shortText));
    EXPECT_LT(first->width(), longWidth);

    ShowMessageWindow(longText);
    EXPECT_EQ(MessageWindow(), first.data());
    EXPECT_EQ(first->width(), longWidth);
    EXPECT_TRUE(first->windowFlags() & Qt::FramelessWindowHint);
}

TEST_F(MessageWindowTest, TakesTheMainWindowsDialogColourAndFont)
{
    TMessageRegistry registry;
    const char* text = "Waiting for interface ... (Press [Esc] to cancel)";
    ShowMessageWindow(text);
    TfrmMessage* w = MessageWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->palette().color(QPalette::Window), QColor(0x20, 0x40, 0x60));
    EXPECT_EQ(w->font().pointSize(), 26);
    EXPECT_EQ(w->width(), ExpectedWidth(w, text));
    HideMessageWindow();
}

TEST_F(MessageWindowTest, EscHidesWithoutClosingAndHideThenCloses)
{
    ShowMessageWindow("Waiting for interface ... (Press [Esc] to cancel)");
    QPointer<TfrmMessage> w = MessageWindow();
    ASSERT_TRUE(w);
    QTest::keyClick(w.data(), Qt::Key_Escape);
    EXPECT_FALSE(MessageWindowShown());
    Settle();
    ASSERT_TRUE(w);  // still exists
    EXPECT_EQ(MessageWindow(), w.data());
    EXPECT_EQ(w->Tag, 0);
    EXPECT_FALSE(w->isVisible());

    HideMessageWindow();
    EXPECT_EQ(MessageWindow(), nullptr);
    EXPECT_FALSE(MessageWindowShown());
    Settle();
    EXPECT_FALSE(w);  // closed and freed

    // The next text gets a fresh window.
    ShowMessageWindow("Searching ...");
    ASSERT_NE(MessageWindow(), nullptr);
    EXPECT_TRUE(MessageWindowShown());
    EXPECT_EQ(MessageWindow()->Tag, 0);
}

TEST_F(MessageWindowTest, ShowAfterEscShowsTheSameWindowAgain)
{
    ShowMessageWindow("one");
    QPointer<TfrmMessage> w = MessageWindow();
    QTest::keyClick(w.data(), Qt::Key_Escape);
    ASSERT_FALSE(MessageWindowShown());
    ShowMessageWindow("two");
    EXPECT_EQ(MessageWindow(), w.data());
    EXPECT_TRUE(MessageWindowShown());
}

TEST_F(MessageWindowTest, OtherKeysDoNotHide)
{
    ShowMessageWindow("one");
    QTest::keyClick(MessageWindow(), Qt::Key_Space);
    QTest::keyClick(MessageWindow(), Qt::Key_Return);
    EXPECT_TRUE(MessageWindowShown());
}

TEST_F(MessageWindowTest, HideWithoutWindowDoesNothing)
{
    ASSERT_EQ(MessageWindow(), nullptr);
    HideMessageWindow();
    HideMessageWindow();
    EXPECT_EQ(MessageWindow(), nullptr);
    EXPECT_FALSE(MessageWindowShown());
    // A window closed by other means (its own close) is forgotten as well.
    ShowMessageWindow("one");
    QPointer<TfrmMessage> w = MessageWindow();
    w->close();
    Settle();
    EXPECT_FALSE(w);
    EXPECT_EQ(MessageWindow(), nullptr);
    EXPECT_FALSE(MessageWindowShown());
    HideMessageWindow();
}

}  // namespace
