// The work form: its arithmetic, start-up, loading and stepping, and whole runs over generated
// pans, driven offscreen with recorded message boxes.
#include "BtnST.h"
#include "Deinterlacing.h"
#include "ImageTrimDlg.h"
#include "OutputSettings.h"
#include "ResizeBox.h"
#include "ScreenFormat.h"
#include "Stillo.h"
#include "VideoGrabber.h"
#include "WorkView.h"
#include "engine/mosaic_params.h"
#include "platform/ui/controls.h"
#include "platform/ui/services.h"
#include "tests/support/paint_counter.h"
#include "tests/support/temp_dir.h"
#include "tools/video_writer.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <sys/fsuid.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

using namespace workview;

TEST(WorkViewMath, PixelFormsTrimAndZoom) {
    EXPECT_EQ(screen::Pack565(255, 255, 255), 0xFFFF);
    EXPECT_EQ(screen::Pack565(255, 0, 0), 0xF800);
    EXPECT_EQ(screen::Pack565(0, 255, 0), 0x07E0);
    // The tables both the preview and the pictures use: every byte of every channel as the
    // byte times the double factor, truncated, in its field.
    for (int v = 0; v < 256; ++v) {
        const auto c = static_cast<uint8_t>(v);
        const auto r = static_cast<unsigned>(v * (31.0 / 255.0));
        const auto g = static_cast<unsigned>(v * (63.0 / 255.0));
        ASSERT_EQ(screen::To565(c, 0, 0), r << 11) << v;
        ASSERT_EQ(screen::To565(0, c, 0), g << 5) << v;
        ASSERT_EQ(screen::To565(0, 0, c), r) << v;
        ASSERT_EQ(screen::To565(c, c, c), screen::Pack565(c, c, c)) << v;
    }
    // 16-bit screens take two bytes a pixel; 24- and 32-bit ones, and those under 16 bits
    // (shown converted), four.
    EXPECT_EQ(ScreenBytesPerPixel(16), 2);
    for (int depth : {1, 8, 15, 24, 32}) {
        EXPECT_EQ(ScreenBytesPerPixel(depth), 4) << depth;
    }

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

TEST(WorkViewMath, TicksStepsAndFit) {
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
}

namespace {

struct Recorded {
    QString text, caption;
    ui::MsgIcon icon;
};

// Holds the form's worker after the run frames that bring its count to the given numbers, each
// until the test lets it go on; the interface thread meanwhile runs freely. Never leaves the
// worker held once it goes, so the form's end can join it.
class RunHold {
public:
    RunHold(CWorkView& view, std::vector<int> at) : m_state(std::make_shared<State>()) {
        m_state->at = std::move(at);
        view.m_fnAfterFrame = [s = m_state, &view] {
            if (view.m_bSnapping) {
                s->AfterFrame(view.m_nFramesProcessed);
            }
        };
    }
    ~RunHold() {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->closed = true;
        m_state->changed.notify_all();
    }
    // Runs the interface's events until the worker is held after frame k; false when the run
    // ended first.
    bool WaitHeld(int k, const std::function<bool()>& ended) {
        auto held = [&] {
            std::lock_guard<std::mutex> lock(m_state->mutex);
            return m_state->held == k;
        };
        return QTest::qWaitFor([&] { return held() || ended(); }, 60000) && held();
    }
    void Release() {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->go = true;
        m_state->changed.notify_all();
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        std::vector<int> at;
        size_t next = 0;
        int held = 0;
        bool go = false, closed = false;

        void AfterFrame(int frames) {
            std::unique_lock<std::mutex> lock(mutex);
            if (closed || next >= at.size() || frames != at[next]) {
                return;
            }
            ++next;
            held = frames;
            go = false;
            changed.wait(lock, [this] { return go || closed; });
            held = 0;
        }
    };
    std::shared_ptr<State> m_state;
};

// Delivers what the worker posted and the repaints that follow, now.
void DeliverPostedEvents() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

class WorkViewTest : public ::testing::Test {
protected:
    static const std::filesystem::path& Dir() { return stillo_test::ProcessTempDir().Path(); }
    // rotation: a phone-style MP4 whose pictures are stored turned, to be turned back that
    // many degrees clockwise.
    static std::string Video(const std::string& name, int frames, int dx, int width = 160,
                             int height = 120, int rotation = 0) {
        const std::string path = (Dir() / name).string();
        videotool::VideoSpec spec =
            videotool::Pan(videotool::Codec::Mjpeg, width, height, frames, dx);
        spec.rotation = rotation;
        std::string error;
        EXPECT_TRUE(videotool::WriteVideoIfMissing(path, spec, &error)) << error;
        return path;
    }
    // A file that no video reader takes.
    static std::string Junk() {
        const std::string path = (Dir() / "junk.avi").string();
        std::ofstream(path) << "not a video";
        return path;
    }

    void SetUp() override {
        Video("vantor.AVI", 5, 2);
        setenv("STILLO_PATH", (Dir().string() + "/").c_str(), 1);
        ui::SetMessageHandler([this](const ui::MessageRequest& r) {
            messages.push_back({r.text, r.caption, r.icon});
            if (onMessage) {
                onMessage(r);
            }
            return r.buttons == ui::MsgButtons::YesNo ? answer : int(ui::IDOK);
        });
    }
    void TearDown() override {
        ui::SetMessageHandler({});
        unsetenv("STILLO_PATH");
    }
    bool Saw(const QString& text) const { return Find(text) != nullptr; }
    // forcedBytes 2 shows the 16-bit screen form; 0 measures the screen.
    std::unique_ptr<CWorkView> Start(int forcedBytes = 0) {
        auto view = std::make_unique<CWorkView>(nullptr);
        view->m_fnExit = [this](int code) { exitCode = code; };
        view->m_nForcedBytesPerPixel = forcedBytes;
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
    bool WaitFor(const QString& text) {
        return QTest::qWaitFor([&] { return Saw(text); }, 60000);
    }

    const Recorded* Find(const QString& text) const {
        for (const auto& m : messages) {
            if (m.text == text) {
                return &m;
            }
        }
        return nullptr;
    }

    std::vector<Recorded> messages;
    // Runs as each message box comes up, to look at the form behind it.
    std::function<void(const ui::MessageRequest&)> onMessage;
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
    const std::pair<int, const char*> tips[] = {
        {1008, "Start Stillo"},  {1009, "Stop Stillo"},          {1018, "Pause Video"},
        {1022, "Play Video"},    {1021, "Play Video Backwards"}, {1023, "Play Faster"},
        {1024, "Rewind Faster"}, {1019, "Step Forwards"},        {1020, "Step Backwards"}};
    for (const auto& [id, tip] : tips) {
        EXPECT_EQ(dynamic_cast<CBtnST*>(ui::FindControl(view.get(), id))->TooltipText(), tip) << id;
    }
    // Transport without a loaded video does nothing.
    view->OnPlay();
    EXPECT_EQ(view->m_pGrabber->m_bPlaying, 0);
    view->OnSnapIt();
    EXPECT_TRUE(Saw("Source Video Required"));
}

// The link the form offers the main frame reaches the form's own state, dialogs and logo.
TEST_F(WorkViewTest, LinkReachesTheFormsStateDialogsAndLogo) {
    auto view = Start();
    const WorkViewLink link = view->Link();
    EXPECT_EQ(link.settingsDialog(153), view->m_pImageTrimDlg);
    EXPECT_EQ(link.settingsDialog(154), view->m_pDeinterlacing);
    EXPECT_EQ(link.settingsDialog(155), view->m_pOutputSettings);
    EXPECT_EQ(link.settingsDialog(130), nullptr);
    EXPECT_FALSE(link.isSnapping());
    EXPECT_FALSE(link.canvasExists());
    link.loadVideo(QString::fromStdString(Video("pan40.avi", 40, 3)), "pan40.avi");
    EXPECT_EQ(view->m_editFileName->text(), "pan40.avi");
    EXPECT_EQ(g_pMainFrame->m_bVideoLoaded, 1);
    auto* logo = dynamic_cast<CBtnST*>(ui::FindControl(view.get(), 1026));
    ASSERT_NE(logo, nullptr);
    EXPECT_EQ(logo->m_bDisabledLook, 1);
    link.showLogo();
    EXPECT_EQ(logo->m_bDisabledLook, 0);
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

TEST_F(WorkViewTest, LoadStepAndSlider) {
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
    // A page is a fifth of the range, for each clip loaded.
    EXPECT_EQ(view->m_sliderFrame->pageStep(), 19);
    Load(*view, Video("pan40.avi", 40, 3));
    EXPECT_EQ(view->m_sliderFrame->maximum(), 39);
    EXPECT_EQ(view->m_sliderFrame->pageStep(), 7);
    Load(*view, Video("pan100.avi", 100, 2));

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
}

// A file that cannot be loaded, after a good one, leaves the good one loaded as it was shown:
// name, picture, range, position; it steps on from there, and a run over it works in the mode
// it was opened with, even after a reload in another mode failed.
TEST_F(WorkViewTest, FailedLoadKeepsTheVideoShownBefore) {
    auto view = Start();
    Load(*view, Video("pan40.avi", 40, 3));
    SelectFrames(*view, 3, 30);
    view->m_sliderFrame->setValue(12);
    const std::string empty = (Dir() / "empty.avi").string();
    std::ofstream{empty};
    auto shown = [&] {
        QString s = QString::number(g_pMainFrame->m_bVideoLoaded);
        for (int id : {1001, 1003, 1004, 1005}) {
            s += ' ' + ui::FindControlAs<QLineEdit>(view.get(), id)->text();
        }
        const QSlider& f = *view->m_sliderFrame;
        return (s + " %1-%2 @%3").arg(f.minimum()).arg(f.maximum()).arg(f.value()).toStdString();
    };
    const std::string before = shown();
    const QImage picture = view->m_bmpFrameShown.copy();
    for (const std::string& bad : {Junk(), empty, (Dir() / "missing.avi").string()}) {
        EXPECT_EQ(view->LoadVideo(QString::fromStdString(bad), "bad.avi"), 0) << bad;
        EXPECT_EQ(shown(), before) << bad;
        EXPECT_TRUE(view->m_bmpFrameShown == picture) << bad;
    }
    view->OnStepForwards();
    EXPECT_FALSE(view->m_bmpFrameShown == picture);
    view->m_pDeinterlacing->m_nDeinterlace = 1;
    view->LoadVideo(QString::fromStdString(Junk()), "junk.avi");
    view->OnSnapIt();
    ASSERT_TRUE(WaitFor("Mosaic Complete"));
    EXPECT_EQ(view->m_mosaicer.m_nInputWidth, 160);
    EXPECT_EQ(view->m_nFramesProcessed, 27);
}

// Portrait phone videos, stored turned: the form is given the upright size and shows the
// upright picture in its frame preview.
TEST_F(WorkViewTest, TurnedVideosShowUpright) {
    auto view = Start();
    const float scale = CVideoGrabber::PreviewScale(120, 160);
    for (int rotation : {90, 180, 270}) {
        SCOPED_TRACE(rotation);
        Load(*view,
             Video("portrait-" + std::to_string(rotation) + ".mp4", 30, 2, 120, 160, rotation));
        EXPECT_EQ(view->m_pGrabber->m_callback.m_nWidth, 120);
        EXPECT_EQ(view->m_pGrabber->m_callback.m_nHeight, 160);
        for (int n : {5, 22}) {
            view->m_sliderFrame->setValue(n);
            const QImage& preview = view->m_bmpFrameWork;
            EXPECT_EQ(
                videotool::ReadBarcode(int(120 * scale), int(videotool::kBarcodeRows * scale),
                                       [&](int x, int y) { return qGreen(preview.pixel(x, y)); }),
                n)
                << "frame preview";
        }
        // The trim rectangle the form draws over the preview follows the upright size.
        const Rect trim = TrimOverlay(120, 160, 2, 2, 2, 2);
        EXPECT_EQ(view->m_bmpFrameShown.pixel(trim.right, (trim.top + trim.bottom) / 2),
                  qRgb(255, 255, 0));
    }
}

// Each transport button leaves its playing flag and step, and the step buttons move one frame
// their way; with the worker gone, nothing plays on from there.
TEST_F(WorkViewTest, TransportButtonsSetPlayingAndStep) {
    auto view = Start();
    Load(*view, Video("pan100.avi", 100, 2));
    view->StopWorker();
    CVideoGrabber& g = *view->m_pGrabber;
    const struct {
        void (CWorkView::*press)();
        int stepBefore, playing, step, moved;
    } rows[] = {
        {&CWorkView::OnRewindFaster, 3, 1, -6, 0},   {&CWorkView::OnPlayBackwards, 3, 1, -1, 0},
        {&CWorkView::OnStepBackwards, 3, 0, -1, -1}, {&CWorkView::OnPause, 3, 0, 1, 0},
        {&CWorkView::OnStepForwards, 3, 0, 1, 1},    {&CWorkView::OnPlay, 3, 1, 1, 0},
        {&CWorkView::OnPlayFaster, 3, 1, 6, 0},      {&CWorkView::OnPlayFaster, -3, 1, -6, 0},
    };
    for (const auto& r : rows) {
        g.m_bPlaying = 1 - r.playing;
        g.m_nStep = r.stepBefore;
        g.m_nCurrentFrame = 50;
        (view.get()->*r.press)();
        EXPECT_EQ(g.m_bPlaying, r.playing) << r.step;
        EXPECT_EQ(g.m_nStep, r.step);
        EXPECT_EQ(g.m_nCurrentFrame, 50 + r.moved) << r.step;
    }
}

TEST_F(WorkViewTest, RunCropSaveAndOverwrite) {
    auto view = Start();
    Load(*view, Video("pan40.avi", 40, 3));
    CVideoGrabber& g = *view->m_pGrabber;
    SelectFrames(*view, 3, 30);
    view->OnSnapIt();
    // Started: only the run's end, on this thread, gives these back.
    EXPECT_TRUE(view->Link().isSnapping());
    EXPECT_TRUE(view->m_btnStop->isEnabled());
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
    EXPECT_FALSE(view->Link().isSnapping());
    EXPECT_TRUE(view->Link().canvasExists());

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
    // A wait cursor covers the whole save, its messages included.
    std::vector<Qt::CursorShape> cursors;
    onMessage = [&](const ui::MessageRequest&) {
        const QCursor* c = QApplication::overrideCursor();
        cursors.push_back(c ? c->shape() : Qt::ArrowCursor);
    };
    view->SaveResult();
    EXPECT_TRUE(Saw("Jpeg Stored OK"));
    EXPECT_EQ(cursors, std::vector<Qt::CursorShape>{Qt::WaitCursor});
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    QImage saved(QString::fromStdString(out));
    ASSERT_FALSE(saved.isNull());
    // Both edges of the box are inside the picture.
    EXPECT_EQ(saved.width(), box.m_nRight - box.m_nLeft + 1);
    EXPECT_EQ(saved.height(), box.m_nBottom - box.m_nTop + 1);

    // Overwrite: No keeps the file, Yes rewrites it.
    messages.clear();
    cursors.clear();
    answer = ui::IDNO;
    view->SaveResult();
    ASSERT_TRUE(Saw("File exists. Overwrite?"));
    EXPECT_EQ(Find("File exists. Overwrite?")->caption, "File Exists");
    EXPECT_EQ(Find("File exists. Overwrite?")->icon, ui::MsgIcon::Exclamation);
    EXPECT_EQ(cursors, std::vector<Qt::CursorShape>{Qt::WaitCursor});
    EXPECT_FALSE(Saw("Jpeg Stored OK"));
    onMessage = nullptr;
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
    for (int y = 0; y < saved.height(); ++y) {
        for (int x = 0; x < saved.width(); ++x) {
            const int cy = nRows - 1 - (box.m_nTop + y), cx = box.m_nLeft + x;
            const uint8_t* p = canvas.get() + (size_t(cy) * nCols + cx) * 4;
            const QRgb q = saved.pixel(x, y);
            err +=
                std::abs(qRed(q) - p[0]) + std::abs(qGreen(q) - p[1]) + std::abs(qBlue(q) - p[2]);
            n += 3;
        }
    }
    EXPECT_LT(err / n, 8.0);

    // Where nothing can be written, the second line names the cause the write met. Root's writes
    // pass permission bits: this thread meets them as the user nobody meanwhile.
    const stillo_test::TempDir scratch;
    const std::filesystem::path readOnly = scratch.Path() / "read-only";
    std::filesystem::create_directory(readOnly);
    std::filesystem::permissions(scratch.Path(), std::filesystem::perms(0755));
    std::filesystem::permissions(readOnly, std::filesystem::perms(0555));
    const auto fsuid = static_cast<uid_t>(::setfsuid(::geteuid() == 0 ? 65534 : ::geteuid()));
    for (const auto& [where, cause] :
         {std::pair<std::string, QString>{"/x-stillo/o.jpg", "Folder missing"},
          {"/dev/full", "Disk full"},
          {(readOnly / "o.jpg").string(), "Permission denied"}}) {
        g_pMainFrame->m_strOutputPathName = QString::fromStdString(where);
        view->SaveResult();
        EXPECT_TRUE(Saw("Jpeg File Write Failure\n " + cause)) << where;
    }
    ::setfsuid(fsuid);
    EXPECT_TRUE(std::filesystem::is_empty(readOnly));
}

TEST_F(WorkViewTest, StopEndsRunAndLeftoverStopIsCleared) {
    auto view = Start();
    Load(*view, Video("pan40.avi", 40, 3));
    SelectFrames(*view, 1, 39);
    RunHold hold(*view, {5});
    // A Stop from before the run must not end it.
    view->OnStop();
    view->OnSnapIt();
    ASSERT_TRUE(hold.WaitHeld(5, [&] { return Saw("Mosaic Complete"); }));
    view->OnStop();
    hold.Release();
    ASSERT_TRUE(WaitFor("Mosaic Complete"));
    // The poll after the next frame takes it: that frame, 7, ends the run.
    EXPECT_EQ(view->m_nFramesProcessed, 6);
    EXPECT_EQ(view->m_pGrabber->m_nCurrentFrame, 7);
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

namespace {

// A picture pixel as the form stores it: a 5-6-5 word, or the 32-bit value.
uint32_t PictureWord(const QImage& img, int x, int y) {
    if (img.format() == QImage::Format_RGB16) {
        return reinterpret_cast<const uint16_t*>(img.constScanLine(y))[x];
    }
    return reinterpret_cast<const uint32_t*>(img.constScanLine(y))[x];
}
// Red, green and blue in the screen form of b bytes a pixel.
uint32_t ScreenWord(int r, int g, int b, int bytes) {
    if (bytes == 2) {
        return screen::Pack565(uint8_t(r), uint8_t(g), uint8_t(b));
    }
    return 0xFF000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
}

class WorkViewScreenFormTest : public WorkViewTest, public ::testing::WithParamInterface<int> {};

} // namespace

// A whole run on a screen of each form: the three pictures are made in that form and each
// pixel is the canvas (or frame) pixel it samples through the view mappings, in that form.
TEST_P(WorkViewScreenFormTest, PicturesShowTheirSourcesInTheScreenForm) {
    const int bytes = GetParam();
    auto view = Start(bytes == 2 ? 2 : 0); // 4: measured from the offscreen screen
    ASSERT_EQ(view->m_nScreenBytesPerPixel, bytes);
    const QImage::Format form = bytes == 2 ? QImage::Format_RGB16 : QImage::Format_RGB32;
    const uint32_t black = ScreenWord(0, 0, 0, bytes), yellow = ScreenWord(255, 255, 0, bytes);
    Load(*view, Video("pan40.avi", 40, 3));
    CVideoGrabber& g = *view->m_pGrabber;
    ASSERT_EQ(g.m_callback.m_nPreviewBytesPerPixel, bytes);

    // Frame preview: the slider grabs frame 3 into both buffers.
    view->m_sliderFrame->setValue(3);
    const QImage& frame = view->m_bmpFrameWork;
    ASSERT_EQ(frame.format(), form);
    ASSERT_EQ(view->m_bmpFrameShown.format(), form);
    const uint8_t* preview = g.PreviewBuffer();
    int wrong = 0;
    for (int y = 0; y < screen::kPreviewHeight; ++y) {
        for (int x = 0; x < screen::kPreviewWidth; ++x) {
            const uint8_t* p = preview + size_t(bytes) * (screen::kPreviewWidth * y + x);
            const uint32_t want =
                bytes == 2 ? uint32_t(p[0] | p[1] << 8) : ScreenWord(p[2], p[1], p[0], bytes);
            wrong += PictureWord(frame, x, y) != want;
        }
    }
    EXPECT_EQ(wrong, 0) << "frame preview pixels unlike the preview buffer";
    // ... and the preview buffer holds the frame's sampled pixels in the same form: frame row k
    // from the top is buffer row k + 1, blue, green, red.
    const float step = static_cast<float>(1.0 / CVideoGrabber::PreviewScale(160, 120));
    const uint8_t* full = g.FrameBuffer();
    int checked = 0;
    double fy = 0;
    for (int y = 0; fy < 120 && y < screen::kPreviewHeight; fy += step, ++y) {
        double fx = 0;
        for (int x = 0; fx < 160 && x < screen::kPreviewWidth; fx += step, ++x) {
            if (x % 7 || y % 5) {
                continue;
            }
            const uint8_t* p = full + 3 * (size_t(160) * (int(fy) + 1) + int(fx));
            EXPECT_EQ(PictureWord(frame, x, y), ScreenWord(p[2], p[1], p[0], bytes))
                << x << "," << y;
            ++checked;
        }
    }
    EXPECT_GT(checked, 1000);
    // The trim rectangle (2 % each side) lies on the shown copy only.
    const Rect trim = TrimOverlay(160, 120, 2, 2, 2, 2);
    EXPECT_EQ(PictureWord(view->m_bmpFrameShown, trim.left, trim.top), yellow);
    EXPECT_EQ(PictureWord(view->m_bmpFrameShown, trim.right, (trim.top + trim.bottom) / 2), yellow);
    EXPECT_EQ(PictureWord(view->m_bmpFrameShown, 100, 100), PictureWord(frame, 100, 100));

    SelectFrames(*view, 3, 30);
    view->OnSnapIt();
    ASSERT_TRUE(WaitFor("Mosaic Complete"));

    const MOSAIC_PARAMS& c = view->m_mosaicer.m_canvas;
    uint8_t** rows = CurrentCanvasRows(c);
    ASSERT_TRUE(rows);
    const int nCols = c.nCols, nRows = c.nRows;
    ASSERT_GT(nCols, 160);
    auto canvasWord = [&](int cx, int cy) {
        const uint8_t* p = rows[nRows - 1 - cy] + size_t(3) * cx;
        return ScreenWord(p[0], p[1], p[2], bytes);
    };
    // Every pixel of the mosaic view: canvas column trunc((vx + sx) z), picture row
    // trunc((vy + sy) z), black beyond the canvas.
    auto checkMosaic = [&](int sx, int sy, float z) {
        const QImage& img = view->m_bmpMosaicWork;
        ASSERT_EQ(img.format(), form);
        ASSERT_EQ(view->m_bmpMosaicShown.format(), form);
        int bad = 0, inside = 0;
        for (int vy = 0; vy < kMosaicH; ++vy) {
            for (int vx = 0; vx < kMosaicW; ++vx) {
                const int cx = int((vx + sx) * z), cy = int((vy + sy) * z);
                const bool in = cx < nCols && cy < nRows;
                inside += in;
                bad += PictureWord(img, vx, vy) != (in ? canvasWord(cx, cy) : black);
            }
        }
        EXPECT_EQ(bad, 0) << "scroll " << sx << "," << sy << " zoom " << z;
        EXPECT_GT(inside, 5000);
    };
    EXPECT_EQ(view->m_nScrollX, 0);
    checkMosaic(0, 0, 1.0f);
    view->OnZoomSpin(11); // zoom 2
    view->m_scrollH->setValue(7);
    ASSERT_EQ(view->m_nScrollX, 7);
    ASSERT_EQ(view->m_fZoom, 2.0f);
    checkMosaic(7, view->m_nScrollY, 2.0f);
    // The crop box over the whole canvas, drawn on the shown copy: its top edge and right edge.
    const QImage& shown = view->m_bmpMosaicShown;
    const int boxRight = (nCols - 1) / 2 - 7;
    EXPECT_EQ(PictureWord(shown, 30, 0), yellow);
    EXPECT_EQ(PictureWord(shown, boxRight, 30), yellow);
    EXPECT_EQ(PictureWord(shown, 40, 30), PictureWord(view->m_bmpMosaicWork, 40, 30));

    // Results preview: canvas column trunc(px scale), row trunc(py scale), moved down by the
    // centring offset; black elsewhere.
    const QImage& results = view->m_bmpResultsWork;
    ASSERT_EQ(results.format(), form);
    ASSERT_EQ(view->m_bmpResultsShown.format(), form);
    const ResultsFit fit = FitResults(nCols, nRows);
    ASSERT_GT(fit.scale, 0.0f);
    int bad = 0, inside = 0;
    for (int y = 0; y < kResultsH; ++y) {
        for (int x = 0; x < kResultsW; ++x) {
            const int py = y - fit.yOffset;
            const int cx = int(x * fit.scale), cy = int(py * fit.scale);
            const bool in = py >= 0 && cx < nCols && cy < nRows;
            inside += in;
            bad += PictureWord(results, x, y) != (in ? canvasWord(cx, cy) : black);
        }
    }
    EXPECT_EQ(bad, 0);
    EXPECT_GT(inside, 5000);
    // The viewport rectangle: the view starts at canvas column 14; its right and bottom edges
    // lie beyond the picture and are clipped, not drawn along its border.
    const QImage& outlined = view->m_bmpResultsShown;
    const int left = int(14 / fit.scale);
    EXPECT_EQ(PictureWord(outlined, left, fit.yOffset), yellow);
    EXPECT_EQ(PictureWord(outlined, left, kResultsH - 1), yellow);
    EXPECT_EQ(PictureWord(outlined, left + 20, fit.yOffset), yellow);
    EXPECT_EQ(PictureWord(outlined, kResultsW - 1, 70), PictureWord(results, kResultsW - 1, 70));
    EXPECT_EQ(PictureWord(outlined, left + 20, kResultsH - 1),
              PictureWord(results, left + 20, kResultsH - 1));
}

INSTANTIATE_TEST_SUITE_P(ScreenForms, WorkViewScreenFormTest, ::testing::Values(2, 4),
                         [](const auto& info) {
                             return info.param == 2 ? std::string("Bits16") : std::string("Bits32");
                         });

namespace {

// Checks that each caption under host fits the part of its control that shows text; returns how
// many captions were checked.
int ExpectCaptionsFit(const QWidget* host) {
    int captions = 0;
    for (QWidget* w : host->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        const QFontMetrics fm(w->font());
        QString text;
        int room = 0;
        if (auto* l = qobject_cast<QLabel*>(w)) {
            text = l->text();
            room = l->contentsRect().width();
            EXPECT_LE(fm.height(), l->height()) << text.toStdString();
        } else if (qobject_cast<QRadioButton*>(w) || qobject_cast<QCheckBox*>(w)) {
            // The text's room is what the mark and its gap leave.
            QStyleOptionButton opt;
            opt.initFrom(w);
            text = opt.text = static_cast<QAbstractButton*>(w)->text();
            const bool radio = qobject_cast<QRadioButton*>(w) != nullptr;
            room = w->style()
                       ->subElementRect(radio ? QStyle::SE_RadioButtonContents
                                              : QStyle::SE_CheckBoxContents,
                                        &opt, w)
                       .width();
        } else if (auto* b = qobject_cast<QPushButton*>(w)) {
            text = b->text();
            room = b->width() - 4;
        } else if (auto* gb = qobject_cast<QGroupBox*>(w)) {
            text = gb->title();
            room = gb->width();
        }
        if (text.isEmpty() || w->isHidden()) {
            continue;
        }
        ++captions;
        EXPECT_LE(fm.horizontalAdvance(text), room) << text.toStdString();
    }
    return captions;
}

} // namespace

// Every caption of every dialog, the form, the settings dialogs it owns and the About box, is
// drawn whole inside its control's rectangle in the dialog font.
TEST_F(WorkViewTest, CaptionsFitTheirControls) {
    auto view = Start();
    // Labels, group boxes, radio buttons and the check box, push buttons with captions.
    EXPECT_EQ(ExpectCaptionsFit(view.get()), 6 + 9 + 5 + 4);
    EXPECT_GT(ExpectCaptionsFit(view->m_pImageTrimDlg), 0);
    EXPECT_GT(ExpectCaptionsFit(view->m_pOutputSettings), 0);
    EXPECT_GT(ExpectCaptionsFit(view->m_pDeinterlacing), 0);
    // Six lines and OK.
    CAboutDlg about(nullptr);
    EXPECT_EQ(ExpectCaptionsFit(&about), 6 + 1);
}

namespace {

bool AnyColour(const QImage& img) {
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            if ((img.pixel(x, y) & 0xFFFFFF) != 0) {
                return true;
            }
        }
    }
    return false;
}

} // namespace

// The mosaic view follows a run while it goes, merges the pictures that come closer together
// than its interval, and never puts off the run's last one.
TEST_F(WorkViewTest, LiveViewsFollowTheRunAtAMergedRate) {
    auto view = Start();
    view->show();
    Load(*view, Video("pan40.avi", 40, 3));
    SelectFrames(*view, 1, 39);
    // Longer than the whole test: every live picture after the first is merged away.
    view->m_nLiveRenderIntervalMs = 3600 * 1000;
    stillo_test::PaintCounter paints;
    view->m_picMosaic->installEventFilter(&paints);
    RunHold hold(*view, {10, 20});
    const auto ended = [&] { return Saw("Mosaic Complete"); };

    view->OnSnapIt();
    ASSERT_TRUE(hold.WaitHeld(10, ended));
    // The first picture of the run is shown while it goes on.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return paints.count > 0 && AnyColour(view->m_bmpMosaicWork); }, 60000));
    DeliverPostedEvents();
    const QImage live = view->m_bmpMosaicWork.copy();
    hold.Release();

    // Ten frames later, within the interval, the pictures they asked for are merged.
    ASSERT_TRUE(hold.WaitHeld(20, ended));
    DeliverPostedEvents();
    EXPECT_TRUE(view->m_bmpMosaicWork == live);
    hold.Release();

    ASSERT_TRUE(WaitFor("Mosaic Complete"));
    EXPECT_EQ(view->m_nFramesProcessed, 38);
    // The run's last picture is never put off: the view ends on the finished canvas.
    const QImage shown = view->m_bmpMosaicWork.copy();
    EXPECT_FALSE(shown == live);
    view->RenderMosaicView(view->m_nScrollX, view->m_nScrollY, view->m_fZoom);
    EXPECT_TRUE(shown == view->m_bmpMosaicWork);
}

namespace {

// The cursor the window system shows at a point of a top-level window: the override cursor,
// else that of the widget under the point or of its nearest ancestor that has one set.
Qt::CursorShape ShownCursor(QWidget* window, QPoint pos) {
    if (const QCursor* busy = QApplication::overrideCursor()) {
        return busy->shape();
    }
    QWidget* w = window->childAt(pos);
    w = w ? w : window;
    while (!w->isWindow() && !w->testAttribute(Qt::WA_SetCursor)) {
        w = w->parentWidget();
    }
    return w->cursor().shape();
}

// A mouse event as the window system hands it to the form after propagation.
void SendMouse(QWidget* form, QEvent::Type type, QPoint pos, Qt::MouseButton button,
               Qt::MouseButtons held) {
    QMouseEvent me(type, QPointF(pos), QPointF(form->mapToGlobal(pos)), button, held,
                   Qt::NoModifier);
    QApplication::sendEvent(form, &me);
}

} // namespace

// An idle form, a video loaded and its slider showing explicit ticks, schedules no repaint.
TEST_F(WorkViewTest, IdleFormSchedulesNoRepaint) {
    auto view = Start();
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    Load(*view, Video("pan100.avi", 100, 2));
    ASSERT_FALSE(view->m_sliderFrame->Tics().empty());
    // The repaints the load asked for.
    DeliverPostedEvents();
    stillo_test::PaintCounter paints;
    qApp->installEventFilter(&paints);
    QTest::qWait(1000);
    EXPECT_EQ(paints.count, 0);
    // The count sees the form's paints: one asked for arrives.
    view->m_sliderFrame->update();
    EXPECT_TRUE(QTest::qWaitFor([&] { return paints.count > 0; }, 60000));
    qApp->removeEventFilter(&paints);
}

namespace {

// A finished run over a small pan: the crop box covers the whole canvas at zoom 1.
class CropBoxTest : public WorkViewTest {
protected:
    std::unique_ptr<CWorkView> FinishedRun() {
        auto view = Start();
        view->show();
        Load(*view, Video("pan40.avi", 40, 3));
        SelectFrames(*view, 3, 30);
        view->OnSnapIt();
        EXPECT_TRUE(WaitFor("Mosaic Complete"));
        nCols = view->m_mosaicer.m_canvas.nCols;
        nRows = view->m_mosaicer.m_canvas.nRows;
        EXPECT_LT(nCols, kMosaicW);
        EXPECT_LT(nRows, kMosaicH);
        return view;
    }
    int nCols = 0, nRows = 0;
};

} // namespace

// The cursor shown over each handle of the box is the handle's; over no handle, and off the
// picture, the arrow comes back.
TEST_F(CropBoxTest, HandleCursorsShowOnTheForm) {
    auto view = FinishedRun();
    const QPoint origin = view->m_picMosaic->pos();
    const struct {
        const char* what;
        int x, y; // view position in the mosaic picture
        Qt::CursorShape shape;
    } cases[] = {
        {"top-left", 3, 3, Qt::SizeFDiagCursor},
        {"bottom-left", 3, nRows - 4, Qt::SizeBDiagCursor},
        {"top-right", nCols - 4, 3, Qt::SizeBDiagCursor},
        {"bottom-right", nCols - 4, nRows - 4, Qt::SizeFDiagCursor},
        {"top edge", nCols / 2, 2, Qt::SizeVerCursor},
        {"bottom edge", nCols / 2, nRows - 2, Qt::SizeVerCursor},
        {"left edge", 2, nRows / 2, Qt::SizeHorCursor},
        {"right edge", nCols - 2, nRows / 2, Qt::SizeHorCursor},
    };
    const QPoint centre = origin + QPoint(nCols / 2, nRows / 2);
    const QPoint offPicture = origin + QPoint(nCols / 2, -5);
    for (const auto& c : cases) {
        const QPoint at = origin + QPoint(c.x, c.y);
        SendMouse(view.get(), QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton);
        EXPECT_EQ(ShownCursor(view.get(), at), c.shape) << c.what;
        SendMouse(view.get(), QEvent::MouseMove, centre, Qt::NoButton, Qt::NoButton);
        EXPECT_EQ(ShownCursor(view.get(), centre), Qt::ArrowCursor) << "inside, after " << c.what;
        SendMouse(view.get(), QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton);
        SendMouse(view.get(), QEvent::MouseMove, offPicture, Qt::NoButton, Qt::NoButton);
        EXPECT_EQ(ShownCursor(view.get(), offPicture), Qt::ArrowCursor) << "off, after " << c.what;
    }
    // A drag keeps its handle's cursor even where the pointer leaves the picture.
    const QPoint left = origin + QPoint(2, nRows / 2);
    SendMouse(view.get(), QEvent::MouseButtonPress, left, Qt::LeftButton, Qt::LeftButton);
    SendMouse(view.get(), QEvent::MouseMove, offPicture, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(ShownCursor(view.get(), offPicture), Qt::SizeHorCursor);
    SendMouse(view.get(), QEvent::MouseButtonRelease, offPicture, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(ShownCursor(view.get(), offPicture), Qt::ArrowCursor);
}

// Only the left button's release ends a drag; other buttons pressed and let go meanwhile
// change nothing.
TEST_F(CropBoxTest, OnlyTheLeftReleaseEndsADrag) {
    auto view = FinishedRun();
    CResizeBox& box = *view->m_pResizeBox;
    const QPoint origin = view->m_picMosaic->pos();
    const int midY = nRows / 2;
    SendMouse(view.get(), QEvent::MouseButtonPress, origin + QPoint(2, midY), Qt::LeftButton,
              Qt::LeftButton);
    ASSERT_EQ(box.m_bDragging, 1);
    const Qt::MouseButton others[] = {Qt::RightButton, Qt::MiddleButton};
    int x = 10;
    for (Qt::MouseButton b : others) {
        SendMouse(view.get(), QEvent::MouseButtonPress, origin + QPoint(x, midY), b,
                  Qt::LeftButton | b);
        SendMouse(view.get(), QEvent::MouseButtonRelease, origin + QPoint(x, midY), b,
                  Qt::LeftButton);
        EXPECT_EQ(box.m_bDragging, 1) << b;
        // The drag goes on with the next move.
        x += 10;
        SendMouse(view.get(), QEvent::MouseMove, origin + QPoint(x, midY), Qt::NoButton,
                  Qt::LeftButton);
        // Grabbed 2 columns right of the edge, the offset counting from the band's start 4
        // columns before it.
        EXPECT_EQ(box.m_nLeft, x - 2 - 4) << b;
    }
    SendMouse(view.get(), QEvent::MouseButtonRelease, origin + QPoint(x, midY), Qt::LeftButton,
              Qt::NoButton);
    EXPECT_EQ(box.m_bDragging, 0);
    // Moves after the release drag nothing.
    SendMouse(view.get(), QEvent::MouseMove, origin + QPoint(x + 20, midY), Qt::NoButton,
              Qt::NoButton);
    EXPECT_EQ(box.m_nLeft, x - 2 - 4);
}

namespace {

struct ButtonLooks {
    bool snapEnabled, snapDown, stopEnabled, stopDown;
    bool operator==(const ButtonLooks&) const = default;
};
ButtonLooks Looks(const CWorkView& v) {
    return {v.m_btnSnapIt->isEnabled(), v.m_btnSnapIt->isDown(), v.m_btnStop->isEnabled(),
            v.m_btnStop->isDown()};
}
std::ostream& operator<<(std::ostream& os, const ButtonLooks& l) {
    return os << "Snap It " << (l.snapEnabled ? "enabled" : "disabled")
              << (l.snapDown ? " pressed" : "") << ", Stop "
              << (l.stopEnabled ? "enabled" : "disabled") << (l.stopDown ? " pressed" : "");
}

} // namespace

// Snap It and Stop, clicked as a user clicks them: Snap It shows pressed and Stop can be
// pressed while the run goes; as it ends the two change over before "Mosaic Complete" comes
// up, which a wait cursor covers, and the rest of the form comes back after it.
TEST_F(WorkViewTest, RunButtonsChangeOverBeforeTheEndMessage) {
    auto view = Start();
    view->show();
    Load(*view, Video("pan40.avi", 40, 3));
    SelectFrames(*view, 1, 39);
    RunHold hold(*view, {3});
    const ButtonLooks idle{true, false, false, false};
    EXPECT_EQ(Looks(*view), idle);

    QTest::mouseClick(view->m_btnSnapIt, Qt::LeftButton);
    const ButtonLooks running{false, true, true, false};
    ASSERT_EQ(Looks(*view), running);

    ButtonLooks atMessage{};
    bool transportAtMessage = true, doneAtMessage = true;
    Qt::CursorShape cursorAtMessage = Qt::ArrowCursor;
    onMessage = [&](const ui::MessageRequest& r) {
        if (r.text == "Mosaic Complete") {
            atMessage = Looks(*view);
            transportAtMessage = view->m_btnPlay->isEnabled();
            doneAtMessage = view->m_bMosaicDone != 0;
            cursorAtMessage = ShownCursor(view.get(), QPoint(5, 5));
        }
    };
    ASSERT_TRUE(hold.WaitHeld(3, [&] { return Saw("Mosaic Complete"); }));
    // Still running: the Stop button itself takes the click.
    EXPECT_EQ(Looks(*view), running);
    QTest::mouseClick(view->m_btnStop, Qt::LeftButton);
    hold.Release();
    ASSERT_TRUE(WaitFor("Mosaic Complete"));
    EXPECT_EQ(view->m_nFramesProcessed, 4);

    const ButtonLooks ended{true, false, false, true};
    EXPECT_EQ(atMessage, ended);
    EXPECT_FALSE(transportAtMessage);
    EXPECT_FALSE(doneAtMessage);
    EXPECT_EQ(cursorAtMessage, Qt::WaitCursor);
    EXPECT_EQ(Looks(*view), ended);
    EXPECT_TRUE(view->m_btnPlay->isEnabled());
    EXPECT_EQ(view->m_bMosaicDone, 1);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// The trim a user sets in the dialog, top, bottom, left and right each its own, reaches the
// engine's window through Snap It (rows counted from the frame's bottom), and the frame
// preview outlines the same sides.
TEST_F(WorkViewTest, AsymmetricTrimReachesTheEngineWindow) {
    auto view = Start();
    Load(*view, Video("pan40.avi", 40, 3));
    CImageTrimDlg& dlg = *view->m_pImageTrimDlg;
    dlg.OnInitDialog();
    const int w = 160, h = 120;
    const struct {
        int top, bottom, left, right;
    } cases[] = {{33, 7, 3, 21}, {0, 40, 25, 0}, {10, 45, 40, 5}, {2, 2, 2, 2}};
    const uint32_t yellow = 0xFFFFFF00u;
    for (const auto& c : cases) {
        // The dialog's sliders by control id: Top, Bottom, Left, Right.
        const std::pair<int, int> moves[] = {
            {1031, c.top}, {1033, c.bottom}, {1035, c.left}, {1037, c.right}};
        for (auto [id, v] : moves) {
            dlg.Item<ui::Trackbar>(id)->setValue(v);
        }
        const std::string what = std::to_string(c.top) + "/" + std::to_string(c.bottom) + "/" +
                                 std::to_string(c.left) + "/" + std::to_string(c.right);
        // The picture's rows from the top that stay, and its columns, by plain shares.
        const int firstRowFromTop = int(std::ceil(c.top * h / 100.0));
        const int lastRowFromTop = h - 1 - int(std::floor(c.bottom * h / 100.0));
        const int firstCol = int(std::floor(c.left * w / 100.0));
        const int lastCol = w - 1 - int(std::ceil(c.right * w / 100.0));

        const float s = 275.0f / w;
        const int xL = int(c.left * w * s * 0.01), xR = int(w * s - c.right * w * s * 0.01 - 1);
        const int yT = int(c.top * h * s * 0.01), yB = int(h * s - c.bottom * h * s * 0.01 - 1);
        const QImage& shown = view->m_bmpFrameShown;
        EXPECT_EQ(shown.pixel((xL + xR) / 2, yT), yellow) << what << " top";
        EXPECT_EQ(shown.pixel((xL + xR) / 2, yB), yellow) << what << " bottom";
        EXPECT_EQ(shown.pixel(xL, (yT + yB) / 2), yellow) << what << " left";
        EXPECT_EQ(shown.pixel(xR, (yT + yB) / 2), yellow) << what << " right";

        SelectFrames(*view, 1, 4);
        messages.clear();
        view->OnSnapIt();
        ASSERT_TRUE(view->m_btnStop->isEnabled()) << what << ": no run started";
        const MOSAIC_SETTINGS& set = view->m_mosaicer.m_settings;
        EXPECT_EQ(set.nRowStart, h - 1 - lastRowFromTop) << what;
        EXPECT_EQ(set.nRowEnd, h - 1 - firstRowFromTop) << what;
        EXPECT_EQ(set.nColStart, firstCol) << what;
        EXPECT_EQ(set.nColEnd, lastCol) << what;
        ASSERT_TRUE(WaitFor("Mosaic Complete"));
    }
}

// Loading a video clears the frames the source holds, also where it outgrew the form's
// buffers with storage of its own: nothing of the last video is left behind. A file that
// cannot be loaded leaves them, and the video, as they were.
TEST_F(WorkViewTest, LoadingClearsTheSourcesOwnBuffers) {
    const std::string wide = Video("pan3hd.avi", 3, 2, 1280, 720);
    const std::string small = Video("pan40.avi", 40, 3);
    const std::string junk = Junk();
    const struct {
        const std::string* next;
        bool loads;
    } cases[] = {{&small, true}, {&junk, false}};
    auto allZero = [](const uint8_t* p, size_t n) {
        return std::all_of(p, p + n, [](uint8_t b) { return b == 0; });
    };
    for (const auto& c : cases) {
        auto view = Start();
        Load(*view, wide);
        CVideoGrabber& g = *view->m_pGrabber;
        ASSERT_GT(g.FrameBufferBytes(), framebuffer::kLentBytes);
        view->OnStepForwards();
        ASSERT_FALSE(allZero(g.FrameBuffer(), g.FrameBufferBytes()));
        const std::vector<uint8_t> frame(g.FrameBuffer(), g.FrameBuffer() + g.FrameBufferBytes());
        view->LoadVideo(QString::fromStdString(*c.next), "next.avi");
        EXPECT_EQ(allZero(g.FrameBuffer(), g.FrameBufferBytes()), c.loads) << *c.next;
        EXPECT_EQ(std::equal(frame.begin(), frame.end(), g.FrameBuffer()), !c.loads) << *c.next;
        EXPECT_FALSE(allZero(g.PreviewBuffer(), g.PreviewBufferBytes())) << *c.next;
    }
}

// The save takes the crop box's inclusive edges: a box inside the canvas on every side comes out
// with its last column and row, and nothing of the canvas beyond them.
TEST_F(WorkViewTest, SaveWritesExactlyTheCropBox) {
    auto view = Start();
    ASSERT_EQ(view->m_mosaicer.Init("c:", 160, 120, 0, 119, 0, 159, 10, 0), 1);
    MOSAIC_PARAMS& canvas = view->m_mosaicer.m_canvas;
    uint8_t** rows = CurrentCanvasRows(canvas);
    // Yellow up to column 120 and row 90 from the top; blue, green or black beyond.
    for (int y = 0; y < canvas.nRows; ++y) {
        for (int x = 0; x < canvas.nCols; ++x) {
            uint8_t* p = rows[canvas.nRows - 1 - y] + 3 * x;
            p[0] = x <= 120 ? 250 : 0;
            p[1] = y <= 90 ? 250 : 0;
            p[2] = x <= 120 ? 0 : 250;
        }
    }
    CResizeBox& box = *view->m_pResizeBox;
    box.Init(canvas.nCols, canvas.nRows);
    box.m_nLeft = 97;
    box.m_nRight = 120;
    box.m_nTop = 31;
    box.m_nBottom = 90;
    view->m_bMosaicDone = 1;
    const std::string out = (Dir() / "box.jpg").string();
    std::filesystem::remove(out);
    g_pMainFrame->m_strOutputPathName = QString::fromStdString(out);
    view->SaveResult();
    ASSERT_TRUE(Saw("Jpeg Stored OK"));
    const QImage saved = QImage(QString::fromStdString(out)).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(saved.width(), 24);
    ASSERT_EQ(saved.height(), 60);
    for (const QPoint p : {QPoint(0, 0), QPoint(23, 0), QPoint(0, 59), QPoint(23, 59)}) {
        const QRgb q = saved.pixel(p);
        EXPECT_GT(qRed(q), 200) << p.x() << "," << p.y();
        EXPECT_GT(qGreen(q), 200) << p.x() << "," << p.y();
        EXPECT_LT(qBlue(q), 50) << p.x() << "," << p.y();
    }
}
