// Render times of the work view's three pictures in each screen form. Builds a canvas with a
// real run over a generated 320 x 240 pan (offscreen, message boxes answered), then times
//   the mosaic view render (960 x 300) at zoom 1 and zoom 2,
//   the results preview render and its redraw with the viewport rectangle (365 x 140),
//   the frame preview update (275 x 220, trim rectangle included),
// for the 32-bit form and the 16-bit 5-6-5 form.
//   render_bench [renders]     default 2000 renders of each
#include "VideoGrabber.h"
#include "WorkView.h"
#include "platform/ui/services.h"
#include "tests/support/temp_dir.h"
#include "tools/video_writer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

using Clock = std::chrono::steady_clock;

namespace {

bool MakeVideo(const std::string& path, int width, int height, int frames, int dx) {
    std::string error;
    if (!videotool::WriteVideoIfMissing(
            path, videotool::Pan(videotool::Codec::Mjpeg, width, height, frames, dx), &error)) {
        std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), error.c_str());
        return false;
    }
    return true;
}

template <class F> double MicrosEach(int n, F&& f) {
    const auto t0 = Clock::now();
    for (int i = 0; i < n; ++i) {
        f(i);
    }
    return std::chrono::duration<double, std::micro>(Clock::now() - t0).count() / n;
}

// One view in the given form, a finished run over the pan, then the timings.
bool Measure(int bytes, const std::string& dir, int renders) {
    bool complete = false;
    ui::SetMessageHandler([&](const ui::MessageRequest& r) {
        if (r.text == "Mosaic Complete") {
            complete = true;
        }
        return int(ui::IDOK);
    });
    CWorkView view(nullptr);
    view.m_fnExit = [](int) {};
    view.m_nForcedBytesPerPixel = bytes;
    if (!view.OnInitDialog()) {
        return false;
    }
    if (!view.LoadVideo(QString::fromStdString(dir + "/pan.avi"), "pan.avi")) {
        return false;
    }
    view.OnSnapIt();
    QElapsedTimer t;
    t.start();
    while (!complete && t.elapsed() < 120000) {
        QApplication::processEvents();
        QThread::msleep(1);
    }
    if (!complete) {
        std::fprintf(stderr, "the run did not finish\n");
        return false;
    }
    const auto& c = view.m_mosaicer.m_canvas;
    std::printf("%d-bit form, canvas %d x %d:\n", bytes * 8, c.nCols, c.nRows);
    const double mosaic1 = MicrosEach(renders, [&](int) { view.RenderMosaicView(0, 0, 1.0f); });
    const double mosaic2 =
        MicrosEach(renders, [&](int i) { view.RenderMosaicView(i % 8, 0, 2.0f); });
    const double results = MicrosEach(renders, [&](int) { view.RenderResultsPreview(); });
    const double redraw = MicrosEach(renders, [&](int) { view.RedrawResultsPreview(); });
    const double frame = MicrosEach(renders, [&](int) { view.UpdateFrameDisplay(); });
    std::printf("  mosaic view zoom 1   %8.1f us\n", mosaic1);
    std::printf("  mosaic view zoom 2   %8.1f us\n", mosaic2);
    std::printf("  results preview      %8.1f us\n", results);
    std::printf("  results redraw       %8.1f us\n", redraw);
    std::printf("  frame preview        %8.1f us\n", frame);
    ui::SetMessageHandler({});
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const int renders = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const stillo_test::TempDir temp("stillo-render-bench");
    const std::string dir = temp.Path().string();
    // The probe the view opens at set-up, and the pan it runs over.
    if (!MakeVideo(dir + "/vantor.AVI", 160, 120, 5, 2) ||
        !MakeVideo(dir + "/pan.avi", 320, 240, 200, 3)) {
        return 1;
    }
    setenv("STILLO_PATH", (dir + "/").c_str(), 1);
    for (int bytes : {4, 2}) {
        if (!Measure(bytes, dir, renders)) {
            return 1;
        }
    }
    return 0;
}
