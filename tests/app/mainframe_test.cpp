// The frame's menu, its enabling rules, prompts, file commands, Exit and the Manual.
#include "MainFrm.h"
#include "Splash.h"
#include "Stillo.h"
#include "platform/ui/dialog.h"
#include "platform/ui/lock_keys.h"

#include "platform/ui/services.h"

#include "res/resource.h"
#include "tests/support/temp_dir.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace {

struct FrameFixture : ::testing::Test {
    void SetUp() override {
        MakeFrame();
        ui::SetMessageHandler([this](const ui::MessageRequest& r) {
            log.push_back("box " + r.caption.toStdString() + ": " + r.text.toStdString());
            return 1; // OK
        });
    }
    // A frame whose link to the work form records what it is asked; made anew for a restart.
    void MakeFrame() {
        frame.reset();
        frame = std::make_unique<CMainFrame>();
        ASSERT_TRUE(frame->OnCreate(false));
        frame->m_link.isSnapping = [this] { return snapping; };
        frame->m_link.canvasExists = [this] { return canvas; };
        frame->m_link.loadVideo = [this](const QString& path, const QString& name) {
            log.push_back("load " + path.toStdString() + " " + name.toStdString());
            return loads;
        };
        frame->m_link.saveResult = [this] {
            log.push_back("save " + g_pMainFrame->m_strOutputPathName.toStdString());
        };
    }
    void TearDown() override {
        ui::SetMessageHandler({});
        ui::SetFilePromptHandler({});
        ui::SetOpenHandler({});
        frame.reset();
    }
    bool Enabled(int id) {
        frame->UpdateCommandUI();
        return frame->Action(id)->isEnabled();
    }

    std::unique_ptr<CMainFrame> frame;
    bool snapping = false;
    bool canvas = false;
    bool loads = true; // whether the work form takes the video it is given
    std::vector<std::string> log;
};

TEST_F(FrameFixture, MenuHoldsEveryItemWithItsPrompt) {
    ASSERT_EQ(frame->windowTitle(), "Stillo");
    const std::vector<std::pair<QString, std::vector<int>>> menus = {
        {"&File", {ID_FILE_LOADVIDEO, ID_FILE_SAVE_AS, ID_APP_EXIT}},
        {"&Settings", {ID_SETTINGS_IMAGETRIM, ID_SETTINGS_DEINTERLACING, ID_SETTINGS_JPEGQUALITY}},
        {"&Help", {ID_HELP_MANUAL, ID_APP_ABOUT}},
    };
    for (size_t m = 0; m < menus.size(); ++m) {
        QMenu* menu = frame->Menu(int(m));
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(menu->title(), menus[m].first);
        ASSERT_EQ(menu->actions().size(), qsizetype(menus[m].second.size()));
        for (size_t i = 0; i < menus[m].second.size(); ++i) {
            EXPECT_EQ(menu->actions()[i]->data().toInt(), menus[m].second[i]);
        }
    }
    EXPECT_EQ(frame->Action(ID_SETTINGS_DEINTERLACING)->text(), "Deinterlacing");
    EXPECT_EQ(frame->Action(ID_APP_ABOUT)->text(), "&About Stillo...");
}

// Hovering an item in its open menu shows its prompt, enabled or not; leaving it, "Ready".
TEST_F(FrameFixture, StatusBarShowsPromptsAndReady) {
    frame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
    EXPECT_EQ(frame->StatusText(), "Ready");
    // During a run every item but Exit and the Help menu's is disabled.
    snapping = true;
    const std::pair<int, const char*> prompts[] = {
        {ID_FILE_LOADVIDEO, "Load New Video File"},
        {ID_FILE_SAVE_AS, "Save The Mosaic Result"},
        {ID_APP_EXIT, "Quit the application"},
        {ID_SETTINGS_IMAGETRIM, "Set The Source Image Trim Size"},
        {ID_SETTINGS_DEINTERLACING, "Enable/Disable Destructive Deinterlacing"},
        {ID_SETTINGS_JPEGQUALITY, "Set the output Jpeg Quality Factor"},
        {ID_HELP_MANUAL, "Load Manual Into Internet Explorer"},
    };
    for (const auto& [id, prompt] : prompts) {
        QMenu* menu = qobject_cast<QMenu*>(frame->Action(id)->parent());
        ASSERT_NE(menu, nullptr) << id;
        frame->menuBar()->setActiveAction(menu->menuAction());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
        // A menu takes the pointer only once it has moved since the menu opened.
        const QPoint item = menu->actionGeometry(frame->Action(id)).center();
        QTest::mouseMove(menu->windowHandle(), item + QPoint(40, 0));
        QTest::mouseMove(menu->windowHandle(), item);
        EXPECT_EQ(frame->StatusText().toStdString(), prompt) << id;
        menu->hide();
        EXPECT_EQ(frame->StatusText().toStdString(), "Ready") << id;
    }
    EXPECT_FALSE(frame->Action(ID_FILE_SAVE_AS)->isEnabled());
}

