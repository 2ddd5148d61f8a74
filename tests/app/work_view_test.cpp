// The work form: its arithmetic, start-up, loading and stepping, and whole runs over generated
// pans, driven offscreen with recorded message boxes.
#include "BtnST.h"
#include "ResizeBox.h"
#include "VideoGrabber.h"
#include "WorkView.h"
#include "controls.h"
#include "services.h"
#include "video_writer.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

using namespace workview;

TEST(WorkViewMath, PixelFormsTrimAndZoom) {
    EXPECT_EQ(Pack565(255, 255, 255), 0xFFFF);
    EXPECT_EQ(Pack565(255, 0, 0), 0xF800);
    EXPECT_EQ(Pack565(0, 255, 0), 0x07E0);

    const Rect r = TrimOverlay(720, 576, 2, 2, 2, 2);
    EXPECT_EQ(r.left, 5);
    EXPECT_EQ(r.top, 4);
    EXPECT_EQ(r.right, 268);
    EXPECT_EQ(r.bottom, 214);

    const TrimWindow t = FrameTrimWindow(720, 576, 2, 2, 2, 2);
    EXPECT_EQ(t.colStart, 14);
    EXPECT_EQ(t.colEnd, 704);
    EXPECT_EQ(t.rowStart, 11);
    EXPECT_EQ(t.rowEnd, 563);
    const TrimWindow half = FrameTrimWindow(360, 288, 2, 2, 2, 2);
    EXPECT_EQ(half.colStart, 7);
    EXPECT_EQ(half.colEnd, 351);
    EXPECT_EQ(half.rowStart, 5);
    EXPECT_EQ(half.rowEnd, 281);

    ZoomResult z = ZoomAbout(0, 0, 1.0f, 11);
    EXPECT_EQ(z.zoom, 2.0f);
    EXPECT_EQ(z.scrollX, 0);
    EXPECT_EQ(z.scrollY, 0);
    z = ZoomAbout(100, 50, 2.0f, 12);
    EXPECT_EQ(z.zoom, 1.0f);
    EXPECT_EQ(z.scrollX, 680);
    EXPECT_EQ(z.scrollY, 250);
}

TEST(WorkViewMath, TicksStepsFitAndPacing) {
    EXPECT_EQ(SliderTicks(99), (std::vector<int>{0, 9, 19, 29, 39, 49, 59, 69, 79, 89}));
    EXPECT_EQ(SliderTicks(0), (std::vector<int>{0}));

    EXPECT_EQ(FasterStep(1, 100, true), -2);
    EXPECT_EQ(FasterStep(-2, 100, true), -4);
    EXPECT_EQ(FasterStep(-4, 100, false), -8);
    EXPECT_EQ(FasterStep(64, 100, false), 100); // capped at the frame count
    EXPECT_EQ(FasterStep(100, 100, false), 100);

    ResultsFit f = FitResults(300, 200);
    EXPECT_NEAR(f.scale, 1.4286f, 1e-4);
    EXPECT_EQ(f.yOffset, 0);
    f = FitResults(1000, 200);
    EXPECT_NEAR(f.scale, 2.7397f, 1e-4);
    EXPECT_EQ(f.yOffset, 33);
    EXPECT_EQ(FitResults(0, 0).scale, 0.0f);

    using clock = std::chrono::steady_clock;
    const auto now = clock::now();
    EXPECT_EQ(PlayWaitMs(now, now), 40);
    EXPECT_EQ(PlayWaitMs(now - std::chrono::milliseconds(15), now), 25);
    EXPECT_EQ(PlayWaitMs(now - std::chrono::seconds(5), now), 0);
    EXPECT_EQ(PlayWaitMs(now + std::chrono::seconds(5), now), 40); // clock stepped back
}

namespace {

struct Recorded {
    QString text, caption;
};

class WorkViewTest : public ::testing::Test {
protected:
    static std::filesystem::path Dir() {
        static const std::filesystem::path dir = [] {
            std::string pattern =
                (std::filesystem::temp_directory_path() / "stillo-app-XXXXXX").string();
            char* made = mkdtemp(pattern.data());
            return std::filesystem::path(made ? made : "/tmp");
        }();
        return dir;
    }
    static std::string Video(const std::string& name, int frames, int dx) {
        const std::string path = (Dir() / name).string();
        if (!std::filesystem::exists(path)) {
            videotool::VideoSpec spec;
            spec.codec = videotool::Codec::Mjpeg;
            spec.width = 160;
            spec.height = 120;
            spec.frames = frames;
            spec.dx = dx;
            std::string error;
            EXPECT_TRUE(videotool::WriteVideo(path, spec, &error)) << error;
        }
        return path;
    }

