#include "scripted_ui.h"
#include "shell/frm_main.h"
#include "shell/frm_splash.h"

#include <gtest/gtest.h>

#include <QApplication>
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

TEST_F(FrmSplashTest, ShowsItsPictureAndArmsTimer1)
{
    const auto* picture = splash->findChild<QLabel*>(QStringLiteral("ImgSplash"));
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->pixmap().size(), QSize(341, 209));
    EXPECT_EQ(splash->Timer1()->objectName(), QStringLiteral("Timer1"));
    EXPECT_EQ(splash->Timer1()->interval(), 10);
    EXPECT_TRUE(splash->Timer1()->isSingleShot());
    EXPECT_TRUE(splash->Timer1()->isActive());
    EXPECT_TRUE(mainWindows().empty());
}

TEST_F(FrmSplashTest, Timer1WaitsFourSecondsThenShowsTheMainWindowAndUnloads)
{
    bool splashUpDuringWait = false;
    std::size_t mainWindowsDuringWait = 99;
    common::UiSeams during;
    during.wait = [&](int ms) {
        EXPECT_EQ(ms, 4000);
        splashUpDuringWait = splash && splash->isVisible();
        mainWindowsDuringWait = mainWindows().size();
    };
    {
        const common::ScopedSeams scope(during);
        expire(splash->Timer1());
    }
    EXPECT_TRUE(splashUpDuringWait);
    EXPECT_EQ(mainWindowsDuringWait, 0u);

    ASSERT_EQ(mainWindows().size(), 1u);
    EXPECT_TRUE(mainWindows().front()->isVisible());
    EXPECT_FALSE(mainWindows().front()->isModal());
    EXPECT_EQ(splash->mainWindow(), mainWindows().front());
    EXPECT_FALSE(splash->isVisible());
    EXPECT_FALSE(splash->Timer1()->isActive());

    splash->Timer1_Timer();
    EXPECT_EQ(mainWindows().size(), 1u) << "the timer runs once";
    runDeferredDeletes();
    EXPECT_TRUE(splash.isNull()) << "unloading deletes the splash";
}

TEST_F(FrmSplashTest, AKeySkipsTheWaitAndTheTimerNeverFiresAfterwards)
{
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

TEST_F(FrmSplashTest, AKeyAfterTheWaitShowsNoSecondMainWindow)
{
    splash->Timer1_Timer();
    EXPECT_EQ(ui.waitedMilliseconds(), 4000);
    splash->Form_KeyPress(27);
    EXPECT_EQ(mainWindows().size(), 1u);
}

TEST_F(FrmSplashTest, AModifierAloneIsNoKeyPress)
{
    QTest::keyClick(splash.data(), Qt::Key_Shift);
    EXPECT_TRUE(mainWindows().empty());
    EXPECT_TRUE(splash->isVisible());
    EXPECT_TRUE(splash->Timer1()->isActive());
}