// The CAP, NUM and SCRL panes are greyed while the locks cannot be read (offscreen), then each
// is lit exactly while its own lock is on.
TEST_F(FrameFixture, LockPanesFollowTheKeyboard) {
    const char* names[] = {"CAP", "NUM", "SCRL"};
    QLabel* panes[3];
    for (int i = 0; i < 3; ++i) {
        panes[i] = frame->m_wndStatusBar->findChild<QLabel*>(names[i]);
        ASSERT_NE(panes[i], nullptr) << names[i];
        EXPECT_EQ(panes[i]->text(), names[i]);
        EXPECT_FALSE(panes[i]->isEnabled()) << names[i];
    }
    ASSERT_FALSE(frame->LockWatcher()->Known());
    const ui::LockKeys states[] = {
        {true, false, false}, {false, true, false},  {false, false, true},
        {true, true, true},   {false, false, false},
    };
    for (const ui::LockKeys& s : states) {
        frame->LockWatcher()->Report(s);
        const bool lit[] = {s.caps, s.num, s.scroll};
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(panes[i]->isEnabled(), lit[i])
                << names[i] << " after " << s.caps << s.num << s.scroll;
        }
    }
}

TEST_F(FrameFixture, EnablingFollowsRunAndCanvas) {
    // Before any mosaic: everything but Save Result.
    EXPECT_FALSE(Enabled(ID_FILE_SAVE_AS));
    for (int id : {ID_FILE_LOADVIDEO, ID_SETTINGS_IMAGETRIM, ID_SETTINGS_DEINTERLACING,
                   ID_SETTINGS_JPEGQUALITY, ID_APP_EXIT, ID_HELP_MANUAL, ID_APP_ABOUT}) {
        EXPECT_TRUE(Enabled(id)) << id;
    }
    // During a run: only Exit, Manual and About.
    canvas = true;
    snapping = true;
    for (int id : {ID_FILE_LOADVIDEO, ID_FILE_SAVE_AS, ID_SETTINGS_IMAGETRIM,
                   ID_SETTINGS_DEINTERLACING, ID_SETTINGS_JPEGQUALITY}) {
        EXPECT_FALSE(Enabled(id)) << id;
    }
    for (int id : {ID_APP_EXIT, ID_HELP_MANUAL, ID_APP_ABOUT}) {
        EXPECT_TRUE(Enabled(id)) << id;
    }
    // After the run.
    snapping = false;
    EXPECT_TRUE(Enabled(ID_FILE_SAVE_AS));
    // Opening a menu runs the rules.
    snapping = true;
    emit frame->Menu(0)->aboutToShow();
    EXPECT_FALSE(frame->Action(ID_FILE_LOADVIDEO)->isEnabled());
}