    void SetUp() override {
        Video("vantor.AVI", 5, 2);
        setenv("STILLO_PATH", (Dir().string() + "/").c_str(), 1);
        ui::SetMessageHandler([this](const ui::MessageRequest& r) {
            messages.push_back({r.text, r.caption});
            return r.buttons == ui::MsgButtons::YesNo ? answer : int(ui::IDOK);
        });
    }
    void TearDown() override {
        ui::SetMessageHandler({});
        unsetenv("STILLO_PATH");
    }
    bool Saw(const QString& text) const {
        for (const auto& m : messages)
            if (m.text == text)
                return true;
        return false;
    }
    std::unique_ptr<CWorkView> Start() {
        auto view = std::make_unique<CWorkView>(nullptr);
        view->m_fnExit = [this](int code) { exitCode = code; };
        EXPECT_TRUE(view->OnInitDialog());
        return view;
    }
    void Load(CWorkView& view, const std::string& path) {
        ASSERT_EQ(view.LoadVideo(QString::fromStdString(path), "pan.avi"), 1);
    }
    // Start and end frames chosen as a user does: slider, then Set Frame.
    static void SelectFrames(CWorkView& view, int start, int end) {
        view.m_sliderFrame->setValue(start);
        view.OnSetStartFrame();
        view.m_sliderFrame->setValue(end);
        view.OnSetEndFrame();
    }
    bool WaitFor(const QString& text, int ms = 60000) {
        QElapsedTimer t;
        t.start();
        while (!Saw(text) && t.elapsed() < ms)
            QTest::qWait(5);
        return Saw(text);
    }

    std::vector<Recorded> messages;
    int answer = ui::IDYES;
    int exitCode = -1;
};

} // namespace

TEST_F(WorkViewTest, StartUpStateAndProbe) {
    auto view = Start();
    EXPECT_EQ(exitCode, -1);
    EXPECT_TRUE(view->m_radRegions->isChecked());
    EXPECT_FALSE(view->m_radEdges->isChecked());
    EXPECT_TRUE(view->m_radThick->isChecked());
    EXPECT_FALSE(view->m_radThin->isChecked());
    EXPECT_FALSE(view->m_chkBlend->isChecked());
    EXPECT_EQ(ui::FindControlAs<QLineEdit>(view.get(), 1030)->text(), "1.00");
    EXPECT_EQ(ui::FindControlAs<QLineEdit>(view.get(), 1013)->text(), "1");
    EXPECT_EQ(view->m_editFileName->text(), " ");
    EXPECT_FALSE(view->m_btnStop->isEnabled());
    EXPECT_EQ(g_pMainFrame->m_bVideoLoaded, 0);
    // Transport without a loaded video does nothing.
    view->OnPlay();
    EXPECT_EQ(view->m_pGrabber->m_bPlaying, 0);
    view->OnSnapIt();
    EXPECT_TRUE(Saw("Source Video Required"));
}

TEST_F(WorkViewTest, MissingProbeEndsWithStatusOne) {
    setenv("STILLO_PATH", "/nonexistent-stillo/", 1);
    auto view = std::make_unique<CWorkView>(nullptr);
    view->m_fnExit = [this](int code) { exitCode = code; };
    EXPECT_FALSE(view->OnInitDialog());
    EXPECT_EQ(exitCode, 1);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, "Invalid Media File or Can Not Sample Grab From This Format");
    EXPECT_TRUE(messages[1].text.startsWith("Try Installing DirectX 9.0 Redistributeable\n"));
    EXPECT_EQ(messages[1].caption, "Error");
}

