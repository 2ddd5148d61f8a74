#include "WorkView.h"

#include "BtnST.h"
#include "Deinterlacing.h"
#include "ImageTrimDlg.h"
#include "OutputSettings.h"
#include "PictureSampling.h"
#include "ResizeBox.h"
#include "ScreenFormat.h"
#include "VideoGrabber.h"
#include "engine/canvas_mutex.h"
#include "engine/mosaic_params.h"
#include "platform/sys/sys.h"
#include "platform/ui/controls.h"
#include "platform/ui/gdi.h"
#include "platform/ui/services.h"
#include "res/resource.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace workview {

static_assert(kMosaicW <= sampling::kMaxWidth && kResultsW <= sampling::kMaxWidth);

int ScreenBytesPerPixel(int screenDepth) {
    return screenDepth / 8 == screen::kBytes565 ? screen::kBytes565 : screen::kBytes32;
}

Rect TrimOverlay(int width, int height, int top, int bottom, int left, int right) {
    const float s = CVideoGrabber::PreviewScale(width, height);
    Rect r;
    r.left = static_cast<int>(left * width * s * 0.01);
    r.right = static_cast<int>(width * s - right * width * s * 0.01 - 1);
    r.top = static_cast<int>(top * height * s * 0.01);
    r.bottom = static_cast<int>(height * s - bottom * height * s * 0.01 - 1);
    return r;
}

TrimWindow FrameTrimWindow(int width, int height, int top, int bottom, int left, int right) {
    // Integer floor and ceiling of percentage shares.
    auto ceilDiv = [](int a, int b) { return (a + b - 1) / b; };
    TrimWindow t;
    t.colStart = left * width / 100;
    t.colEnd = width - ceilDiv(right * width, 100) - 1;
    t.rowStart = bottom * height / 100;
    t.rowEnd = height - ceilDiv(top * height, 100) - 1;
    return t;
}

ZoomResult ZoomAbout(int scrollX, int scrollY, float zoom, int spinPos) {
    const int cx = static_cast<int>((scrollX + kMosaicW / 2) * zoom);
    const int cy = static_cast<int>((scrollY + kMosaicH / 2) * zoom);
    ZoomResult r;
    r.zoom = static_cast<float>(13 - std::clamp(spinPos, 1, 12));
    r.scrollX = std::max(0, static_cast<int>((cx - kMosaicW / 2 * r.zoom) / r.zoom));
    r.scrollY = std::max(0, static_cast<int>((cy - kMosaicH / 2 * r.zoom) / r.zoom));
    return r;
}

std::vector<int> SliderTicks(int endFrame) {
    std::vector<int> ticks;
    float t = 0.0f;
    while (ticks.size() < 10 && t <= endFrame) {
        ticks.push_back(static_cast<int>(t));
        t += 0.1f * endFrame;
        if (endFrame <= 0) {
            break;
        }
    }
    return ticks;
}

int FasterStep(int step, int frameCount, bool backwards) {
    const int cap = std::max(1, frameCount);
    const int magnitude = std::min(cap, 2 * std::max(1, std::abs(step)));
    if (backwards) {
        return -magnitude;
    }
    return step < 0 ? -magnitude : magnitude;
}

QString WriteFailureCause(int error) {
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("Disk full");
    case EACCES:
    case EPERM:
        return QStringLiteral("Permission denied");
    case EROFS:
        return QStringLiteral("Read-only file system");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("Folder missing");
    case 0:
        return QStringLiteral("Cause unknown");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

ResultsFit FitResults(int nCols, int nRows) {
    ResultsFit f{0.0f, 0};
    if (nCols <= 0 || nRows <= 0) {
        return f;
    }
    const float sx = nCols * (1.0f / kResultsW);
    const float sy = nRows * (1.0f / kResultsH);
    f.scale = sx > sy ? sx : sy;
    const float off = (kResultsH - nRows / f.scale) * 0.5f;
    f.yOffset = off > 0 ? static_cast<int>(off) : 0;
    return f;
}

} // namespace workview

using namespace workview;

namespace {

const QString kWebLine = QStringLiteral("http://www.stillo.com");

// The trim and viewport rectangles; drawn with the same primitives as the crop box, which
// write either screen form directly.
constexpr ui::COLORREF kOverlayYellow = ui::RGB(255, 255, 0);

// The bytes a pixel of one of the form's pictures takes: its own storage decides, so a write
// can never disagree with it.
inline int PictureBytesPerPixel(const QImage& img) {
    return img.format() == QImage::Format_RGB16 ? screen::kBytes565 : screen::kBytes32;
}

// A picture's pixels as lines to sample into.
sampling::Lines PictureLines(QImage& img) {
    return {img.bits(), img.bytesPerLine(), img.width(), img.height(), PictureBytesPerPixel(img)};
}

// The canvas as the engine stores it (no canvas yet: no rows).
sampling::Canvas CanvasOf(const MOSAIC_PARAMS& c) {
    return {CurrentCanvasRows(c), c.nRows, c.nCols, c.nBytesPerPixel > 0 ? c.nBytesPerPixel : 3};
}

ui::ControlDesc C(ui::ControlKind k, int id, const char* caption, int x, int y, int cx, int cy,
                  unsigned style = 0) {
    return ui::ControlDesc{k, id, QString::fromLatin1(caption), x, y, cx, cy, style};
}

} // namespace