TEST_F(FrameFixture, FilePromptsSetNamesOnlyOnOk) {
    std::vector<ui::FilePromptRequest> asked;
    ui::FilePromptResult answer;
    ui::SetFilePromptHandler([&](const ui::FilePromptRequest& r) {
        asked.push_back(r);
        return answer;
    });
    frame->m_strVideoPathName = "/v/old.avi";
    frame->m_strVideoFileName = "old.avi";
    frame->OnFileLoadVideo();
    frame->OnFileSaveResult();
    EXPECT_EQ(frame->m_strVideoPathName, "/v/old.avi");
    EXPECT_EQ(frame->m_strVideoFileName, "old.avi");
    EXPECT_EQ(frame->m_strOutputPathName, "None");
    EXPECT_TRUE(frame->m_strOutputFileName.isEmpty());
    EXPECT_TRUE(log.empty());
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_TRUE(asked[0].open);
    EXPECT_EQ(asked[0].title, "Load Video File");
    EXPECT_EQ(asked[0].defaultExtension, "avi");
    EXPECT_EQ(asked[0].filter,
              "AVI Video Files (*.avi)|*.avi|MPEG Files (*.mpg)|*.mpg|All Files (*.*)|*.*|");
    EXPECT_FALSE(asked[1].open);
    EXPECT_EQ(asked[1].defaultExtension, "jpg");
    EXPECT_EQ(asked[1].filter, "Jpeg Files (*.jpg)|*.jpg|");
    EXPECT_FALSE(asked[1].confirmOverwrite);

    answer = {true, "/v/pan.avi", "pan.avi"};
    frame->OnFileLoadVideo();
    answer = {true, "/out/m.jpg", "m.jpg"};
    frame->OnFileSaveResult();
    EXPECT_EQ(frame->m_strVideoFileName, "pan.avi");
    EXPECT_EQ(frame->m_strOutputFileName, "m.jpg");
    EXPECT_EQ(log, (std::vector<std::string>{"load /v/pan.avi pan.avi", "save /out/m.jpg"}));
}

// Load and Save each open in the folder they last took a file from, a typed full path too, in
// the home folder at first; Save beside the video loaded before any save (a file that failed to
// load does not count). A restart reads the folders from disk; one since removed is passed over.
TEST_F(FrameFixture, PromptsOpenWhereTheirLastFileCameFrom) {
    QSettings().remove("Folders"); // the first start
    stillo_test::TempDir clips, pictures, other;
    auto at = [](const stillo_test::TempDir& d) { return QString::fromStdString(d.Path()); };
    const QString home = QDir::homePath(), video = at(clips) + "/a.avi";
    const struct {
        bool load;      // Load Video, else Save Result
        QString answer; // the file chosen; empty: Cancel
        QString opensIn;
        int restart; // 1: restart first; 2: remove the pictures folder, then restart
    } steps[] = {
        {true, "", home, 0},
        {true, video, home, 0},
        {false, "", at(clips), 0},
        {true, at(other) + "/bad.avi", at(clips), 0},
        {true, "", at(other), 0},
        {false, "", at(clips), 0},
        {false, at(pictures) + "/m.jpg", at(clips), 0},
        {false, "/x-stillo/m.jpg", at(pictures), 0},
        {true, "", at(other), 1},
        {false, "", at(pictures), 0},
        {false, "", home, 2},
    };
    ui::FilePromptResult answer;
    QString openedIn;
    ui::SetFilePromptHandler([&](const ui::FilePromptRequest& r) {
        openedIn = r.folder;
        return answer;
    });
    for (size_t i = 0; i < std::size(steps); ++i) {
        const auto& s = steps[i];
        if (s.restart == 2) {
            std::filesystem::remove_all(pictures.Path());
        }
        if (s.restart) {
            QFile file(QSettings().fileName());
            EXPECT_TRUE(file.open(QIODevice::ReadOnly) && file.readAll().contains("Save="));
            MakeFrame();
        }
        answer = {!s.answer.isEmpty(), s.answer, QFileInfo(s.answer).fileName()};
        loads = !s.answer.endsWith("bad.avi");
        s.load ? frame->OnFileLoadVideo() : frame->OnFileSaveResult();
        EXPECT_EQ(openedIn.toStdString(), s.opensIn.toStdString()) << "step " << i;
    }
}