TEST_F(WorkViewTest, LoadStepSliderAndFailedLoad) {
    auto view = Start();
    Load(*view, Video("pan100.avi", 100, 2));
    CVideoGrabber& g = *view->m_pGrabber;
    EXPECT_EQ(g_pMainFrame->m_bVideoLoaded, 1);
    EXPECT_EQ(g.m_nStartFrame, 1);
    EXPECT_EQ(g.m_nEndFrame, 99);
    EXPECT_EQ(view->m_sliderFrame->minimum(), 1);
    EXPECT_EQ(view->m_sliderFrame->maximum(), 99);
    EXPECT_EQ(view->m_sliderFrame->Tics(),
              (std::vector<int>{0, 9, 19, 29, 39, 49, 59, 69, 79, 89}));

    const int before = g.m_nCurrentFrame;
    view->OnStepForwards();
    EXPECT_EQ(g.m_nCurrentFrame, before + 1);
    EXPECT_EQ(view->m_editCurrentFrame->text(), QString::number(before + 1));
    view->OnStepBackwards();
    EXPECT_EQ(g.m_nCurrentFrame, before);

    // The slider grabs exactly its own frame, and setting it from the program feeds nothing back.
    view->m_sliderFrame->setValue(40);
    EXPECT_EQ(g.m_nCurrentFrame, 40);
    EXPECT_EQ(view->m_sliderFrame->value(), 40);

    view->OnRewindFaster();
    EXPECT_EQ(g.m_nStep, -2);
    view->OnRewindFaster();
    EXPECT_EQ(g.m_nStep, -4);
    view->OnPause();
    EXPECT_EQ(g.m_bPlaying, 0);

    // Start >= end is refused before anything starts.
    view->OnSetStartFrame();
    view->OnSetEndFrame();
    view->OnSnapIt();
    EXPECT_TRUE(Saw("End Frame Less Or Equal To Start Frame! \n Please Modify"));
    EXPECT_EQ(view->m_bSnapping, 0);

    // A failed load leaves no video loaded.
    const std::string junk = (Dir() / "junk.avi").string();
    FILE* f = fopen(junk.c_str(), "wb");
    fputs("not a video", f);
    fclose(f);
    EXPECT_EQ(view->LoadVideo(QString::fromStdString(junk), "junk.avi"), 0);
    EXPECT_EQ(g_pMainFrame->m_bVideoLoaded, 0);
    view->OnPlay();
    EXPECT_EQ(g.m_bPlaying, 0);
}

TEST_F(WorkViewTest, RunCropSaveAndOverwrite) {
    auto view = Start();
    Load(*view, Video("pan40.avi", 40, 3));
    CVideoGrabber& g = *view->m_pGrabber;
    SelectFrames(*view, 3, 30);
    view->OnSnapIt();
    EXPECT_EQ(view->m_bSnapping, 1);
    EXPECT_FALSE(view->m_btnSnapIt->isEnabled());
    EXPECT_FALSE(view->m_btnPlay->isEnabled());
    EXPECT_TRUE(view->m_scrollH->isEnabled());
    ASSERT_TRUE(WaitFor("Mosaic Complete"));
    EXPECT_FALSE(Saw("Max allowable frames reached.\nhttp://www.stillo.com"));
    EXPECT_EQ(view->m_nFramesProcessed, 27);
    EXPECT_EQ(g.m_nCurrentFrame, 30);
    EXPECT_EQ(view->m_bMosaicDone, 1);
    EXPECT_TRUE(view->m_btnSnapIt->isEnabled());
    EXPECT_TRUE(view->m_btnPlay->isEnabled());
    EXPECT_FALSE(view->m_btnStop->isEnabled());

    const int nCols = view->m_mosaicer.m_canvas.nCols, nRows = view->m_mosaicer.m_canvas.nRows;
    ASSERT_GT(nCols, 160); // the pan widened the canvas
    CResizeBox& box = *view->m_pResizeBox;
    EXPECT_EQ(box.m_nLeft, 0);
    EXPECT_EQ(box.m_nTop, 0);
    EXPECT_EQ(box.m_nRight, nCols - 1);
    EXPECT_EQ(box.m_nBottom, nRows - 1);

    // The mosaic view shows the canvas, the results preview too.
    EXPECT_NE(view->m_bmpMosaicWork.pixel(100, 100), QColor(Qt::black).rgb());
    EXPECT_NE(view->m_bmpResultsWork.pixel(100, 60), QColor(Qt::black).rgb());

    // Drag the left edge inwards by 20 pixels: grab the box's left handle at mid-height.
    view->show();
    const QPoint origin = view->m_picMosaic->pos();
    const int midY = nRows / 2;
    QTest::mousePress(view.get(), Qt::LeftButton, {}, origin + QPoint(1, midY));
    QTest::mouseMove(view.get(), origin + QPoint(21, midY));
    QTest::mouseRelease(view.get(), Qt::LeftButton, {}, origin + QPoint(21, midY));
    const int left = box.m_nLeft;
    EXPECT_GT(left, 0);

    const std::string out = (Dir() / "out.jpg").string();
    std::filesystem::remove(out);
    g_pMainFrame->m_strOutputPathName = QString::fromStdString(out);
    view->SaveResult();
    EXPECT_TRUE(Saw("Jpeg Stored OK"));
    QImage saved(QString::fromStdString(out));
    ASSERT_FALSE(saved.isNull());
    // Both edges of the box are inside the picture.
    EXPECT_EQ(saved.width(), box.m_nRight - box.m_nLeft + 1);
    EXPECT_EQ(saved.height(), box.m_nBottom - box.m_nTop + 1);

    // Overwrite: No keeps the file, Yes rewrites it.
    messages.clear();
    answer = ui::IDNO;
    view->SaveResult();
    EXPECT_TRUE(Saw("File exists. Overwrite?"));
    EXPECT_FALSE(Saw("Jpeg Stored OK"));
    messages.clear();
    answer = ui::IDYES;
    view->SaveResult();
    EXPECT_TRUE(Saw("Jpeg Stored OK"));

    // The saved picture is the canvas inside the box, within JPEG error.
    std::unique_ptr<uint8_t, decltype(&free)> canvas(view->m_mosaicer.CopyCanvas32(), &free);
    ASSERT_TRUE(canvas);
    saved = QImage(QString::fromStdString(out)).convertToFormat(QImage::Format_RGB32);
    double err = 0;
    long n = 0;
    for (int y = 0; y < saved.height(); ++y)
        for (int x = 0; x < saved.width(); ++x) {
            const int cy = nRows - 1 - (box.m_nTop + y), cx = box.m_nLeft + x;
            const uint8_t* p = canvas.get() + (size_t(cy) * nCols + cx) * 4;
            const QRgb q = saved.pixel(x, y);
            err +=
                std::abs(qRed(q) - p[0]) + std::abs(qGreen(q) - p[1]) + std::abs(qBlue(q) - p[2]);
            n += 3;
        }
    EXPECT_LT(err / n, 8.0);

    // A folder that does not exist fails.
    messages.clear();
    g_pMainFrame->m_strOutputPathName = "/nonexistent-stillo/out.jpg";
    view->SaveResult();
    EXPECT_TRUE(Saw("Jpeg File Write Failure\n Disk full"));
}

