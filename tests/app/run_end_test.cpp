// How a run ends when the file does: at the default end frame, whose last frame is painted,
// and at the real end of a file that announced more frames than it holds, where the form's
// count follows the real one.
#include "BtnST.h"
#include "VideoGrabber.h"
#include "WorkView.h"
#include "platform/ui/controls.h"
#include "platform/ui/services.h"
#include "tests/support/temp_dir.h"
#include "tools/video_writer.h"

#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

class RunEnd : public ::testing::Test {
protected:
    static std::string Path(const std::string& name) {
        return (stillo_test::ProcessTempDir().Path() / name).string();
    }
    static std::string Write(const std::string& name, const videotool::VideoSpec& spec) {
        const std::string path = Path(name);
        std::string error;
        EXPECT_TRUE(videotool::WriteVideoIfMissing(path, spec, &error)) << error;
        return path;
    }
    void SetUp() override {
        Write("vantor.AVI", videotool::Pan(videotool::Codec::Mjpeg, 160, 120, 5, 2));
        setenv("STILLO_PATH", (stillo_test::ProcessTempDir().Path().string() + "/").c_str(), 1);
        ui::SetMessageHandler([this](const ui::MessageRequest& r) {
            messages.push_back(r.text);
            return int(ui::IDOK);
        });
        view = std::make_unique<CWorkView>(nullptr);
        view->m_fnExit = [](int) {};
        ASSERT_TRUE(view->OnInitDialog());
    }
    void TearDown() override {
        view.reset();
        ui::SetMessageHandler({});
        unsetenv("STILLO_PATH");
    }
    // Snap It over the loaded video's default range, with the thin brush, whose last frame is
    // the only one extended, and waits for the run's end.
    void RunToTheEnd() {
        view->OnThin();
        view->OnSnapIt();
        // Started: only the run's end, on this thread, disables Stop again.
        ASSERT_TRUE(view->m_btnStop->isEnabled());
        ASSERT_TRUE(QTest::qWaitFor([&] { return Saw("Mosaic Complete"); }, 60000));
    }
    bool Saw(const QString& text) const {
        return std::find(messages.begin(), messages.end(), text) != messages.end();
    }
    int ShownBarcode() const {
        CVideoGrabber& g = *view->m_pGrabber;
        const int w = g.m_callback.m_nWidth;
        const uint8_t* frame = g.FrameBuffer();
        return videotool::ReadBarcode(w, videotool::kBarcodeRows, [&](int x, int y) {
            return frame[(static_cast<size_t>(y) + 1) * 3 * w + 3 * static_cast<size_t>(x) + 1];
        });
    }
    int EditNumber(int id) const {
        return ui::FindControlAs<QLineEdit>(view.get(), id)->text().toInt();
    }

    std::vector<QString> messages;
    std::unique_ptr<CWorkView> view;
};

TEST_F(RunEnd, DefaultEndFrameIsDeliveredAndPaintedAsTheLast) {
    // 23 frames at 24 a second: the count turned into media time is not whole.
    videotool::VideoSpec spec = videotool::Pan(videotool::Codec::Mpeg4BFrames, 160, 120, 23, 3);
    spec.fps = 24;
    ASSERT_EQ(view->LoadVideo(QString::fromStdString(Write("pan24.avi", spec)), "pan24.avi"), 1);
    CVideoGrabber& g = *view->m_pGrabber;
    EXPECT_EQ(g.m_nEndFrame.load(), 22);
    RunToTheEnd();
    EXPECT_EQ(view->m_nFramesProcessed, 21) << "frames 2 to 22";
    EXPECT_EQ(g.m_nCurrentFrame.load(), 22);
    EXPECT_EQ(ShownBarcode(), 22) << "the engine was given the last frame itself";
    EXPECT_EQ(view->m_mosaicer.m_frame.bExtendStrip, 1) << "and extended it as the last";
    EXPECT_EQ(g.m_nFrameCount.load(), 23);
}