TEST_F(FrameFixture, DeinterlacingShowsDialogThenReloadsLastVideo) {
    frame->m_link.settingsDialog = [this](int id) -> ui::Dialog* {
        log.push_back("dialog " + std::to_string(id));
        return nullptr;
    };
    frame->OnDeinterlacing();
    frame->m_strVideoPathName = "/v/pan.avi";
    frame->m_strVideoFileName = "pan.avi";
    frame->OnDeinterlacing();
    const std::vector<std::string> once = {
        "dialog 154", "box Reload Message: Must reload video file for new settings", "load  "};
    ASSERT_EQ(log.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + 3), once);
    EXPECT_EQ(log[5], "load /v/pan.avi pan.avi");
    log.clear();
    frame->OnImageTrim();
    frame->OnJpegQuality();
    EXPECT_EQ(log, (std::vector<std::string>{"dialog 153", "dialog 155"}));
}

// The manual in the installation folder opens in the browser; with no browser to take it, or
// no manual there, an "Error" box says it could not be opened.
TEST_F(FrameFixture, ManualOpensInstalledFileOrSaysItCannot) {
    stillo_test::TempDir installed, empty;
    std::ofstream(installed.File("manual.htm")) << "<html></html>";
    const std::string manualUrl = "file://" + installed.File("manual.htm");
    const struct {
        std::string folder;
        bool browser;    // the desktop has a program that opens the file
        std::string url; // what is handed to it; empty when nothing is
        bool errorShown;
    } cases[] = {
        {installed.WithSlash(), true, manualUrl, false},
        {installed.WithSlash(), false, manualUrl, true},
        {empty.WithSlash(), true, "", true},
    };
    setenv("STILLO_REGISTRY", "/nonexistent/registry.ini", 1);
    for (const auto& c : cases) {
        std::vector<QString> opened;
        ui::SetOpenHandler([&](const QString& target) {
            opened.push_back(target);
            return c.browser;
        });
        log.clear();
        setenv("STILLO_PATH", c.folder.c_str(), 1);
        frame->OnHelpManual();
        const std::vector<QString> handed =
            c.url.empty() ? std::vector<QString>{}
                          : std::vector<QString>{QString::fromStdString(c.url)};
        EXPECT_EQ(opened, handed) << c.folder << " browser " << c.browser;
        const std::vector<std::string> boxes =
            c.errorShown ? std::vector<std::string>{"box Error: Can Not Open The Manual\n" +
                                                    c.folder + "manual.htm"}
                         : std::vector<std::string>{};
        EXPECT_EQ(log, boxes) << c.folder << " browser " << c.browser;
    }
    // No folder named anywhere: the executable's own, where the build puts the manual.
    unsetenv("STILLO_PATH");
    std::vector<QString> opened;
    ui::SetOpenHandler([&](const QString& target) {
        opened.push_back(target);
        return true;
    });
    frame->OnHelpManual();
    unsetenv("STILLO_REGISTRY");
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_TRUE(opened[0].endsWith("/manual.htm"));
    EXPECT_TRUE(opened[0].startsWith("file:///"));
}

TEST(FrameGeometry, RestoredSizeCentredBySignedDivision) {
    EXPECT_EQ(CMainFrame::RestoredGeometry(1280, 1024), QRect(128, 128, 1024, 768));
    EXPECT_EQ(CMainFrame::RestoredGeometry(800, 600), QRect(-112, -84, 1024, 768));
    EXPECT_EQ(CMainFrame::RestoredGeometry(1025, 769), QRect(0, 0, 1024, 768));
}

TEST_F(FrameFixture, ExitJoinsWorkerAndEndsLoopWithZero) {
    std::atomic<int> passes{0};
    std::thread worker([&] {
        while (g_pMainFrame->m_bRunning) {
            ++passes, std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    bool joined = false;
    frame->m_link.stopWorker = [&] {
        worker.join();
        joined = true;
    };
    QTimer::singleShot(20, frame.get(), [this] { frame->OnAppExit(); });
    const int status = QApplication::exec();
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(joined);
    EXPECT_FALSE(worker.joinable());
    EXPECT_EQ(frame->m_bRunning, 0);
    // Closing after Exit does not stop twice.
    frame->close();
    if (worker.joinable()) {
        worker.join();
    }
}

TEST_F(FrameFixture, ClosingTheWindowRunsExit) {
    int stops = 0;
    frame->m_link.stopWorker = [&] { ++stops; };
    frame->show();
    QTimer::singleShot(0, frame.get(), [this] { frame->close(); });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(frame->m_bRunning, 0);
}

} // namespace