ui::DialogTemplate CWorkView::Template() {
    using K = ui::ControlKind;
    ui::DialogTemplate t;
    t.id = IDD_STILLO_FORM;
    t.cx = 673;
    t.cy = 419;
    const int S = ui::ID_STATIC;
    t.controls = {
        C(K::GroupBox, S, "Video File", 7, 3, 170, 50),
        C(K::GroupBox, S, "Video Frame", 188, 3, 221, 147),
        C(K::GroupBox, S, "Results Preview", 412, 3, 254, 103),
        C(K::GroupBox, S, "Video Controls", 187, 150, 221, 54),
        C(K::GroupBox, S, "Stillo Preview", 7, 204, 659, 208),
        C(K::GroupBox, S, "Frame Selections", 7, 58, 169, 143),
        C(K::GroupBox, S, "Stillo Controls", 515, 107, 151, 95),
        C(K::GroupBox, S, "Mode", 525, 156, 61, 42),
        C(K::GroupBox, S, "Brush", 595, 156, 61, 42),
        C(K::Label, S, "Input Filename", 12, 26, 47, 8),
        C(K::Label, S, "Current Frame", 14, 84, 45, 8),
        C(K::Label, S, "Start Frame", 14, 112, 37, 8),
        C(K::Label, S, "End Frame", 14, 141, 35, 8),
        C(K::Label, S, "Frame Step", 536, 125, 37, 8),
        C(K::Label, S, "Zoom", 421, 192, 19, 8),
        C(K::Edit, IDC_FILENAME, "", 68, 24, 103, 14),
        C(K::Edit, IDC_CURRENT_FRAME, "", 67, 82, 40, 14),
        C(K::Edit, IDC_START_FRAME, "", 67, 110, 40, 14),
        C(K::Edit, IDC_END_FRAME, "", 67, 138, 40, 14),
        C(K::PushButton, IDC_SET_START, "Set Frame", 112, 110, 50, 14),
        C(K::PushButton, IDC_SET_END, "Set Frame", 112, 139, 50, 14),
        C(K::PushButton, IDC_SNAPIT, "Snap It", 24, 172, 62, 16),
        C(K::PushButton, IDC_STOP, "Stop", 100, 172, 62, 16),
        C(K::Picture, IDC_FRAME_PICTURE, "", 207, 11, 20, 20),
        C(K::Picture, IDC_RESULTS_PICTURE, "", 417, 14, 20, 20),
        C(K::Picture, IDC_MOSAIC_PICTURE, "", 16, 216, 15, 13),
        C(K::Edit, IDC_FRAME_STEP, "", 579, 122, 22, 14),
        C(K::UpDown, IDC_STEP_SPIN, "Spin1", 600, 122, 11, 14),
        C(K::AutoRadio, IDC_EDGES, "Edges", 534, 168, 36, 10, ui::WS_GROUP),
        C(K::AutoRadio, IDC_REGIONS, "Regions", 534, 182, 42, 10),
        C(K::Trackbar, IDC_FRAME_SLIDER, "Slider1", 191, 177, 212, 24),
        C(K::PushButton, IDC_PAUSE, "", 285, 161, 23, 14, ui::NO_TABSTOP),
        C(K::PushButton, IDC_STEP_FORWARDS, "", 316, 161, 23, 14),
        C(K::PushButton, IDC_STEP_BACKWARDS, "", 254, 161, 23, 14),
        C(K::PushButton, IDC_PLAY_BACKWARDS, "", 223, 161, 23, 14),
        C(K::PushButton, IDC_PLAY, "", 347, 161, 23, 14),
        C(K::PushButton, IDC_PLAY_FASTER, "", 379, 161, 23, 14),
        C(K::PushButton, IDC_REWIND_FASTER, "", 192, 161, 23, 14),
        C(K::PushButton, IDC_LOGO, "", 416, 112, 93, 70, ui::WS_DISABLED),
        C(K::VScroll, IDC_MOSAIC_VSCROLL, "", 656, 208, 10, 192),
        C(K::HScroll, IDC_MOSAIC_HSCROLL, "", 7, 401, 648, 11),
        C(K::UpDown, IDC_ZOOM_SPIN, "Spin2", 447, 189, 10, 14),
        C(K::Edit, IDC_ZOOM, "", 457, 189, 40, 14),
        C(K::PushButton, IDC_HIDDEN_CANCEL, "Button1", 142, 321, 50, 14,
          ui::WS_HIDDEN | ui::WS_DISABLED),
        C(K::AutoCheck, IDC_BLEND, "Blend", 536, 141, 34, 10),
        C(K::AutoRadio, IDC_THICK, "Thick", 606, 168, 34, 10, ui::WS_GROUP),
        C(K::AutoRadio, IDC_THIN, "Thin", 606, 182, 30, 10),
    };
    return t;
}

CWorkView::CWorkView(QWidget* pParent) : QWidget(pParent) {
    if (!g_pMainFrame) {
        g_pMainFrame = &m_ownState;
    }
    m_fnExit = [](int code) { std::exit(code); };
    ui::BuildControls(this, Template(),
                      CBtnST::Factory({IDC_SNAPIT, IDC_STOP, IDC_PAUSE, IDC_STEP_FORWARDS,
                                       IDC_STEP_BACKWARDS, IDC_PLAY_BACKWARDS, IDC_PLAY,
                                       IDC_PLAY_FASTER, IDC_REWIND_FASTER, IDC_LOGO}));
    auto btn = [this](int id) { return dynamic_cast<CBtnST*>(ui::FindControl(this, id)); };
    m_editFileName = ui::FindControlAs<QLineEdit>(this, IDC_FILENAME);
    m_editCurrentFrame = ui::FindControlAs<QLineEdit>(this, IDC_CURRENT_FRAME);
    m_radEdges = ui::FindControlAs<QRadioButton>(this, IDC_EDGES);
    m_radRegions = ui::FindControlAs<QRadioButton>(this, IDC_REGIONS);
    m_radThick = ui::FindControlAs<QRadioButton>(this, IDC_THICK);
    m_radThin = ui::FindControlAs<QRadioButton>(this, IDC_THIN);
    m_chkBlend = ui::FindControlAs<QCheckBox>(this, IDC_BLEND);
    m_btnSetStart = ui::FindControlAs<QPushButton>(this, IDC_SET_START);
    m_btnSetEnd = ui::FindControlAs<QPushButton>(this, IDC_SET_END);
    m_btnSnapIt = btn(IDC_SNAPIT);
    m_btnStop = btn(IDC_STOP);
    m_btnPause = btn(IDC_PAUSE);
    m_btnPlay = btn(IDC_PLAY);
    m_btnPlayBackwards = btn(IDC_PLAY_BACKWARDS);
    m_btnPlayFaster = btn(IDC_PLAY_FASTER);
    m_btnRewindFaster = btn(IDC_REWIND_FASTER);
    m_btnStepForwards = btn(IDC_STEP_FORWARDS);
    m_btnStepBackwards = btn(IDC_STEP_BACKWARDS);
    m_btnLogo = btn(IDC_LOGO);
    m_spinStep = ui::FindControlAs<ui::UpDown>(this, IDC_STEP_SPIN);
    m_spinZoom = ui::FindControlAs<ui::UpDown>(this, IDC_ZOOM_SPIN);
    m_scrollH = ui::FindControlAs<QScrollBar>(this, IDC_MOSAIC_HSCROLL);
    m_scrollV = ui::FindControlAs<QScrollBar>(this, IDC_MOSAIC_VSCROLL);
    m_sliderFrame = ui::FindControlAs<ui::Trackbar>(this, IDC_FRAME_SLIDER);
    m_picFrame = ui::FindControlAs<ui::PictureControl>(this, IDC_FRAME_PICTURE);
    m_picMosaic = ui::FindControlAs<ui::PictureControl>(this, IDC_MOSAIC_PICTURE);
    m_picResults = ui::FindControlAs<ui::PictureControl>(this, IDC_RESULTS_PICTURE);

    auto onClick = [this](QPushButton* b, void (CWorkView::*fn)()) {
        if (b) {
            connect(b, &QPushButton::clicked, this, [this, fn] { (this->*fn)(); });
        }
    };
    onClick(m_btnRewindFaster, &CWorkView::OnRewindFaster);
    onClick(m_btnPlayBackwards, &CWorkView::OnPlayBackwards);
    onClick(m_btnStepBackwards, &CWorkView::OnStepBackwards);
    onClick(m_btnPause, &CWorkView::OnPause);
    onClick(m_btnStepForwards, &CWorkView::OnStepForwards);
    onClick(m_btnPlay, &CWorkView::OnPlay);
    onClick(m_btnPlayFaster, &CWorkView::OnPlayFaster);
    onClick(m_btnSetStart, &CWorkView::OnSetStartFrame);
    onClick(m_btnSetEnd, &CWorkView::OnSetEndFrame);
    onClick(m_btnSnapIt, &CWorkView::OnSnapIt);
    onClick(m_btnStop, &CWorkView::OnStop);
    connect(m_radEdges, &QRadioButton::clicked, this, [this] { OnEdges(); });
    connect(m_radRegions, &QRadioButton::clicked, this, [this] { OnRegions(); });
    connect(m_radThick, &QRadioButton::clicked, this, [this] { OnThick(); });
    connect(m_radThin, &QRadioButton::clicked, this, [this] { OnThin(); });
    connect(m_chkBlend, &QCheckBox::clicked, this, [this] { OnBlend(); });
    connect(m_sliderFrame, &QSlider::valueChanged, this, [this](int v) { OnSliderMoved(v); });
    connect(m_spinZoom, &ui::UpDown::Scrolled, this, [this](int p) { OnZoomSpin(p); });
    connect(m_spinStep, &ui::UpDown::Scrolled, this, [this](int p) { OnStepSpin(p); });
    connect(m_scrollH, &QScrollBar::valueChanged, this, [this](int v) { OnScrollH(v); });
    connect(m_scrollV, &QScrollBar::valueChanged, this, [this](int v) { OnScrollV(v); });
    m_scrollH->setSingleStep(1);
    m_scrollH->setPageStep(5);
    m_scrollV->setSingleStep(1);
    m_scrollV->setPageStep(5);
    // The mosaic picture passes its mouse input through to the form.
    setMouseTracking(true);
    m_picMosaic->setMouseTracking(true);
    installEventFilter(this);
    // The crop box's cursors show on the form, the widget under the pointer over the picture.
    ui::SetCursorTarget(this);
    ui::SetCursor(ui::CursorKind::Arrow);
}

