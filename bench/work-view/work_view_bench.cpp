// work_view_bench: the time of a whole mosaic run through the work form against the engine and
// decoding alone.
//
//   work_view_bench [--frames N] [--runs R] [--video PATH] [--headless | --view] [--split]
//                   [--timeout S]
//   work_view_bench --worker
//
// Writes a 640 x 480 MPEG-4 AVI pan of N + 2 frames (default N = 500) into a temporary folder
// (or uses PATH, written there first when it does not exist), then times
//   headless  the worker's own work for an N-frame run, straight through the video source and
//             the engine on this thread: the run's first frame stepped to and added, then for
//             every other frame StepFrame, NextFrame, AddFrame, the look whether the file
//             goes on, and Compose; the next frame is decoded while the engine works;
//   split     (with --split) beside it: the grabs alone, the engine alone over frames decoded
//             beforehand, and the run with decoding ahead off, each frame decoded in turn;
//   view      an offscreen work form (started as the program starts it, with the probe video
//             in its installation folder and message boxes recorded), the video loaded, start
//             and end frame set N frames apart, Snap It, and the time until "Mosaic Complete"
//             is shown, with the event loop running throughout; beside it the mosaic view's
//             repaints and the longest gap between two of them, and the longest time the
//             interface thread was kept from its events (a 2 ms timer's longest gap), in
//             milliseconds and in frames of the run.
// With both figures (the default) the runs alternate, headless then view, R times; prints each
// run, each pair's ratio view / headless, the best of each figure and the median ratio.
// Exit status: 0, or 1 when something failed, or 2 when the median ratio exceeds 1.5.
//
// --worker times the work view's worker loop alone, with passes that do nothing but what is
// said: a run's passes a second (they neither sleep nor wait), the gaps between the steps of
// plain playback (paced at 40 ms), the turns of an idle loop a second (a 1 ms sleep each), and
// the interface thread's waits for the pass lock while a run's passes hold it 1 ms each (with
// the passes that went by before it got in: the one in hand at most).
#include "Mosaicer.h"
#include "VideoGrabber.h"
#include "WorkView.h"
#include "WorkerThread.h"
#include "platform/ui/controls.h"
#include "platform/ui/services.h"
#include "tests/support/temp_dir.h"
#include "tools/video_writer.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

constexpr double kAllowedRatio = 1.5;

double Seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

struct Options {
    int frames = 500;
    int runs = 1;
    int timeoutSeconds = 600;
    bool headless = true;
    bool view = true;
    bool split = false; // also decode alone, engine alone, and the run without decoding ahead
    bool worker = false;
    std::string video;
};

bool ParseOptions(int argc, char** argv, Options* o) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--frames" && hasValue) {
            o->frames = std::atoi(argv[++i]);
        } else if (arg == "--runs" && hasValue) {
            o->runs = std::atoi(argv[++i]);
        } else if (arg == "--timeout" && hasValue) {
            o->timeoutSeconds = std::atoi(argv[++i]);
        } else if (arg == "--video" && hasValue) {
            o->video = argv[++i];
        } else if (arg == "--headless") {
            o->view = false;
        } else if (arg == "--view") {
            o->headless = false;
        } else if (arg == "--split") {
            o->split = true;
        } else if (arg == "--worker") {
            o->worker = true;
        } else {
            return false;
        }
    }
    return o->frames >= 2 && o->runs >= 1 && o->timeoutSeconds > 0;
}

bool WriteIfMissing(const std::string& path, const videotool::VideoSpec& spec) {
    std::string error;
    if (!videotool::WriteVideoIfMissing(path, spec, &error)) {
        std::fprintf(stderr, "work_view_bench: cannot write %s: %s\n", path.c_str(), error.c_str());
        return false;
    }
    return true;
}

struct HeadlessResult {
    bool ok = false;
    double seconds = 0;
    double grabSeconds = 0; // StepFrame alone
    int canvasCols = 0;
    int failures = 0;
};

// What a headless pass times.
enum class Part {
    Run,        // the worker's work: grabs and engine, the next frame decoded meanwhile
    RunInTurn,  // the same with decoding ahead off: each grab decodes its frame itself
    DecodeOnly, // the grabs alone (decoding and conversion into the buffers)
    EngineOnly, // the engine alone, over frames decoded beforehand
};

const char* PartName(Part part) {
    switch (part) {
    case Part::Run:
        return "headless";
    case Part::RunInTurn:
        return "in turn ";
    case Part::DecodeOnly:
        return "decode  ";
    case Part::EngineOnly:
        return "engine  ";
    }
    return "?";
}

