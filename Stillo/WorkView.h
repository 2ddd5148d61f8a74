// The main work form: video file and frame selection, transport, the run's controls and the
// three pictures (frame preview, mosaic view, results preview). Its worker (CWorkerThread)
// plays the video and drives a mosaic run through the form's passes.
#pragma once

#include "MainFrameState.h"
#include "Mosaicer.h"
#include "ScreenFormat.h"
#include "WorkViewLink.h"
#include "WorkerThread.h"
#include "platform/ui/dialog.h"

#include <QImage>
#include <QString>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class CBtnST;
class CResizeBox;
class CVideoGrabber;
class COutputSettings;
class CDeinterlacing;
class CImageTrimDlg;
class QLineEdit;
class QRadioButton;
class QCheckBox;
class QScrollBar;
class QPushButton;
namespace ui {
class Trackbar;
class UpDown;
class PictureControl;
} // namespace ui

// The arithmetic of the form, kept apart so it can be checked without widgets.
namespace workview {

constexpr int kMosaicW = 960, kMosaicH = 300;
constexpr int kResultsW = 365, kResultsH = 140;
// A run stops after this many frames.
constexpr int kMaxFrames = 1500;
// During a run the views are redrawn at most this often; the run itself is not held back.
constexpr int kLiveRenderIntervalMs = 40;

// Bytes a picture pixel takes on a screen of that many bits a pixel: 2 for 16-bit screens, 4
// for every other (24- and 32-bit screens, and those under 16 bits, shown converted).
int ScreenBytesPerPixel(int screenDepth);

struct Rect {
    int left, top, right, bottom;
};
// The trim rectangle over the frame preview for a W x H video and the four percentages.
Rect TrimOverlay(int width, int height, int top, int bottom, int left, int right);

struct TrimWindow {
    int colStart, colEnd, rowStart, rowEnd;
};
// The part of each frame a run uses; rows counted from the frame's bottom line.
TrimWindow FrameTrimWindow(int width, int height, int top, int bottom, int left, int right);

struct ZoomResult {
    float zoom;
    int scrollX, scrollY;
};
// Zoom spin moved to position p (1..12): keeps the canvas point at the view's centre.
ZoomResult ZoomAbout(int scrollX, int scrollY, float zoom, int spinPos);

// Slider ticks for a video whose last usable frame is endFrame: 0, 10 %, ... 90 %.
std::vector<int> SliderTicks(int endFrame);

// Next step for Play Faster / Rewind Faster: doubled, never beyond the frame count.
int FasterStep(int step, int frameCount, bool backwards);

// The second line of the message for a save that failed with that errno value: the cause
// named as a user knows it.
QString WriteFailureCause(int error);

// Results preview fit: canvas pixels per preview pixel (0 for an empty canvas) and the
// preview's top offset that centres a flat canvas.
struct ResultsFit {
    float scale;
    int yOffset;
};
ResultsFit FitResults(int nCols, int nRows);

} // namespace workview

class CWorkView : public QWidget {
    Q_OBJECT
public:
    explicit CWorkView(QWidget* pParent);
    ~CWorkView() override;

    static ui::DialogTemplate Template();

    // Set-up; ends with the start-up probe of the video machinery. False (after the process end
    // was requested through m_fnExit) when the probe failed.
    bool OnInitDialog();
    // What the main frame's commands and enabling rules need of the form.
    WorkViewLink Link();
    int LoadVideo(const QString& path, const QString& fileName);
    void EnableControls(bool bEnable);

    void OnRewindFaster();
    void OnPlayBackwards();
    void OnStepBackwards();
    void OnPause();
    void OnStepForwards();
    void OnPlay();
    void OnPlayFaster();
    void OnSetStartFrame();
    void OnSetEndFrame();
    void OnEdges();
    void OnRegions();
    void OnBlend();
    void OnThick();
    void OnThin();
    void OnSnapIt();
    void OnStop();
    void OnClose();
    void OnSliderMoved(int position);
    void OnZoomSpin(int position);
    void OnStepSpin(int position);
    void OnScrollH(int position);
    void OnScrollV(int position);
    void SaveResult();

    void UpdateFrameDisplay();
    void RedrawFramePreview();
    void RenderMosaicView(int sx, int sy, float z);
    void RedrawMosaicView();
    void RenderResultsPreview();
    void RedrawResultsPreview();

    // Leaves the worker loop and joins it.
    void StopWorker();

    std::unique_ptr<CVideoGrabber> m_pGrabber;
    CMosaicer m_mosaicer;
    std::unique_ptr<CResizeBox> m_pResizeBox;
    COutputSettings* m_pOutputSettings = nullptr;
    CDeinterlacing* m_pDeinterlacing = nullptr;
    CImageTrimDlg* m_pImageTrimDlg = nullptr;

    std::atomic<int> m_bMosaicDone{0};
    std::atomic<int> m_bSnapping{0};
    std::atomic<int> m_nFramesProcessed{0};
    float m_fZoom = 1.0f;
    int m_nScrollX = 0, m_nScrollY = 0;
    int m_nScreenBytesPerPixel = screen::kBytes32;

    QImage m_bmpFrameWork, m_bmpFrameShown;
    QImage m_bmpMosaicWork, m_bmpMosaicShown;
    QImage m_bmpResultsWork, m_bmpResultsShown;