CWorkView::~CWorkView() {
    StopWorker();
    // The source goes before the buffers it borrows.
    m_pGrabber.reset();
    if (g_pMainFrame == &m_ownState) {
        g_pMainFrame = nullptr;
    }
}

void CWorkView::StopWorker() {
    m_worker.Stop();
}

void CWorkView::SetEditInt(int id, int value) {
    if (auto* e = ui::FindControlAs<QLineEdit>(this, id)) {
        e->setText(QString::number(value));
    }
}

void CWorkView::ShowPicture(ui::PictureControl* pic, const QImage& img) {
    if (pic) {
        pic->SetBitmap(img);
    }
}

bool CWorkView::OnInitDialog() {
    m_bMosaicDone = 0;
    m_strInstallFolder = QString::fromStdString(sys::InstallFolder());
    SetUpRunControls();
    SetUpImageButtons();
    MakePictures();
    MakeVideoSource();
    SetUpViewsAndDialogs();
    StartWorker();
    return ProbeVideo();
}

void CWorkView::SetUpRunControls() {
    m_radEdges->setChecked(false);
    m_radRegions->setChecked(true);
    m_chkBlend->setChecked(false);
    m_radThick->setChecked(m_mosaicer.GetThickBrush() != 0);
    m_radThin->setChecked(m_mosaicer.GetThickBrush() == 0);
    m_spinZoom->SetRange(1, 12);
    m_spinZoom->SetPos(12);
    m_spinStep->SetRange(1, 12);
    m_spinStep->SetPos(1);
}

void CWorkView::SetUpImageButtons() {
    struct Icons {
        CBtnST* b;
        int in, out;
        const char* tip;
    } icons[] = {
        {m_btnSnapIt, IDI_SNAPIT_IN, IDI_SNAPIT_OUT, IDS_TIP_SNAPIT},
        {m_btnStop, IDI_STOP_IN, IDI_STOP_OUT, IDS_TIP_STOP},
        {m_btnPause, IDI_PAUSE_IN, IDI_PAUSE_OUT, IDS_TIP_PAUSE},
        {m_btnPlay, IDI_PLAY_IN, IDI_PLAY_OUT, IDS_TIP_PLAY},
        {m_btnPlayBackwards, IDI_PLAYBACK_IN, IDI_PLAYBACK_OUT, IDS_TIP_PLAYBACK},
        {m_btnPlayFaster, IDI_PLAYFAST_IN, IDI_PLAYFAST_OUT, IDS_TIP_PLAYFAST},
        {m_btnRewindFaster, IDI_REWINDFAST_IN, IDI_REWINDFAST_OUT, IDS_TIP_REWINDFAST},
        {m_btnStepForwards, IDI_STEPFWD_IN, IDI_STEPFWD_OUT, IDS_TIP_STEPFWD},
        {m_btnStepBackwards, IDI_STEPBACK_IN, IDI_STEPBACK_OUT, IDS_TIP_STEPBACK},
    };
    for (const auto& i : icons) {
        i.b->SetIcon(i.in, i.out);
        i.b->SetTooltipText(QString::fromLatin1(i.tip), true);
    }
    m_btnSnapIt->SetFlat(false, true);
    m_btnStop->SetFlat(false, true);
}

