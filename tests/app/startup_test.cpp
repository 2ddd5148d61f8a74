// Start-up: the splash, its key and timer, the command line's switch, the About box.
#include "MainFrm.h"
#include "Splash.h"
#include "Stillo.h"
#include "WorkView.h"

#include "platform/ui/services.h"

#include "res/resource.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

struct StartupFixture : ::testing::Test {
    void SetUp() override {
        CSplashWnd::EnableSplashScreen(true);
        frame = std::make_unique<CMainFrame>();
        frame->m_link.showLogo = [this] { ++logoShown; };
        ASSERT_TRUE(frame->OnCreate(true));
        frame->show();
    }
    void TearDown() override {
        frame.reset();
        CSplashWnd::EnableSplashScreen(false);
    }
    std::unique_ptr<CMainFrame> frame;
    int logoShown = 0;
};

TEST_F(StartupFixture, SplashShowsBitmapOverFrameAndOnlyOnce) {
    ASSERT_NE(g_pActiveSplash, nullptr) << "bitmap 102 missing";
    EXPECT_EQ(g_pActiveSplash->size(), QSize(520, 316));
    EXPECT_TRUE(g_pActiveSplash->isVisible());
    EXPECT_EQ(g_pSplashOwnerFrame, frame.get());
    CSplashWnd* first = g_pActiveSplash;
    CSplashWnd::ShowSplashScreen(frame.get());
    EXPECT_EQ(g_pActiveSplash, first);
}

TEST_F(StartupFixture, KeyPressHidesSplashAndIsSwallowed) {
    ASSERT_NE(g_pActiveSplash, nullptr);
    QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
    QMouseEvent move(QEvent::MouseMove, QPointF(1, 1), QPointF(1, 1), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    EXPECT_FALSE(CSplashWnd::PreTranslateAppMessage(&move));
    EXPECT_NE(g_pActiveSplash, nullptr);
    EXPECT_TRUE(CSplashWnd::PreTranslateAppMessage(&key));
    EXPECT_EQ(g_pActiveSplash, nullptr);
    EXPECT_EQ(logoShown, 1);
    // With no splash nothing more is taken.
    EXPECT_FALSE(CSplashWnd::PreTranslateAppMessage(&key));
    EXPECT_EQ(logoShown, 1);
}

TEST_F(StartupFixture, ClickThroughApplicationHookOnlyHidesSplash) {
    CStilloApp app;
    qApp->installEventFilter(&app);
    QPushButton button(frame->DisplayWindow());
    int clicks = 0;
    QObject::connect(&button, &QPushButton::pressed, [&] { ++clicks; });
    button.show();
    QTest::mousePress(&button, Qt::LeftButton);
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(g_pActiveSplash, nullptr);
    EXPECT_EQ(logoShown, 1);
    QTest::mouseRelease(&button, Qt::LeftButton);
    QTest::mousePress(&button, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
    qApp->removeEventFilter(&app);
}

TEST_F(StartupFixture, TimerHidesSplashAfterItsPeriod) {
    ASSERT_NE(g_pActiveSplash, nullptr);
    // Its one timer runs once, for 1,500 ms from the show...
    const QList<QTimer*> timers = g_pActiveSplash->findChildren<QTimer*>();
    ASSERT_EQ(timers.size(), 1);
    EXPECT_TRUE(timers[0]->isActive());
    EXPECT_TRUE(timers[0]->isSingleShot());
    EXPECT_EQ(timers[0]->interval(), 1500);
    // ...and hides the splash when it runs out.
    EXPECT_TRUE(QTest::qWaitFor([] { return g_pActiveSplash == nullptr; }, 60000));
    EXPECT_EQ(logoShown, 1);
}

TEST(Startup, CommandLineSwitchTurnsSplashOff) {
    EXPECT_TRUE(CStilloApp::SplashWanted({"Stillo"}));
    EXPECT_TRUE(CStilloApp::SplashWanted({"Stillo", "clip.avi"}));
    EXPECT_FALSE(CStilloApp::SplashWanted({"Stillo", "-nosplash"}));
    EXPECT_FALSE(CStilloApp::SplashWanted({"Stillo", "/Embedding"}));
    CSplashWnd::EnableSplashScreen(false);
    CMainFrame frame;
    int logo = 0;
    frame.m_link.showLogo = [&] { ++logo; };
    ASSERT_TRUE(frame.OnCreate(true));
    EXPECT_EQ(g_pActiveSplash, nullptr);
    EXPECT_EQ(logo, 0);
}

TEST(Startup, AboutBoxOpensModallyAndOkClosesIt) {
    QString caption;
    QStringList texts;
    bool modal = false;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        modal = box->isModal();
        caption = box->windowTitle();
        for (QLabel* label : box->findChildren<QLabel*>()) {
            texts << label->text();
        }
        auto* ok = qobject_cast<QPushButton*>(ui::FindControl(box, IDOK));
        ASSERT_NE(ok, nullptr);
        ok->click();
    });
    CStilloApp::OnAppAbout(nullptr);
    EXPECT_TRUE(modal);
    EXPECT_EQ(caption, "About Stillo");
    EXPECT_TRUE(texts.contains("Stillo Version 1.1"));
    EXPECT_EQ(texts.size(), 6);
}

} // namespace

namespace {

TEST(Startup, WholeStartPutsWorkFormInDisplayWindowAndExitEndsWithZero) {
    CStilloApp app;
    ASSERT_TRUE(app.InitInstance({"Stillo", "-nosplash"}));
    CMainFrame* frame = app.MainFrame();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(g_pMainFrame, static_cast<CMainFrameState*>(frame));
    ASSERT_NE(frame->m_pWorkView, nullptr);
    EXPECT_EQ(frame->m_pWorkView->parentWidget(), frame->DisplayWindow());
    EXPECT_EQ(frame->m_strOutputPathName, "None");
    // The probe video does not count as loaded, and nothing has been painted yet.
    EXPECT_EQ(frame->m_bVideoLoaded, 0);
    frame->UpdateCommandUI();
    EXPECT_FALSE(frame->Action(ID_FILE_SAVE_AS)->isEnabled());
    EXPECT_TRUE(frame->Action(ID_FILE_LOADVIDEO)->isEnabled());
    QTimer::singleShot(0, frame, [frame] { frame->OnAppExit(); });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_EQ(frame->m_bRunning, 0);
}

} // namespace