// An MJPEG AVI of 60 frames cut after about seven of them; its header still says 60.
std::string CutVideo(const std::string& path) {
    std::string error;
    EXPECT_TRUE(videotool::WriteVideo(
        path, videotool::Pan(videotool::Codec::Mjpeg, 160, 120, 60, 3), &error));
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    const size_t movi = bytes.find("movi"), idx1 = bytes.find("idx1");
    EXPECT_NE(idx1, std::string::npos);
    EXPECT_TRUE(videotool::TruncateFile(path, movi + (idx1 - movi) * 7 / 60 + 100));
    return path;
}

TEST_F(RunEnd, FileEndingEarlyEndsTheRunAtItsLastFrameAndCorrectsTheCount) {
    const std::string path = CutVideo(Path("cut.avi"));
    ASSERT_EQ(view->LoadVideo(QString::fromStdString(path), "cut.avi"), 1);
    CVideoGrabber& g = *view->m_pGrabber;
    ASSERT_EQ(g.m_nEndFrame.load(), 59);

    RunToTheEnd();
    const int last = g.m_nCurrentFrame;
    EXPECT_GE(last, 5);
    EXPECT_LE(last, 8);
    EXPECT_EQ(view->m_nFramesProcessed, last - 1) << "frames 2 to the last real one";
    EXPECT_EQ(ShownBarcode(), last);
    EXPECT_EQ(view->m_mosaicer.m_frame.bExtendStrip, 1) << "the last real frame ends the run";
    EXPECT_FALSE(Saw("Max allowable frames reached.\nhttp://www.stillo.com"));
    // The form's count follows the file's: range, end frame, slider.
    EXPECT_EQ(g.m_nFrameCount.load(), last + 1);
    EXPECT_EQ(g.m_nEndFrame.load(), last);
    EXPECT_EQ(EditNumber(1005), last);
    EXPECT_EQ(view->m_sliderFrame->maximum(), last);
    EXPECT_TRUE(view->m_btnSnapIt->isEnabled());

    // Playback stops on the last real frame too.
    view->OnPlay();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !g.m_bPlaying; }, 60000));
    EXPECT_EQ(g.m_nCurrentFrame.load(), last);
}

// A frame the file does not have, End on the slider of a file shorter than its header or the
// frame 1 a load shows of a single picture: the form shows the last real frame, and its number
// in the fields and on the slider.
TEST_F(RunEnd, FrameMissingFromTheFileShowsTheLastOneWithItsNumber) {
    const std::string path = CutVideo(Path("cut-slider.avi"));
    ASSERT_EQ(view->LoadVideo(QString::fromStdString(path), "cut-slider.avi"), 1);
    CVideoGrabber& g = *view->m_pGrabber;
    QTest::keyClick(view->m_sliderFrame, Qt::Key_End);
    const int last = g.m_nFrameCount - 1;
    EXPECT_LT(last, 59);
    EXPECT_EQ(ShownBarcode(), last);
    EXPECT_EQ(EditNumber(1003), last);
    EXPECT_EQ(EditNumber(1005), last);
    EXPECT_EQ(view->m_sliderFrame->value(), last);

    const std::string single =
        Write("single.jpg", videotool::Pan(videotool::Codec::Jpeg, 160, 120, 1, 2));
    ASSERT_EQ(view->LoadVideo(QString::fromStdString(single), "single.jpg"), 1);
    EXPECT_EQ(g.m_nCurrentFrame.load(), 0);
    EXPECT_EQ(EditNumber(1003), 0);
    EXPECT_EQ(view->m_sliderFrame->value(), 0);
}

// A run started past the real end gets no picture at all: it ends at once, and the engine is
// never handed the stale frame in the buffer.
TEST_F(RunEnd, RunStartedPastTheRealEndFeedsTheEngineNothing) {
    const std::string path = CutVideo(Path("cut-late.avi"));
    ASSERT_EQ(view->LoadVideo(QString::fromStdString(path), "cut-late.avi"), 1);
    CVideoGrabber& g = *view->m_pGrabber;
    g.m_nStartFrame = 30; // chosen before anything showed the file short
    RunToTheEnd();
    EXPECT_EQ(view->m_nFramesProcessed, 0);
    EXPECT_LT(g.m_nFrameCount.load(), 30);
    EXPECT_EQ(g.m_nEndFrame.load(), g.m_nFrameCount - 1);
}

} // namespace