void CWorkView::MakePictures() {
    // The pictures take the screen's form: 16-bit 5-6-5 on a 16-bit screen, 32-bit otherwise.
    if (m_nForcedBytesPerPixel == screen::kBytes565 || m_nForcedBytesPerPixel == screen::kBytes32) {
        m_nScreenBytesPerPixel = m_nForcedBytesPerPixel;
    } else {
        const QScreen* screen = QGuiApplication::primaryScreen();
        m_nScreenBytesPerPixel = ScreenBytesPerPixel(screen ? screen->depth() : 32);
    }
    const QImage::Format form =
        m_nScreenBytesPerPixel == screen::kBytes565 ? QImage::Format_RGB16 : QImage::Format_RGB32;
    m_bmpFrameWork = QImage(screen::kPreviewWidth, screen::kPreviewHeight, form);
    m_bmpMosaicWork = QImage(kMosaicW, kMosaicH, form);
    m_bmpResultsWork = QImage(kResultsW, kResultsH, form);
    for (QImage* img : {&m_bmpFrameWork, &m_bmpMosaicWork, &m_bmpResultsWork}) {
        img->fill(Qt::black);
    }
    m_bmpFrameShown = m_bmpFrameWork.copy();
    m_bmpMosaicShown = m_bmpMosaicWork.copy();
    m_bmpResultsShown = m_bmpResultsWork.copy();
    ShowPicture(m_picFrame, m_bmpFrameShown);
    ShowPicture(m_picMosaic, m_bmpMosaicShown);
    ShowPicture(m_picResults, m_bmpResultsShown);
}

void CWorkView::MakeVideoSource() {
    if (m_pGrabber) {
        return;
    }
    m_previewBuffer.assign(framebuffer::kLentBytes, 0);
    m_frameBuffer.assign(framebuffer::kLentBytes, 0);
    // The source replaces a buffer that is too small for a video with storage of its own.
    m_pGrabber = std::make_unique<CVideoGrabber>(m_previewBuffer.data(), m_frameBuffer.data(),
                                                 m_nScreenBytesPerPixel, m_previewBuffer.size(),
                                                 m_frameBuffer.size());
}

void CWorkView::SetUpViewsAndDialogs() {
    m_btnStop->setDown(false);
    m_btnStop->setEnabled(false);
    SetScrollBars(0, 0);

    m_pImageTrimDlg = new CImageTrimDlg(this, [this] { RedrawFramePreview(); });
    m_pOutputSettings = new COutputSettings(this, [this] { RedrawMosaicView(); });
    m_pDeinterlacing = new CDeinterlacing(this);

    ShowZoom();
    SetEditInt(IDC_FRAME_STEP, m_nFrameStep);
    RedrawFramePreview();
    m_pResizeBox = std::make_unique<CResizeBox>();
}

void CWorkView::StartWorker() {
    m_worker.Start({
        [] { return g_pMainFrame && g_pMainFrame->m_bRunning; },
        [this] { return FrameDue(); },
        [this] { return m_bSnapping != 0; },
        [this] { return WorkerPass(); },
        [this](CWorkerThread::Pass) {
            PostUpdate();
            if (m_fnAfterFrame) {
                m_fnAfterFrame();
            }
        },
    });
}

bool CWorkView::ProbeVideo() {
    const QString probe = m_strInstallFolder + QStringLiteral("vantor.AVI");
    if (!LoadVideo(probe, probe)) {
        ui::MessageBox(this,
                       QStringLiteral("Try Installing DirectX 9.0 Redistributeable\n") + kWebLine,
                       QStringLiteral("Error"), ui::MsgIcon::None);
        StopWorker();
        m_fnExit(1);
        return false;
    }
    m_editFileName->setText(QStringLiteral(" "));
    g_pMainFrame->m_bVideoLoaded = 0;
    return true;
}

void CWorkView::ShowZoom() {
    ui::FindControlAs<QLineEdit>(this, IDC_ZOOM)
        ->setText(QString::asprintf("%.02f", 1.0 / m_fZoom));
}

WorkViewLink CWorkView::Link() {
    WorkViewLink link;
    link.isSnapping = [this] { return m_bSnapping != 0; };
    link.canvasExists = [this] { return CanvasExists(); };
    link.loadVideo = [this](const QString& path, const QString& name) {
        return LoadVideo(path, name) != 0;
    };
    link.saveResult = [this] { SaveResult(); };
    link.stopWorker = [this] {
        m_bSnapping = 0;
        StopWorker();
    };
    link.settingsDialog = [this](int id) -> ui::Dialog* {
        switch (id) {
        case IDD_IMAGE_TRIM:
            return m_pImageTrimDlg;
        case IDD_DEINTERLACING:
            return m_pDeinterlacing;
        case IDD_OUTPUT_SETTINGS:
            return m_pOutputSettings;
        default:
            return nullptr;
        }
    };
    link.showLogo = [this] { ShowLogo(); };
    return link;
}

bool CWorkView::CanvasExists() const {
    return m_mosaicer.m_canvas.bRowsACurrent != 0 || m_mosaicer.m_canvas.bRowsBCurrent != 0;
}

void CWorkView::ShowLogo() {
    if (m_btnLogo) {
        m_btnLogo->m_bDisabledLook = 0;
        m_btnLogo->SetBitmaps(IDB_LOGO, LOGO_TRANSPARENT_COLOR);
        m_btnLogo->DrawTransparent(false);
    }
}

int CWorkView::LoadVideo(const QString& path, const QString& fileName) {
    auto lock = m_worker.InterfaceLock();
    // The source opens the new file beside the one it has and lets that go only once the new
    // one is usable; the form likewise changes nothing before then, so a file that cannot be
    // used leaves the video shown before loaded, picture, name, range and position as they were.
    const QByteArray local = path.toLocal8Bit();
    int width = 0, height = 0;
    const int count = m_pGrabber->Open(local.constData(), &width, &height, 1,
                                       m_pDeinterlacing ? m_pDeinterlacing->m_nDeinterlace : 0);
    if (count <= 0) {
        // The box comes once the pass lock is given back: the worker would otherwise wait for
        // as long as it stays open.
        lock.unlock();
        ui::MessageBox(this,
                       QStringLiteral("Invalid Media File or Can Not Sample Grab From This Format"),
                       QStringLiteral("Error"), ui::MsgIcon::Exclamation);
        return 0;
    }
    m_nVideoWidth = width;
    m_nVideoHeight = height;
    m_pGrabber->m_nFrameCount = count;
    m_editFileName->setText(fileName);
    // Nothing plays on from the old file's frame numbers.
    m_pGrabber->m_bPlaying = 0;
    std::fill(m_previewBuffer.begin(), m_previewBuffer.end(), 0);
    std::fill(m_frameBuffer.begin(), m_frameBuffer.end(), 0);
    // A source whose frames outgrew the lent frame buffer writes into storage of its own: that
    // goes too, or the last video's frame would stay in it.
    std::fill_n(m_pGrabber->FrameBuffer(), m_pGrabber->FrameBufferBytes(), 0);
    m_pGrabber->m_nStartFrame = 1;
    m_pGrabber->m_nEndFrame = count - 1;
    GrabShown(1, 0);
    g_pMainFrame->m_bVideoLoaded = 1;
    SetSliderRange(count - 1);
    {
        QSignalBlocker block(m_sliderFrame);
        m_sliderFrame->setValue(1);
    }
    UpdateFrameDisplay();
    return 1;
}