// The worker's work for one run, with the buffers, trim and engine set-up of Load and Snap It
// (outside the timing) and nothing drawn: for every frame StepFrame, then for all but the
// first NextFrame and AddFrame, the look at whether the file goes on, and Compose.
HeadlessResult Headless(const std::string& path, int frames, Part part) {
    HeadlessResult r;
    std::vector<uint8_t> preview(framebuffer::kLentBytes);
    std::vector<uint8_t> frame(framebuffer::kLentBytes);
    CVideoGrabber grabber(preview.data(), frame.data(), 4, preview.size(), frame.size());
    int w = 0, h = 0;
    const int count = grabber.Open(path.c_str(), &w, &h, 1, 0);
    if (count < frames + 2) {
        std::fprintf(stderr, "work_view_bench: %s has %d frames, %d needed\n", path.c_str(), count,
                     frames + 2);
        return r;
    }
    grabber.m_nFrameCount = count;
    if (part == Part::RunInTurn || part == Part::DecodeOnly) {
        grabber.SetLookAhead(false); // the rest keep the source's own choice, as the program
    }
    grabber.GrabFrame(1, CVideoGrabber::PreviewScale(w, h), 1, 0);

    const int start = 1, end = start + frames;
    // The trim dialog's percentages as the program starts with them.
    const workview::TrimWindow tw = workview::FrameTrimWindow(w, h, 2, 2, 2, 2);
    CMosaicer mosaicer;
    if (mosaicer.Init("c:", w, h, tw.rowStart, tw.rowEnd, tw.colStart, tw.colEnd, end - start, 0) !=
        1) {
        std::fprintf(stderr, "work_view_bench: the engine did not start\n");
        return r;
    }
    grabber.m_nStep = 1;
    grabber.m_nCurrentFrame = start;
    grabber.m_bPlaying = 1;

    // For the engine alone, every frame decoded first.
    std::vector<std::vector<uint8_t>> decoded;
    if (part == Part::EngineOnly) {
        for (int n = 0; n < frames; ++n) {
            grabber.StepFrame();
            decoded.emplace_back(grabber.FrameBuffer(),
                                 grabber.FrameBuffer() + grabber.FrameBufferBytes());
        }
    }
    auto bits = [&](int n) {
        return part == Part::EngineOnly ? decoded[n].data() : grabber.FrameBuffer();
    };
    const size_t bytes = grabber.FrameBufferBytes();

    const Clock::time_point t0 = Clock::now();
    for (int n = 0; n < frames; ++n) {
        if (part != Part::EngineOnly) {
            const Clock::time_point g0 = Clock::now();
            grabber.StepFrame();
            r.grabSeconds += Seconds(g0, Clock::now());
        }
        if (part == Part::DecodeOnly) {
            continue;
        }
        if (n == 0) {
            mosaicer.AddFrame(bits(n), bytes);
            continue;
        }
        mosaicer.NextFrame();
        mosaicer.AddFrame(bits(n), bytes);
        const bool last =
            n == frames - 1 || (part != Part::EngineOnly && !grabber.NextStepDelivers());
        if (mosaicer.Compose(n, last) == kComposeFailed) {
            ++r.failures;
        }
    }
    r.seconds = Seconds(t0, Clock::now());
    r.canvasCols = mosaicer.m_canvas.nCols;
    r.ok = grabber.m_nCurrentFrame == end && r.failures == 0;
    if (grabber.m_nCurrentFrame != end) {
        std::fprintf(stderr, "work_view_bench: headless run ended at frame %d, not %d\n",
                     grabber.m_nCurrentFrame.load(), end);
    }
    return r;
}

struct ViewResult {
    bool ok = false;
    double seconds = 0;
    int framesProcessed = 0;
    int canvasCols = 0;
    int mosaicRepaints = 0;
    double longestRepaintGapMs = 0;   // between two repaints of the mosaic view during the run
    double longestInterfaceGapMs = 0; // the interface thread kept from its events
};

// The times of the paint events of the widgets it is installed on.
class PaintTimes : public QObject {
public:
    std::vector<Clock::time_point> times;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            times.push_back(Clock::now());
        }
        return QObject::eventFilter(watched, event);
    }
};

// The form, started once for all runs as the program starts it.
class ViewBench {
public:
    explicit ViewBench(int timeoutSeconds) : m_timeoutMs(timeoutSeconds * 1000) {
        ui::SetMessageHandler([this](const ui::MessageRequest& r) { return OnMessage(r); });
    }
    ~ViewBench() {
        m_view.reset();
        ui::SetMessageHandler({});
    }

