#include "scripted_ui.h"
#include "shell/frm_main.h"
#include "shell/frm_splash.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QTimerEvent>

using shell::frmMain;
using shell::frmSplash;

namespace {
std::vector<frmMain*> mainWindows()
{
    std::vector<frmMain*> found;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* m = qobject_cast<frmMain*>(w))
            found.push_back(m);
    return found;
}

void runDeferredDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

// Delivers Timer1's expiry as the event loop would, without waiting for it.
void expire(QTimer* timer)
{
    ASSERT_TRUE(timer->isActive());
    QTimerEvent event(timer->timerId());
    QCoreApplication::sendEvent(timer, &event);
}

class FrmSplashTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        splash = new frmSplash;
        splash->show();
    }
    void TearDown() override
    {
        delete splash.data();
        for (frmMain* m : mainWindows())
            delete m;
        runDeferredDeletes();
    }

    testing_support::ScriptedUi ui;
    QPointer<frmSplash> splash;
};
} // namespace

TEST_F(FrmSplashTest, Timer1WaitsFourSecondsWithoutBlockingThenShowsTheMainWindowAndUnloads)
{
    expire(splash->Timer1());
    // The wait is under way and the event loop is free: the splash is still up, no main window.
    EXPECT_EQ(ui.waitedMilliseconds(), 4000);
    EXPECT_EQ(ui.pendingLater(), 1);
    EXPECT_TRUE(splash->isVisible());
    EXPECT_TRUE(mainWindows().empty());
    EXPECT_FALSE(splash->Timer1()->isActive());
    splash->Timer1_Timer();
    EXPECT_EQ(ui.pendingLater(), 1) << "the timer starts one wait";

    EXPECT_EQ(ui.runLater(), 1);
    ASSERT_EQ(mainWindows().size(), 1u);
    EXPECT_TRUE(mainWindows().front()->isVisible());
    EXPECT_FALSE(mainWindows().front()->isModal());
    EXPECT_EQ(splash->mainWindow(), mainWindows().front());
    EXPECT_FALSE(splash->isVisible());

    splash->Timer1_Timer();
    EXPECT_EQ(ui.pendingLater(), 0) << "the timer runs once";
    EXPECT_EQ(mainWindows().size(), 1u);
    runDeferredDeletes();
    EXPECT_TRUE(splash.isNull()) << "unloading deletes the splash";
}

TEST_F(FrmSplashTest, AKeyDuringTheWaitShowsTheMainWindowAtOnceAndTheWaitEndsInNothing)
{
    expire(splash->Timer1());
    QTest::keyClick(splash.data(), Qt::Key_Escape);
    ASSERT_EQ(mainWindows().size(), 1u);
    EXPECT_TRUE(mainWindows().front()->isVisible());
    EXPECT_FALSE(splash->isVisible());

    // The end of the wait finds the splash unloaded (or already gone).
    ui.runLater();
    EXPECT_EQ(mainWindows().size(), 1u);
    runDeferredDeletes();
    EXPECT_TRUE(splash.isNull());
    EXPECT_EQ(ui.runLater(), 0);
}

TEST_F(FrmSplashTest, TheRealWaitLetsTheEventLoopDeliverAKeyPress)
{
    // The real clock: a blocking wait would hold this test for four seconds.
    common::UiSeams real;
    real.wait = common::realSeams().wait;
    real.after = common::realSeams().after;
    const common::ScopedSeams scope(real);
    QElapsedTimer clock;
    clock.start();
    expire(splash->Timer1());
    // A key press the event loop delivers while the four seconds run.
    QTimer::singleShot(0, splash.data(), [this] { QTest::keyClick(splash.data(), Qt::Key_A); });
    while (mainWindows().empty() && clock.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(mainWindows().size(), 1u);
    EXPECT_LT(clock.elapsed(), 2000);
}

TEST_F(FrmSplashTest, AKeySkipsTheWaitAndTheTimerNeverFiresAfterwards)
{
    // A modifier alone is no key press.
    QTest::keyClick(splash.data(), Qt::Key_Shift);
    EXPECT_TRUE(mainWindows().empty());
    EXPECT_TRUE(splash->isVisible());
    EXPECT_TRUE(splash->Timer1()->isActive());

    QTest::keyClick(splash.data(), Qt::Key_Space);
    EXPECT_EQ(ui.waitedMilliseconds(), 0);
    ASSERT_EQ(mainWindows().size(), 1u);
    EXPECT_TRUE(mainWindows().front()->isVisible());
    EXPECT_FALSE(splash->isVisible());
    EXPECT_FALSE(splash->Timer1()->isActive());

    // Even a late expiry or a second key finds nothing left to do.
    splash->Timer1_Timer();
    QTest::keyClick(splash.data(), Qt::Key_Return);
    EXPECT_EQ(ui.waitedMilliseconds(), 0);
    EXPECT_EQ(mainWindows().size(), 1u);
    runDeferredDeletes();
    EXPECT_TRUE(splash.isNull());
}