void CWorkView::GrabShown(int frame, int bDoFullFrame) {
    const int shown = m_pGrabber->m_nCurrentFrame;
    const float scale = CVideoGrabber::PreviewScale(m_nVideoWidth, m_nVideoHeight);
    if (m_pGrabber->GrabFrame(frame, scale, 1, bDoFullFrame)) {
        return;
    }
    // A file that ends before the frame: the failed grab lowered the count to the real one.
    const int last = m_pGrabber->m_nFrameCount - 1;
    if (last >= 0 && last != frame && m_pGrabber->GrabFrame(last, scale, 1, bDoFullFrame)) {
        return;
    }
    // Nothing came: the picture is still the one shown before.
    m_pGrabber->m_nCurrentFrame = shown;
}

void CWorkView::SetSliderRange(int endFrame) {
    QSignalBlocker block(m_sliderFrame);
    // A file of one frame has only frame 0 to show.
    const int first = endFrame > 0 ? 1 : 0;
    m_sliderFrame->setRange(first, std::max(first, endFrame));
    m_sliderFrame->ClearTics();
    for (int t : SliderTicks(endFrame)) {
        m_sliderFrame->SetTic(t);
    }
}

void CWorkView::TakeRealFrameCount() {
    // The source lowers its count when the file ends before the count its header announced:
    // the range, the chosen frames and the slider follow it.
    const int count = m_pGrabber->m_nFrameCount;
    if (count <= 0 || !g_pMainFrame->m_bVideoLoaded || m_sliderFrame->maximum() <= count - 1) {
        return;
    }
    m_pGrabber->m_nEndFrame = std::min<int>(m_pGrabber->m_nEndFrame, count - 1);
    m_pGrabber->m_nStartFrame = std::min<int>(m_pGrabber->m_nStartFrame, count - 1);
    SetSliderRange(count - 1);
}

void CWorkView::EnableControls(bool bEnable) {
    for (QWidget* w : std::initializer_list<QWidget*>{
             m_btnPause, m_btnPlay, m_btnPlayBackwards, m_btnPlayFaster, m_btnRewindFaster,
             m_btnStepBackwards, m_btnStepForwards, m_sliderFrame, m_spinStep, m_btnSetStart,
             m_btnSetEnd, m_radEdges, m_radRegions, m_chkBlend, m_radThick, m_radThin}) {
        w->setEnabled(bEnable);
    }
}

// ---- transport -------------------------------------------------------------------------------

namespace {

// What each transport button does: the playing flag it leaves, the step it sets (a faster one
// doubles the step before, in its direction) and whether it steps to a frame at once.
struct TransportButton {
    int id;
    int playing;
    int step;
    bool faster;
    bool stepNow;
};
constexpr TransportButton kTransport[] = {
    {IDC_REWIND_FASTER, 1, -1, true, false},  {IDC_PLAY_BACKWARDS, 1, -1, false, false},
    {IDC_STEP_BACKWARDS, 0, -1, false, true}, {IDC_PAUSE, 0, 1, false, false},
    {IDC_STEP_FORWARDS, 0, 1, false, true},   {IDC_PLAY, 1, 1, false, false},
    {IDC_PLAY_FASTER, 1, 1, true, false},
};

} // namespace

void CWorkView::Transport(int buttonId) {
    const auto* t = std::find_if(std::begin(kTransport), std::end(kTransport),
                                 [buttonId](const TransportButton& b) { return b.id == buttonId; });
    if (t == std::end(kTransport) || !g_pMainFrame->m_bVideoLoaded) {
        return;
    }
    // A step grabs a frame on this thread: never beside a pass of the worker.
    std::unique_lock<std::mutex> lock;
    if (t->stepNow) {
        lock = m_worker.InterfaceLock();
    }
    m_pGrabber->m_bPlaying = t->playing;
    m_pGrabber->m_nStep =
        t->faster ? FasterStep(m_pGrabber->m_nStep, m_pGrabber->m_nFrameCount, t->step < 0)
                  : t->step;
    if (t->stepNow) {
        m_pGrabber->StepFrame();
        UpdateFrameDisplay();
    }
}

void CWorkView::OnRewindFaster() {
    Transport(IDC_REWIND_FASTER);
}
void CWorkView::OnPlayBackwards() {
    Transport(IDC_PLAY_BACKWARDS);
}
void CWorkView::OnStepBackwards() {
    Transport(IDC_STEP_BACKWARDS);
}
void CWorkView::OnPause() {
    Transport(IDC_PAUSE);
}
void CWorkView::OnStepForwards() {
    Transport(IDC_STEP_FORWARDS);
}
void CWorkView::OnPlay() {
    Transport(IDC_PLAY);
}
void CWorkView::OnPlayFaster() {
    Transport(IDC_PLAY_FASTER);
}

void CWorkView::OnSetStartFrame() {
    m_pGrabber->m_nStartFrame = m_pGrabber->m_nCurrentFrame.load();
    SetEditInt(IDC_START_FRAME, m_pGrabber->m_nStartFrame);
}
void CWorkView::OnSetEndFrame() {
    m_pGrabber->m_nEndFrame = m_pGrabber->m_nCurrentFrame.load();
    SetEditInt(IDC_END_FRAME, m_pGrabber->m_nEndFrame);
}

void CWorkView::OnEdges() {
    m_radEdges->setChecked(true);
    m_radRegions->setChecked(false);
    m_mosaicer.SetFeatureMode(kFeatureEdges);
}
void CWorkView::OnRegions() {
    m_radRegions->setChecked(true);
    m_radEdges->setChecked(false);
    m_mosaicer.SetFeatureMode(kFeatureRegions);
}
void CWorkView::OnBlend() {
    m_mosaicer.SetBlend(1 - m_mosaicer.GetBlend());
    m_chkBlend->setChecked(m_mosaicer.GetBlend() != 0);
}
void CWorkView::OnThick() {
    m_mosaicer.SetThickBrush(1);
    m_radThick->setChecked(true);
    m_radThin->setChecked(false);
}
void CWorkView::OnThin() {
    m_mosaicer.SetThickBrush(0);
    m_radThick->setChecked(false);
    m_radThin->setChecked(true);
}