    bool Start(const std::string& video, int frames) {
        m_view = std::make_unique<CWorkView>(nullptr);
        m_view->m_fnExit = [](int code) {
            std::fprintf(stderr, "work_view_bench: the form asked to end with status %d\n", code);
        };
        if (!m_view->OnInitDialog()) {
            return false;
        }
        m_view->show();
        if (m_view->LoadVideo(QString::fromStdString(video), QStringLiteral("pan.avi")) != 1) {
            return false;
        }
        // Start and end chosen as the user chooses them: slider, then Set Frame.
        m_view->m_sliderFrame->setValue(1);
        m_view->OnSetStartFrame();
        m_view->m_sliderFrame->setValue(1 + frames);
        m_view->OnSetEndFrame();
        m_frames = frames;
        if (m_view->m_pGrabber->m_nEndFrame - m_view->m_pGrabber->m_nStartFrame != frames) {
            std::fprintf(stderr, "work_view_bench: the file is too short for %d frames\n", frames);
            return false;
        }
        m_view->m_picMosaic->installEventFilter(&m_paintTimes);
        QCoreApplication::processEvents();
        return true;
    }

    ViewResult Run() {
        ViewResult r;
        QEventLoop loop;
        m_loop = &loop;
        m_done = m_failed = false;
        m_paintTimes.times.clear();
        Clock::time_point t0;
        // Ticks every 2 ms while the run goes: the longest gap between two is the longest the
        // interface thread was kept from its events.
        double longestTickGapMs = 0;
        Clock::time_point lastTick = Clock::now();
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const Clock::time_point now = Clock::now();
            if (m_view->m_bSnapping) {
                longestTickGapMs = std::max(longestTickGapMs, Seconds(lastTick, now) * 1000);
            }
            lastTick = now;
        });
        ticker.start(2);
        QTimer::singleShot(0, m_view.get(), [&] {
            t0 = Clock::now();
            m_view->OnSnapIt();
            if (!m_view->m_bSnapping) {
                m_failed = true;
                loop.quit();
            }
        });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, &loop, [&] {
            std::fprintf(stderr,
                         "work_view_bench: no \"Mosaic Complete\" after %d s (%d frames "
                         "processed, snapping %d)\n",
                         m_timeoutMs / 1000, m_view->m_nFramesProcessed.load(),
                         m_view->m_bSnapping.load());
            m_failed = true;
            loop.quit();
        });
        watchdog.start(m_timeoutMs);
        loop.exec();
        m_loop = nullptr;
        if (!m_done || m_failed) {
            return r;
        }
        r.seconds = Seconds(t0, m_doneAt);
        r.framesProcessed = m_view->m_nFramesProcessed;
        r.canvasCols = m_view->m_mosaicer.m_canvas.nCols;
        r.mosaicRepaints = static_cast<int>(m_paintTimes.times.size());
        r.longestInterfaceGapMs = longestTickGapMs;
        for (size_t i = 1; i < m_paintTimes.times.size(); ++i) {
            r.longestRepaintGapMs =
                std::max(r.longestRepaintGapMs,
                         Seconds(m_paintTimes.times[i - 1], m_paintTimes.times[i]) * 1000);
        }
        r.ok = r.framesProcessed == m_frames;
        if (!r.ok) {
            std::fprintf(stderr, "work_view_bench: the run processed %d frames, not %d\n",
                         r.framesProcessed, m_frames);
        }
        return r;
    }

private:
    int OnMessage(const ui::MessageRequest& r) {
        if (r.text == QLatin1String("Mosaic Complete")) {
            m_doneAt = Clock::now();
            m_done = true;
            if (m_loop) {
                m_loop->quit();
            }
        } else {
            // Anything else during a benchmark is a failure worth seeing.
            std::fprintf(stderr, "work_view_bench: message \"%s\" (%s)\n",
                         r.text.toLocal8Bit().constData(), r.caption.toLocal8Bit().constData());
            if (r.caption == QLatin1String("Error")) {
                m_failed = true;
                if (m_loop) {
                    m_loop->quit();
                }
            }
        }
        return r.buttons == ui::MsgButtons::YesNo ? int(ui::IDYES) : int(ui::IDOK);
    }

    int m_timeoutMs;
    int m_frames = 0;
    std::unique_ptr<CWorkView> m_view;
    PaintTimes m_paintTimes;
    QEventLoop* m_loop = nullptr;
    bool m_done = false;
    bool m_failed = false;
    Clock::time_point m_doneAt;
};