TEST_F(WorkViewTest, StopEndsRunAndLeftoverStopIsCleared) {
    auto view = Start();
    Load(*view, Video("pan300.avi", 300, 1));
    SelectFrames(*view, 1, 299);
    // A Stop from before the run must not end it.
    view->OnStop();
    view->OnSnapIt();
    QElapsedTimer t;
    t.start();
    while (view->m_nFramesProcessed < 5 && t.elapsed() < 30000)
        QTest::qWait(1);
    view->OnStop();
    ASSERT_TRUE(WaitFor("Mosaic Complete"));
    EXPECT_GE(view->m_nFramesProcessed, 5);
    EXPECT_LT(view->m_nFramesProcessed, 298);
    EXPECT_TRUE(view->m_btnSnapIt->isEnabled());
}

TEST_F(WorkViewTest, FrameLimitEndsRunWithItsMessage) {
    auto view = Start();
    Load(*view, Video("pan100.avi", 100, 2));
    view->m_nMaxFrames = 20;
    SelectFrames(*view, 1, 90);
    view->OnSnapIt();
    ASSERT_TRUE(WaitFor("Max allowable frames reached.\nhttp://www.stillo.com"));
    EXPECT_EQ(view->m_nFramesProcessed, 21);
    // "Mosaic Complete" comes first, the limit's message after it.
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[messages.size() - 2].text, "Mosaic Complete");
    EXPECT_EQ(view->m_bMosaicDone, 1);
}

TEST_F(WorkViewTest, RunsEndingEarlyExtendTheirLastFrame) {
    auto view = Start();
    Load(*view, Video("pan40.avi", 40, 3));
    view->OnThin();
    view->OnStepSpin(3);
    SelectFrames(*view, 3, 30);
    view->OnSnapIt();
    ASSERT_TRUE(WaitFor("Mosaic Complete"));
    // Frames 6, 9, ... 30: the engine counts nine frames of a run of 27.
    EXPECT_EQ(view->m_nFramesProcessed, 9);
    EXPECT_EQ(view->m_pGrabber->m_nCurrentFrame, 30);
    EXPECT_EQ(view->m_mosaicer.m_frame.bExtendStrip, 1);

    // The frame limit ends the next run far before its end frame.
    messages.clear();
    view->OnStepSpin(1);
    view->m_nMaxFrames = 5;
    view->OnSnapIt();
    ASSERT_TRUE(WaitFor("Max allowable frames reached.\nhttp://www.stillo.com"));
    EXPECT_EQ(view->m_nFramesProcessed, 6);
    EXPECT_EQ(view->m_mosaicer.m_frame.bExtendStrip, 1);
}