void CWorkView::OnClose() {
    g_pMainFrame->m_bRunning = 0;
}
void CWorkView::closeEvent(QCloseEvent* event) {
    OnClose();
    StopWorker();
    QWidget::closeEvent(event);
}

void CWorkView::OnSliderMoved(int position) {
    if (!g_pMainFrame->m_bVideoLoaded) {
        return;
    }
    auto lock = m_worker.InterfaceLock();
    m_pGrabber->m_bPlaying = 0;
    m_pGrabber->m_nStep = 1;
    // The frame at the slider's own position, not the one after it.
    GrabShown(position, 1);
    UpdateFrameDisplay();
}

void CWorkView::OnZoomSpin(int position) {
    const ZoomResult r = ZoomAbout(m_nScrollX, m_nScrollY, m_fZoom, position);
    m_fZoom = r.zoom;
    ShowZoom();
    m_nScrollX = r.scrollX;
    m_nScrollY = r.scrollY;
    RenderMosaicView(m_nScrollX, m_nScrollY, m_fZoom);
    RedrawResultsPreview();
}

void CWorkView::OnStepSpin(int position) {
    m_nFrameStep = position;
    SetEditInt(IDC_FRAME_STEP, position);
}

void CWorkView::OnScrollH(int position) {
    m_nScrollX = position;
    RenderMosaicView(m_nScrollX, m_nScrollY, m_fZoom);
    RedrawResultsPreview();
}
void CWorkView::OnScrollV(int position) {
    m_nScrollY = position;
    RenderMosaicView(m_nScrollX, m_nScrollY, m_fZoom);
    RedrawResultsPreview();
}

// ---- the run ---------------------------------------------------------------------------------

void CWorkView::OnSnapIt() {
    if (!g_pMainFrame->m_bVideoLoaded) {
        ui::MessageBox(this, QStringLiteral("Source Video Required"), QStringLiteral("Info"));
        return;
    }
    // The refusals are shown once the pass lock is given back: the worker would otherwise
    // wait for as long as the box stays open.
    switch (StartRun()) {
    case RunRefusal::None:
        break;
    case RunRefusal::FrameRange:
        ui::MessageBox(this,
                       QStringLiteral("End Frame Less Or Equal To Start Frame! \n Please Modify"),
                       QStringLiteral("Info"));
        break;
    case RunRefusal::EngineInit:
        ui::MessageBox(this,
                       QStringLiteral("Can Not Start Stillo: the frame or its trim window is not "
                                      "usable, or memory ran out"),
                       QStringLiteral("Error"));
        break;
    }
}

CWorkView::RunRefusal CWorkView::StartRun() {
    auto lock = m_worker.InterfaceLock();
    int w = m_nVideoWidth, h = m_nVideoHeight;
    // The frames come in the mode the video was opened with: a reload that failed after the
    // mode was changed left the video open in its old one.
    if (m_pGrabber->m_callback.m_bHalfSize) {
        w /= 2;
        h /= 2;
    }
    const TrimWindow tw =
        FrameTrimWindow(w, h, m_pImageTrimDlg->m_nTrimTop, m_pImageTrimDlg->m_nTrimBottom,
                        m_pImageTrimDlg->m_nTrimLeft, m_pImageTrimDlg->m_nTrimRight);
    m_pGrabber->m_bPlaying = 0;
    const int start = m_pGrabber->m_nStartFrame, end = m_pGrabber->m_nEndFrame;
    if (start >= end) {
        return RunRefusal::FrameRange;
    }
    m_pGrabber->m_nStep = m_nFrameStep;
    m_pGrabber->m_nCurrentFrame = start;
    if (!m_mosaicer.Init("c:", w, h, tw.rowStart, tw.rowEnd, tw.colStart, tw.colEnd, end - start,
                         kPixelBgr24)) {
        return RunRefusal::EngineInit;
    }
    // A Stop pressed after the previous run's last poll must not end this one.
    m_worker.ClearStopRequest();
    m_bMosaicDone = 0;
    m_nFramesProcessed = 0;
    m_runEnd = RunEnd::None;
    m_bLimitReached = 0;
    EnableControls(false);
    // Disabling a button drops its pressed look: the look is set after.
    m_btnSnapIt->setEnabled(false);
    m_btnSnapIt->SetState(true);
    m_btnStop->setEnabled(true);
    m_btnStop->SetState(false);
    m_nScrollX = m_nScrollY = 0;
    m_bSnapping = 1;
    m_pGrabber->m_bPlaying = 1;
    return RunRefusal::None;
}

void CWorkView::OnStop() {
    m_worker.RequestStop();
}

CWorkView::RunEnd CWorkView::RunStep() {
    const uint8_t* bits = m_pGrabber->FrameBuffer();
    const size_t bytes = m_pGrabber->FrameBufferBytes();
    bool stop = false;
    bool fileEnds = false;
    if (m_nFramesProcessed == 0) {
        if (!m_mosaicer.AddFrame(bits, bytes)) {
            return RunEnd::Failed;
        }
        fileEnds = !m_pGrabber->NextStepDelivers();
    } else {
        m_mosaicer.NextFrame();
        if (!m_mosaicer.AddFrame(bits, bytes)) {
            return RunEnd::Failed;
        }
        stop = m_worker.TakeStopRequest();
        // The worker knows before composing whether this frame ends the run; the engine, which
        // counts frames rather than steps, would not see it with a step above 1, the limit, or
        // a file that ends before its announced count.
        const bool last = stop || m_pGrabber->m_nCurrentFrame >= m_pGrabber->m_nEndFrame ||
                          m_nFramesProcessed + 1 > m_nMaxFrames ||
                          (fileEnds = !m_pGrabber->NextStepDelivers());
        const int r = m_mosaicer.Compose(
            stop ? m_pGrabber->m_nEndFrame.load() : m_nFramesProcessed.load(), last);
        if (r == kComposeFailed) {
            return RunEnd::Failed;
        }
    }
    const int frames = ++m_nFramesProcessed;
    if (frames > m_nMaxFrames) {
        m_bLimitReached = 1;
    }
    if (m_pGrabber->m_nCurrentFrame >= m_pGrabber->m_nEndFrame || stop || frames > m_nMaxFrames ||
        fileEnds) {
        return RunEnd::Finished;
    }
    return RunEnd::None;
}

bool CWorkView::FrameDue() const {
    return m_pGrabber->m_bPlaying && g_pMainFrame->m_bVideoLoaded;
}