    QLineEdit *m_editFileName = nullptr, *m_editCurrentFrame = nullptr;
    QRadioButton *m_radEdges = nullptr, *m_radRegions = nullptr, *m_radThick = nullptr,
                 *m_radThin = nullptr;
    QCheckBox* m_chkBlend = nullptr;
    CBtnST *m_btnSnapIt = nullptr, *m_btnStop = nullptr, *m_btnPlay = nullptr;
    QScrollBar* m_scrollH = nullptr;
    ui::Trackbar* m_sliderFrame = nullptr;
    ui::PictureControl* m_picMosaic = nullptr;

    // Set by tests (and benchmarks) before set-up or a run.
    // 2 or 4 replaces the screen's measure at set-up (tests show the 16-bit form offscreen).
    int m_nForcedBytesPerPixel = 0;
    // Frames after which a run stops; lowered by tests to reach the limit quickly.
    int m_nMaxFrames = workview::kMaxFrames;
    // Live pictures of a run closer together than this are merged; tests lengthen it so that
    // what is merged does not depend on how fast the machine is.
    int m_nLiveRenderIntervalMs = workview::kLiveRenderIntervalMs;
    // Runs on the worker thread after each frame it stepped, outside the pass lock, once the
    // pictures' update is asked for: tests hold the worker there. Set while nothing plays.
    std::function<void()> m_fnAfterFrame;
    // How the process ends when the start-up probe fails; tests replace it.
    std::function<void(int)> m_fnExit;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // How a run ended, as the worker leaves it for the interface thread.
    enum class RunEnd { None, Finished, Failed };

    // The steps of set-up, in their order.
    void SetUpRunControls();
    void SetUpImageButtons();
    // The pictures in the screen's form, black, shown by their controls.
    void MakePictures();
    void MakeVideoSource();
    // The Stop button, scroll bars, settings dialogs, zoom and step edits, trim outline and
    // crop box as a fresh form shows them.
    void SetUpViewsAndDialogs();
    void StartWorker();
    // Opens the probe video; false (the process end requested) when it cannot be opened.
    bool ProbeVideo();
    // The zoom edit: view pixels a canvas pixel.
    void ShowZoom();

    // A transport button (its control id): the playing flag and step it leaves, and for the
    // step buttons the frame it steps to.
    void Transport(int buttonId);
    // Either canvas buffer has been painted.
    bool CanvasExists() const;
    // The logo button's full-colour picture, once the splash has gone.
    void ShowLogo();

    // The worker's pass, under the pass lock: steps a frame when one is due and, in a run,
    // hands it to the engine.
    CWorkerThread::Pass WorkerPass();
    bool FrameDue() const;
    // One frame of a run, under the pass lock; returns how the run ended, if it did.
    RunEnd RunStep();
    void PostUpdate();
    void OnWorkerUpdate();
    // True when the last live render of a run is too recent; the update then comes again once
    // the interval is over.
    bool DeferLiveRender();
    // Why Snap It started no run.
    enum class RunRefusal { None, FrameRange, EngineInit };
    // Snap It's checks and the run's set-up, under the pass lock.
    RunRefusal StartRun();
    void FinishMosaic(bool failed, bool limitReached);
    // Grabs a frame to show; when the file has no such frame, its last one. The current frame
    // is then the one the picture shows.
    void GrabShown(int frame, int bDoFullFrame);
    // Slider range 1 .. endFrame with its ticks.
    void SetSliderRange(int endFrame);
    // Follows a frame count the source lowered to the file's real one.
    void TakeRealFrameCount();
    void DrawTrimOverlay(QImage& bitmap);
    void DrawViewportOverlay(QImage& bitmap);
    void SetScrollBars(int nRows, int nCols);
    void ShowPicture(ui::PictureControl* pic, const QImage& img);
    bool MosaicPoint(const QPoint& formPos, int& cx, int& cy) const;
    void SetEditInt(int id, int value);

    int m_nVideoWidth = 0, m_nVideoHeight = 0;
    int m_nFrameStep = 1;
    QString m_strInstallFolder;
    QPushButton *m_btnSetStart = nullptr, *m_btnSetEnd = nullptr;
    CBtnST *m_btnPause = nullptr, *m_btnPlayBackwards = nullptr, *m_btnPlayFaster = nullptr,
           *m_btnRewindFaster = nullptr, *m_btnStepForwards = nullptr,
           *m_btnStepBackwards = nullptr, *m_btnLogo = nullptr;
    ui::UpDown *m_spinStep = nullptr, *m_spinZoom = nullptr;
    QScrollBar* m_scrollV = nullptr;
    ui::PictureControl *m_picFrame = nullptr, *m_picResults = nullptr;

    std::vector<uint8_t> m_previewBuffer, m_frameBuffer;
    // Interface thread only: when the views last showed a running run (never yet: the first
    // is not put off, however long the interval), and whether an update is already waiting
    // for the interval to pass.
    std::chrono::steady_clock::time_point m_lastLiveRender =
        std::chrono::steady_clock::time_point::min();
    bool m_bLiveRenderDeferred = false;
    std::atomic<bool> m_bUpdatePosted{false};
    // Set by the worker when a run ended; taken by the interface thread.
    std::atomic<RunEnd> m_runEnd{RunEnd::None};
    std::atomic<int> m_bLimitReached{0};
    CMainFrameState m_ownState;
    // Last: it runs passes over everything above until it is stopped.
    CWorkerThread m_worker;
};