// The worker loop alone, with a client whose hooks do nothing but count and, where said, hold
// the pass lock for a while.
int WorkerFigures() {
    using Pass = CWorkerThread::Pass;
    using std::chrono::milliseconds;
    struct Client {
        std::atomic<bool> due{true}, inRun{true};
        Pass kind = Pass::Snapped;
        std::chrono::microseconds hold{0};
        std::atomic<long> loops{0}, passes{0};
        std::vector<Clock::time_point> passTimes; // the first ones
        CWorkerThread::Client Hooks() {
            return {[this] {
                        ++loops;
                        return true;
                    },
                    [this] { return due.load(); }, [this] { return inRun.load(); },
                    [this] {
                        const Clock::time_point now = Clock::now();
                        if (passTimes.size() < 1000) {
                            passTimes.push_back(now);
                        }
                        while (Clock::now() - now < hold) {
                        }
                        ++passes;
                        return kind;
                    },
                    [](Pass) {}};
        }
    };
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    // The loop over the client for a while; the seconds it ran.
    auto runFor = [](Client& c, milliseconds d) {
        CWorkerThread worker;
        const Clock::time_point t0 = Clock::now();
        worker.Start(c.Hooks());
        std::this_thread::sleep_for(d);
        worker.Stop();
        return Seconds(t0, Clock::now());
    };

    {
        Client c;
        const double s = runFor(c, milliseconds(500));
        std::printf("worker: a run's passes   %10.0f a second (%ld in %.3f s)\n", c.passes / s,
                    c.passes.load(), s);
    }
    {
        Client c;
        c.inRun = false;
        c.kind = Pass::Played;
        runFor(c, milliseconds(21 * CWorkerThread::kPlayIntervalMs));
        std::vector<double> gaps;
        for (size_t i = 1; i < c.passTimes.size(); ++i) {
            gaps.push_back(Seconds(c.passTimes[i - 1], c.passTimes[i]) * 1000);
        }
        if (gaps.empty()) {
            std::fprintf(stderr, "work_view_bench: playback stepped fewer than two frames\n");
            return 1;
        }
        std::printf("worker: playback steps   %zu gaps, shortest %.2f ms, median %.2f ms, "
                    "longest %.2f ms (interval %d ms)\n",
                    gaps.size(), *std::min_element(gaps.begin(), gaps.end()), median(gaps),
                    *std::max_element(gaps.begin(), gaps.end()), CWorkerThread::kPlayIntervalMs);
    }
    {
        Client c;
        c.due = false;
        const double s = runFor(c, milliseconds(500));
        std::printf("worker: idle turns       %10.0f a second (1 ms sleep each)\n", c.loops / s);
    }
    {
        Client c;
        c.hold = std::chrono::microseconds(1000);
        CWorkerThread worker;
        worker.Start(c.Hooks());
        std::vector<double> waits;
        long mostPasses = 0;
        for (int i = 0; i < 200; ++i) {
            const long before = c.passes;
            const Clock::time_point t0 = Clock::now();
            auto lock = worker.InterfaceLock();
            waits.push_back(Seconds(t0, Clock::now()) * 1000);
            mostPasses = std::max(mostPasses, c.passes - before);
            lock.unlock();
            std::this_thread::sleep_for(milliseconds(2));
        }
        worker.Stop();
        std::printf("worker: interface waits  %zu asks during 1 ms passes: median %.2f ms, "
                    "longest %.2f ms; passes before it got in: at most %ld\n",
                    waits.size(), median(waits), *std::max_element(waits.begin(), waits.end()),
                    mostPasses);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Options opt;
    if (!ParseOptions(argc, argv, &opt)) {
        std::fprintf(stderr, "usage: work_view_bench [--frames N] [--runs R] [--video PATH] "
                             "[--headless | --view] [--split] [--timeout S]\n"
                             "       work_view_bench --worker\n");
        return 1;
    }
    if (opt.worker) {
        return WorkerFigures();
    }
    const stillo_test::TempDir temp("stillo-wvbench");
    if (temp.Path().empty()) {
        std::fprintf(stderr, "work_view_bench: no temporary folder\n");
        return 1;
    }
    const std::filesystem::path& dir = temp.Path();

    const std::string video = opt.video.empty() ? (dir / "pan.avi").string() : opt.video;
    if (!WriteIfMissing(video,
                        videotool::Pan(videotool::Codec::Mpeg4, 640, 480, opt.frames + 2, 3))) {
        return 1;
    }
    std::printf("640x480 MPEG-4 pan, runs of %d frames, %s\n", opt.frames, video.c_str());

    std::unique_ptr<QApplication> app;
    std::unique_ptr<ViewBench> bench;
    if (opt.view) {
        if (!std::getenv("QT_QPA_PLATFORM")) {
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
        }
        // The probe the form opens at start-up, in an installation folder of its own.
        if (!WriteIfMissing((dir / "vantor.AVI").string(),
                            videotool::Pan(videotool::Codec::Mjpeg, 160, 120, 5, 1))) {
            return 1;
        }
        setenv("STILLO_PATH", (dir.string() + "/").c_str(), 1);
        app = std::make_unique<QApplication>(argc, argv);
        bench = std::make_unique<ViewBench>(opt.timeoutSeconds);
        if (!bench->Start(video, opt.frames)) {
            std::fprintf(stderr, "work_view_bench: the work form did not start\n");
            return 1;
        }
    }

    // Both figures in turns, so that each pair meets the machine in the same state.
    std::vector<double> headless, view, ratios;
    std::map<Part, std::vector<double>> seconds;
    for (int i = 0; i < opt.runs; ++i) {
        if (opt.headless) {
            // Each on a thread of its own, as the worker: the main thread's heap behaves
            // otherwise.
            std::vector<Part> parts = {Part::Run};
            if (opt.split) {
                parts = {Part::DecodeOnly, Part::EngineOnly, Part::RunInTurn, Part::Run};
            }
            for (const Part part : parts) {
                HeadlessResult r;
                std::thread([&] { r = Headless(video, opt.frames, part); }).join();
                if (!r.ok) {
                    return 1;
                }
                seconds[part].push_back(r.seconds);
                std::printf("%s  run %d: %7.3f s  %6.1f frames/s  (grabs %6.3f s)  canvas %d "
                            "columns\n",
                            PartName(part), i + 1, r.seconds, opt.frames / r.seconds, r.grabSeconds,
                            r.canvasCols);
            }
            headless.push_back(seconds[Part::Run].back());
        }
        if (bench) {
            const ViewResult r = bench->Run();
            if (!r.ok) {
                return 1;
            }
            view.push_back(r.seconds);
            const double frameMs = r.seconds * 1000 / opt.frames;
            std::printf("work view run %d: %7.3f s  %6.1f frames/s  (%d mosaic view repaints, "
                        "longest gap %.0f ms)  canvas %d columns\n",
                        i + 1, r.seconds, opt.frames / r.seconds, r.mosaicRepaints,
                        r.longestRepaintGapMs, r.canvasCols);
            std::printf("          interface thread kept from its events at most %.1f ms = %.1f "
                        "frames\n",
                        r.longestInterfaceGapMs, r.longestInterfaceGapMs / frameMs);
        }
        if (opt.headless && bench) {
            ratios.push_back(view.back() / headless.back());
            std::printf("ratio     run %d: %7.3f\n", i + 1, ratios.back());
        }
        std::fflush(stdout);
    }

    auto best = [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); };
    if (!headless.empty()) {
        std::printf("headless  best: %7.3f s  %6.1f frames/s\n", best(headless),
                    opt.frames / best(headless));
    }
    if (opt.split) {
        const double decode = best(seconds[Part::DecodeOnly]);
        const double engine = best(seconds[Part::EngineOnly]);
        std::printf("best: decode alone %.3f s, engine alone %.3f s, in turn %.3f s, headless "
                    "%.3f s = %.3f x max(decode, engine) (in turn %.3f x)\n",
                    decode, engine, best(seconds[Part::RunInTurn]), best(headless),
                    best(headless) / std::max(decode, engine),
                    best(seconds[Part::RunInTurn]) / std::max(decode, engine));
    }
    if (!view.empty()) {
        std::printf("work view best: %7.3f s  %6.1f frames/s\n", best(view),
                    opt.frames / best(view));
    }
    if (ratios.empty()) {
        return 0;
    }
    std::sort(ratios.begin(), ratios.end());
    const double median = ratios.size() % 2
                              ? ratios[ratios.size() / 2]
                              : (ratios[ratios.size() / 2 - 1] + ratios[ratios.size() / 2]) / 2;
    std::printf("ratio work view / headless: best against best %.3f, median of runs %.3f, "
                "range %.3f to %.3f (allowed %.1f)\n",
                best(view) / best(headless), median, ratios.front(), ratios.back(), kAllowedRatio);
    return median > kAllowedRatio ? 2 : 0;
}