CWorkerThread::Pass CWorkView::WorkerPass() {
    if (!FrameDue()) {
        return CWorkerThread::Pass::Idle;
    }
    const int delivered = m_pGrabber->StepFrame();
    if (!m_bSnapping) {
        return CWorkerThread::Pass::Played;
    }
    // A grab that brought no picture ends the run at the last frame that came: the engine is
    // never fed the previous frame again.
    const RunEnd end = delivered ? RunStep() : RunEnd::Finished;
    if (end != RunEnd::None) {
        m_bSnapping = 0;
        m_pGrabber->m_bPlaying = 0;
        m_runEnd = end;
    }
    return CWorkerThread::Pass::Snapped;
}

void CWorkView::PostUpdate() {
    if (m_bUpdatePosted.exchange(true) && m_runEnd == RunEnd::None) {
        return;
    }
    QMetaObject::invokeMethod(
        this, [this] { OnWorkerUpdate(); }, Qt::QueuedConnection);
}

bool CWorkView::DeferLiveRender() {
    const auto now = std::chrono::steady_clock::now();
    const auto due = m_lastLiveRender + std::chrono::milliseconds(m_nLiveRenderIntervalMs);
    if (now >= due) {
        m_lastLiveRender = now;
        return false;
    }
    // m_bUpdatePosted stays set meanwhile, so the worker posts nothing more but a run's end.
    if (!m_bLiveRenderDeferred) {
        m_bLiveRenderDeferred = true;
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - now);
        QTimer::singleShot(wait, this, [this] {
            m_bLiveRenderDeferred = false;
            OnWorkerUpdate();
        });
    }
    return true;
}

void CWorkView::OnWorkerUpdate() {
    // A run's last picture and its end are never put off.
    if (m_bSnapping && m_runEnd == RunEnd::None && DeferLiveRender()) {
        return;
    }
    m_bUpdatePosted = false;
    RunEnd end = RunEnd::None;
    {
        auto lock = m_worker.InterfaceLock();
        // The run's end is taken with the pictures, under the lock: taken after it, a run that
        // ended in between would be finished on a picture one frame short. One that ends after
        // this update posts another.
        end = m_runEnd.exchange(RunEnd::None);
        UpdateFrameDisplay();
        if (m_bSnapping || end != RunEnd::None) {
            RenderMosaicView(m_nScrollX, m_nScrollY, m_fZoom);
            RenderResultsPreview();
            RedrawResultsPreview();
        }
    }
    if (end != RunEnd::None) {
        FinishMosaic(end == RunEnd::Failed, m_bLimitReached.exchange(0) != 0);
    }
}

void CWorkView::FinishMosaic(bool failed, bool limitReached) {
    {
        ui::WaitCursor wait;
        // The run shows as ended before its message comes up.
        m_btnSnapIt->setEnabled(true);
        m_btnSnapIt->SetState(false);
        m_btnStop->setEnabled(false);
        m_btnStop->SetState(true);
        if (failed) {
            ui::MessageBox(
                this, QStringLiteral("Stillo stopped: a frame could not be registered or painted"),
                QStringLiteral("Error"));
        }
        ui::MessageBox(this, QStringLiteral("Mosaic Complete"), QStringLiteral("Done"));
        m_pResizeBox->Init(m_mosaicer.m_canvas.nCols, m_mosaicer.m_canvas.nRows);
        m_bMosaicDone = 1;
        RedrawMosaicView();
        EnableControls(true);
    }
    if (limitReached) {
        ui::MessageBox(this, QStringLiteral("Max allowable frames reached.\n") + kWebLine,
                       QStringLiteral("Error"));
    }
}

void CWorkView::SaveResult() {
    if (!m_bMosaicDone) {
        return;
    }
    ui::WaitCursor wait;
    const QString path = g_pMainFrame->m_strOutputPathName;
    if (QFileInfo::exists(path) &&
        ui::MessageBox(this, QStringLiteral("File exists. Overwrite?"),
                       QStringLiteral("File Exists"), ui::MsgIcon::Exclamation,
                       ui::MsgButtons::YesNo) != ui::IDYES) {
        return;
    }
    QByteArray local = path.toLocal8Bit();
    int ok = 0;
    int cause = 0;
    {
        auto lock = m_worker.InterfaceLock();
        const CResizeBox& b = *m_pResizeBox;
        errno = 0;
        ok = m_mosaicer.Save(b.m_nLeft, b.m_nTop, b.m_nRight - b.m_nLeft, b.m_nBottom - b.m_nTop,
                             m_pOutputSettings->m_nQuality, local.data());
        // The saver leaves the cause of a failure in errno.
        cause = errno;
    }
    ui::MessageBox(this,
                   ok ? QStringLiteral("Jpeg Stored OK")
                      : QStringLiteral("Jpeg File Write Failure\n ") + WriteFailureCause(cause),
                   QStringLiteral("Storage Message"));
}

// ---- rendering -------------------------------------------------------------------------------

void CWorkView::UpdateFrameDisplay() {
    TakeRealFrameCount();
    const uint8_t* src = m_pGrabber ? m_pGrabber->PreviewBuffer() : nullptr;
    const int b = PictureBytesPerPixel(m_bmpFrameWork);
    // The source writes its preview in the form it was made with, the picture's own.
    constexpr int W = screen::kPreviewWidth, H = screen::kPreviewHeight;
    if (src && !m_bmpFrameWork.isNull() && m_pGrabber->m_callback.m_nPreviewBytesPerPixel == b &&
        m_pGrabber->PreviewBufferBytes() >= size_t(b) * W * H) {
        sampling::ShowPreview(src, ptrdiff_t(b) * W, PictureLines(m_bmpFrameWork));
    }
    SetEditInt(IDC_CURRENT_FRAME, m_pGrabber->m_nCurrentFrame);
    SetEditInt(IDC_START_FRAME, m_pGrabber->m_nStartFrame);
    SetEditInt(IDC_END_FRAME, m_pGrabber->m_nEndFrame);
    {
        QSignalBlocker block(m_sliderFrame);
        m_sliderFrame->setValue(m_pGrabber->m_nCurrentFrame);
    }
    RedrawFramePreview();
}

void CWorkView::RedrawFramePreview() {
    m_bmpFrameShown = m_bmpFrameWork.copy();
    DrawTrimOverlay(m_bmpFrameShown);
    ShowPicture(m_picFrame, m_bmpFrameShown);
}

void CWorkView::DrawTrimOverlay(QImage& bitmap) {
    const int W = m_pGrabber ? m_pGrabber->m_callback.m_nWidth : 0;
    const int H = m_pGrabber ? m_pGrabber->m_callback.m_nHeight : 0;
    if (W <= 0 || H <= 0 || !m_pImageTrimDlg) {
        return;
    }
    const Rect r = TrimOverlay(W, H, m_pImageTrimDlg->m_nTrimTop, m_pImageTrimDlg->m_nTrimBottom,
                               m_pImageTrimDlg->m_nTrimLeft, m_pImageTrimDlg->m_nTrimRight);
    ui::ClosedOutline(bitmap, r.left, r.top, r.right, r.bottom, kOverlayYellow);
}

void CWorkView::SetScrollBars(int nRows, int nCols) {
    QSignalBlocker bv(m_scrollV), bh(m_scrollH);
    m_scrollV->setRange(0, std::max(0, static_cast<int>(nRows / m_fZoom)));
    m_scrollV->setValue(m_nScrollY);
    m_scrollH->setRange(0, std::max(0, static_cast<int>(nCols / m_fZoom)));
    m_scrollH->setValue(m_nScrollX);
    // The bars clamp: keep the scroll the view actually shows.
    m_nScrollY = m_scrollV->value();
    m_nScrollX = m_scrollH->value();
}

void CWorkView::RenderMosaicView(int sx, int sy, float z) {
    std::unique_lock<std::recursive_mutex> canvasLock(g_hCanvasMutex, std::try_to_lock);
    if (!canvasLock.owns_lock()) {
        return;
    }
    const MOSAIC_PARAMS& c = m_mosaicer.m_canvas;
    m_bmpMosaicWork.fill(Qt::black);
    SetScrollBars(c.nRows, c.nCols);
    sampling::SampleMosaicView(CanvasOf(c), PictureLines(m_bmpMosaicWork), sx, sy, z);
    canvasLock.unlock();
    RedrawMosaicView();
}

void CWorkView::RedrawMosaicView() {
    m_bmpMosaicShown = m_bmpMosaicWork.copy();
    // The box means something only once a run has made a canvas.
    if (m_bMosaicDone && m_pResizeBox) {
        m_pResizeBox->Draw(m_bmpMosaicShown, m_nScrollX, m_nScrollY, m_fZoom);
    }
    ShowPicture(m_picMosaic, m_bmpMosaicShown);
}

void CWorkView::RenderResultsPreview() {
    std::unique_lock<std::recursive_mutex> canvasLock(g_hCanvasMutex, std::try_to_lock);
    if (!canvasLock.owns_lock()) {
        return;
    }
    const MOSAIC_PARAMS& c = m_mosaicer.m_canvas;
    m_bmpResultsWork.fill(Qt::black);
    const ResultsFit fit = FitResults(c.nCols, c.nRows);
    if (fit.scale > 0.0f) {
        sampling::SampleResults(CanvasOf(c), PictureLines(m_bmpResultsWork), fit.scale,
                                fit.yOffset);
    }
}

void CWorkView::RedrawResultsPreview() {
    m_bmpResultsShown = m_bmpResultsWork.copy();
    DrawViewportOverlay(m_bmpResultsShown);
    ShowPicture(m_picResults, m_bmpResultsShown);
}

void CWorkView::DrawViewportOverlay(QImage& bitmap) {
    const ResultsFit fit = FitResults(m_mosaicer.m_canvas.nCols, m_mosaicer.m_canvas.nRows);
    if (fit.scale <= 0.0f) {
        return;
    }
    // Canvas extent of the mosaic view, then preview pixels; the outline is clipped to the
    // picture, so an edge beyond it is not shown. Kept within a range no conversion overflows.
    auto toPreview = [&](float canvasPos) {
        return static_cast<int>(std::clamp(std::trunc(canvasPos / fit.scale), -1.0e6f, 1.0e6f));
    };
    auto canvasPos = [&](int viewPos) { return std::trunc(viewPos * m_fZoom); };
    const int x0 = toPreview(canvasPos(m_nScrollX));
    const int x1 = toPreview(canvasPos(m_nScrollX + kMosaicW));
    const int y0 = toPreview(canvasPos(m_nScrollY)) + fit.yOffset;
    const int y1 = toPreview(canvasPos(m_nScrollY + kMosaicH)) + fit.yOffset;
    ui::ClosedOutline(bitmap, x0, y0, x1, y1, kOverlayYellow);
}

// ---- crop box --------------------------------------------------------------------------------

bool CWorkView::MosaicPoint(const QPoint& picPos, int& cx, int& cy) const {
    const int vx = picPos.x(), vy = picPos.y();
    if (vx <= 0 || vy <= 0 || vx >= kMosaicW || vy >= kMosaicH) {
        return false;
    }
    cx = static_cast<int>((m_nScrollX + vx) * m_fZoom);
    cy = static_cast<int>((m_nScrollY + vy) * m_fZoom);
    return true;
}

bool CWorkView::eventFilter(QObject* watched, QEvent* event) {
    const auto type = event->type();
    if (watched != this || (type != QEvent::MouseButtonPress && type != QEvent::MouseMove &&
                            type != QEvent::MouseButtonRelease)) {
        return QWidget::eventFilter(watched, event);
    }
    auto* me = static_cast<QMouseEvent*>(event);
    const bool boxLive = m_bMosaicDone && m_pResizeBox;
    int cx = 0, cy = 0;
    const bool inside =
        boxLive && MosaicPoint(me->position().toPoint() - m_picMosaic->pos(), cx, cy);
    if (type == QEvent::MouseMove && !(boxLive && m_pResizeBox->m_bDragging)) {
        // Hovering over a handle sets its cursor. A cursor stays until it is set again, so
        // over no handle, and off the picture, the arrow comes back.
        if ((!inside || m_pResizeBox->HitTest(cx, cy, m_fZoom, false) < 0) &&
            ui::CurrentCursor() != ui::CursorKind::Arrow) {
            ui::SetCursor(ui::CursorKind::Arrow);
        }
        return inside;
    }
    if (!boxLive) {
        return QWidget::eventFilter(watched, event);
    }
    if (type == QEvent::MouseButtonRelease) {
        // Only the button that grabs a handle lets it go.
        if (me->button() != Qt::LeftButton) {
            return false;
        }
        m_pResizeBox->EndDrag();
        RedrawMosaicView();
        return true;
    }
    if (!inside) {
        return false;
    }
    if (type == QEvent::MouseButtonPress) {
        if (me->button() != Qt::LeftButton) {
            return true;
        }
        m_pResizeBox->HitTest(cx, cy, m_fZoom, true);
    } else {
        m_pResizeBox->Drag(cx, cy, m_fZoom);
    }
    RedrawMosaicView();
    return true;
}
