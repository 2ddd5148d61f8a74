#include "BtnST.h"

#include "platform/sys/sys.h"
#include "platform/ui/services.h"

#include <QApplication>
#include <QHelpEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>
#include <cstring>

using ui::COLORREF;
using ui::Rect;

namespace {

// The widest line of a tooltip before it wraps.
constexpr int kTipMaxWidth = 400;

// Applies f to every pixel that is not to be kept as it is.
template <class F>
QImage MapPixels(const QImage& image, bool keepBlack, COLORREF keepColor, bool useKeepColor, F f) {
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    QRgb key = ui::ToQRgb(keepColor) & 0xFFFFFF;
    for (int y = 0; y < out.height(); ++y) {
        QRgb* px = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            QRgb rgb = px[x] & 0xFFFFFF;
            if ((keepBlack && rgb == 0) || (useKeepColor && rgb == key)) {
                continue;
            }
            px[x] = f(px[x]);
        }
    }
    return out;
}

} // namespace

QImage GreyImage(const QImage& image, bool keepBlack, COLORREF keepColor, bool useKeepColor) {
    return MapPixels(image, keepBlack, keepColor, useKeepColor, [](QRgb p) {
        int g = static_cast<int>(qGreen(p) * 0.587 + qBlue(p) * 0.114 + qRed(p) * 0.299);
        return qRgba(g, g, g, qAlpha(p));
    });
}

COLORREF DimColor(COLORREF color, double factor) {
    if (!(factor > 0.0 && factor <= 1.0)) {
        return color;
    }
    auto dim = [factor](int v) { return static_cast<int>(v - v * factor); };
    return ui::RGB(dim(ui::GetRValue(color)), dim(ui::GetGValue(color)), dim(ui::GetBValue(color)));
}

QImage DarkerImage(const QImage& image, bool keepBlack, COLORREF keepColor, bool useKeepColor) {
    return MapPixels(image, keepBlack, keepColor, useKeepColor, [](QRgb p) {
        COLORREF c = DimColor(ui::FromQRgb(p), 0.25);
        return qRgba(ui::GetRValue(c), ui::GetGValue(c), ui::GetBValue(c), qAlpha(p));
    });
}

CBtnST::CBtnST(QWidget* parent) : QPushButton(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_Hover, false);
    SetPressedOffsetStyle(BTNST_PRESSED_LEFTRIGHT, false);
    ResetColors(false);
    SetLinkUrl(nullptr);
    connect(this, &QAbstractButton::clicked, this, [this] { OnClicked(); });
}

CBtnST::~CBtnST() = default;

ui::ControlFactory CBtnST::Factory(std::set<int> ids) {
    return [ids = std::move(ids)](const ui::ControlDesc& d, QWidget* parent) -> QWidget* {
        if (!ids.count(d.id) ||
            (d.kind != ui::ControlKind::PushButton && d.kind != ui::ControlKind::DefPushButton)) {
            return nullptr;
        }
        auto* b = new CBtnST(parent);
        b->setText(d.caption);
        b->PreSubclassWindow(d.kind == ui::ControlKind::DefPushButton ? BS_DEFPUSHBUTTON
                                                                      : BS_PUSHBUTTON);
        return b;
    };
}

void CBtnST::PreSubclassWindow(unsigned style) {
    style &= 0xFF;
    m_nButtonType = static_cast<int>(style & BS_TYPEMASK);
    if (style & BS_CHECKBOX) {
        m_bCheckBox = 1;
    }
    if (m_nButtonType == static_cast<int>(BS_DEFPUSHBUTTON)) {
        m_bDefault = 1;
        m_nButtonType = BS_PUSHBUTTON;
    }
    setAutoDefault(true);
    setDefault(m_bDefault != 0);
}

void CBtnST::SetButtonStyle(unsigned style, bool repaint) {
    unsigned type = style & BS_TYPEMASK;
    if (type == BS_DEFPUSHBUTTON || type == BS_PUSHBUTTON) {
        m_bDefault = static_cast<int>(type);
        setDefault(m_bDefault != 0);
    }
    if (repaint) {
        update();
    }
}

void CBtnST::Repaint(bool now) {
    if (now) {
        update();
    }
}

COLORREF CBtnST::SysColor(int index) const {
    return ui::GetSysColor(index);
}

// ---- images ---------------------------------------------------------------------------------

void CBtnST::FreeImages(bool repaint) {
    for (auto& i : m_icons) {
        i = ButtonIcon{};
    }
    for (auto& b : m_bitmaps) {
        b = ButtonBitmap{};
    }
    Repaint(repaint);
}

int CBtnST::SetIcon(int nIconIn, int nIconOut) {
    QImage in = ui::LoadIconResource(nIconIn);
    if (nIconOut == IMAGE_AUTO_GREY || nIconOut == IMAGE_AUTO_DARKER) {
        return SetIcon(in, nIconOut);
    }
    QImage out = nIconOut ? ui::LoadIconResource(nIconOut) : QImage();
    if (nIconOut && out.isNull()) {
        FreeImages(true);
        return BTNST_INVALIDRESOURCE;
    }
    return SetIcon(in, out);
}

int CBtnST::SetIcon(int nIconIn, QSize inSize, int nIconOut, QSize outSize) {
    auto load = [](int id, QSize size) {
        QImage img = ui::LoadIconResource(id);
        return img.isNull() || img.size() == size
                   ? img
                   : img.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    };
    QImage in = load(nIconIn, inSize);
    if (nIconOut == IMAGE_AUTO_GREY || nIconOut == IMAGE_AUTO_DARKER) {
        return SetIcon(in, nIconOut);
    }
    QImage out = nIconOut ? load(nIconOut, outSize) : QImage();
    if (nIconOut && out.isNull()) {
        FreeImages(true);
        return BTNST_INVALIDRESOURCE;
    }
    return SetIcon(in, out);
}

int CBtnST::SetIcon(const QImage& hIconIn, int autoOut) {
    QImage out;
    if (!hIconIn.isNull() && autoOut == IMAGE_AUTO_GREY) {
        out = GreyImage(hIconIn, true, 0, false);
    } else if (!hIconIn.isNull() && autoOut == IMAGE_AUTO_DARKER) {
        out = DarkerImage(hIconIn, true, 0, false);
    }
    return SetIcon(hIconIn, out);
}

int CBtnST::SetIcon(const QImage& hIconIn, const QImage& hIconOut) {
    FreeImages(false);
    if (hIconIn.isNull()) {
        update();
        return BTNST_INVALIDRESOURCE;
    }
    const QImage* src[2] = {&hIconIn, &hIconOut};
    for (int i = 0; i < 2; ++i) {
        if (src[i]->isNull()) {
            continue;
        }
        m_icons[i].hIcon = src[i]->convertToFormat(QImage::Format_ARGB32);
        // An icon's size is twice its hot spot, which lies at its centre.
        m_icons[i].dwWidth = 2 * (src[i]->width() / 2);
        m_icons[i].dwHeight = 2 * (src[i]->height() / 2);
    }
    update();
    return BTNST_OK;
}

int CBtnST::SetBitmaps(int nBitmapIn, COLORREF crIn, int nBitmapOut, COLORREF crOut) {
    QImage in = ui::LoadBitmapResource(nBitmapIn);
    if (nBitmapOut == IMAGE_AUTO_GREY || nBitmapOut == IMAGE_AUTO_DARKER) {
        return SetBitmaps(in, crIn, nBitmapOut);
    }
    QImage out = nBitmapOut ? ui::LoadBitmapResource(nBitmapOut) : QImage();
    if (nBitmapOut && out.isNull()) {
        FreeImages(true);
        return BTNST_INVALIDRESOURCE;
    }
    return SetBitmaps(in, crIn, out, crOut);
}

int CBtnST::SetBitmaps(const QImage& hBitmapIn, COLORREF crIn, int autoOut) {
    QImage out;
    if (!hBitmapIn.isNull() && autoOut == IMAGE_AUTO_GREY) {
        out = GreyImage(hBitmapIn, false, crIn, true);
    } else if (!hBitmapIn.isNull() && autoOut == IMAGE_AUTO_DARKER) {
        out = DarkerImage(hBitmapIn, false, crIn, true);
    }
    // A derived out image keeps the in image's transparent colour.
    return SetBitmaps(hBitmapIn, crIn, out, crIn);
}

int CBtnST::SetBitmaps(const QImage& hBitmapIn, COLORREF crIn, const QImage& hBitmapOut,
                       COLORREF crOut) {
    FreeImages(false);
    if (hBitmapIn.isNull()) {
        update();
        return BTNST_INVALIDRESOURCE;
    }
    const QImage* src[2] = {&hBitmapIn, &hBitmapOut};
    const COLORREF key[2] = {crIn, crOut};
    for (int i = 0; i < 2; ++i) {
        if (src[i]->isNull()) {
            continue;
        }
        ButtonBitmap& b = m_bitmaps[i];
        b.hBitmap = src[i]->convertToFormat(QImage::Format_ARGB32);
        b.dwWidth = b.hBitmap.width();
        b.dwHeight = b.hBitmap.height();
        b.crTransparent = key[i];
        b.hMask = ui::MakeMask(b.hBitmap, key[i], true);
        if (b.hMask.isNull()) {
            FreeImages(true);
            return BTNST_FAILEDMASK;
        }
    }
    update();
    return BTNST_OK;
}

int CBtnST::ImageChoice(bool hasOut, bool pressed) const {
    bool hovered = m_bHover && !m_bCheckBox;
    return (hasOut && !pressed && !hovered) ? 1 : 0;
}

Rect CBtnST::PlaceImage(bool hasCaption, const Rect& item, Rect& caption, bool pressed, int w,
                        int h) const {
    Rect img = item;
    switch (m_nAlignment) {
    case ST_ALIGN_HORIZ:
        if (hasCaption) {
            img.left += m_nImageMarginX;
            caption.left += m_nImageMarginX + w;
        } else {
            img.left += (img.Width() - w) / 2;
        }
        img.top += (img.Height() - h) / 2;
        break;
    case ST_ALIGN_VERT:
        img.left += (img.Width() - w) / 2;
        if (hasCaption) {
            img.top = m_nImageMarginY;
            caption.top += h;
        } else {
            img.top += (img.Height() - h) / 2;
        }
        break;
    case ST_ALIGN_HORIZ_RIGHT:
        if (hasCaption) {
            caption.right = caption.Width() - m_nImageMarginX - w;
            caption.left = m_nImageMarginX;
            img.left = rect().right() + 1 - m_nImageMarginX - w;
            img.top += (img.Height() - h) / 2;
        } else {
            img.left += (img.Width() - w) / 2;
        }
        break;
    default:
        break;
    }
    if (pressed && !m_bCheckBox) {
        img.Offset(m_nPressedOffsetX, m_nPressedOffsetY);
    }
    img.right = item.right;
    img.bottom = item.bottom;
    return img;
}

// ---- drawing --------------------------------------------------------------------------------

void CBtnST::Render(QImage& dc) {
    Rect item{0, 0, width(), height()};
    if (m_bCheckBox) {
        m_bPressed = (isDown() || m_bChecked) ? 1 : 0;
    } else {
        m_bPressed = (isDown() || (m_bMenuShown && m_hDropMenu)) ? 1 : 0;
    }
    m_bFocused = hasFocus() ? 1 : 0;
    m_bDisabled = isEnabled() ? 0 : 1;
    m_bDefault = isDefault() ? 1 : 0;

    Rect b = item;
    if (m_bTransparent) {
        PaintParentBackground(dc);
    } else {
        DrawButtonBackground(dc, b);
    }
    DrawButtonBorder(dc, b);

    QString caption = text();
    Rect t = item;
    if (!m_icons[0].hIcon.isNull()) {
        DrawIconImage(dc, !caption.isEmpty(), item, t, m_bPressed, m_bDisabled);
    }
    if (!m_bitmaps[0].hBitmap.isNull()) {
        DrawBitmapImage(dc, !caption.isEmpty(), item, t, m_bPressed, m_bDisabled);
    }
    if (!caption.isEmpty()) {
        DrawCaption(dc, caption, item, t, m_bPressed, m_bDisabled);
    }
    if ((!m_bFlat || m_bFocusRectWhenFlat) && m_bFocused) {
        Rect f = b;
        f.Deflate(3);
        DrawFocusRect(dc, f);
    }
}

void CBtnST::paintEvent(QPaintEvent*) {
    // Transparent pixels of the image let the parent, which Qt paints first, show through.
    QImage canvas = ui::NewImage(width(), height(), 0);
    Render(canvas);
    QPainter p(this);
    p.drawImage(0, 0, canvas);
}

void CBtnST::PaintParentBackground(QImage& dc) {
    // Qt composites the parent under the button before it paints, so without an explicit
    // capture nothing needs copying and nothing can go stale.
    if (!m_dcBackground.isNull() && m_backgroundGeometry != geometry()) {
        m_dcBackground = QImage(); // taken at another place or size: stale
    }
    if (!m_dcBackground.isNull()) {
        ui::BitBlt(dc, 0, 0, m_dcBackground, ui::Rop::SrcCopy);
    }
}

int CBtnST::DrawButtonBackground(QImage& dc, Rect& r) {
    if (!m_bFlat && (m_bFocused || m_bDefault)) {
        ui::FrameRect(dc, r, ui::RGB(0, 0, 0));
        r.Deflate(1);
    }
    COLORREF c = (m_bHover || m_bPressed) ? m_colors[BTNST_COLOR_BK_IN]
                 : m_bFocused             ? m_colors[BTNST_COLOR_BK_FOCUS]
                                          : m_colors[BTNST_COLOR_BK_OUT];
    ui::FillRect(dc, r, c);
    return 0;
}

int CBtnST::DrawButtonBorder(QImage& dc, Rect& r) {
    using namespace ui;
    if (!m_bPressed) {
        if (!m_bFlat) {
            Polyline(dc, {{r.left, r.bottom - 1}, {r.left, r.top}, {r.right, r.top}},
                     SysColor(COLOR_BTNHILIGHT));
            Polyline(dc,
                     {{r.left + 1, r.bottom - 1}, {r.left + 1, r.top + 1}, {r.right, r.top + 1}},
                     SysColor(COLOR_3DLIGHT));
            Polyline(
                dc, {{r.left, r.bottom - 1}, {r.right - 1, r.bottom - 1}, {r.right - 1, r.top - 1}},
                SysColor(COLOR_3DDKSHADOW));
            Polyline(
                dc, {{r.left + 1, r.bottom - 2}, {r.right - 2, r.bottom - 2}, {r.right - 2, r.top}},
                SysColor(COLOR_BTNSHADOW));
        } else if (m_bHover && m_bHoverBorder) {
            Draw3dRect(dc, r.left, r.top, r.Width(), r.Height(), SysColor(COLOR_BTNHILIGHT),
                       SysColor(COLOR_BTNSHADOW));
        }
    } else {
        if (!m_bFlat) {
            FrameRect(dc, r, SysColor(COLOR_BTNSHADOW));
        } else if (m_bHoverBorder) {
            Draw3dRect(dc, r.left, r.top, r.Width(), r.Height(), SysColor(COLOR_BTNSHADOW),
                       SysColor(COLOR_BTNHILIGHT));
        }
    }
    return 0;
}

void CBtnST::DrawIconImage(QImage& dc, bool hasCaption, const Rect& item, Rect& caption,
                           bool pressed, bool disabled) {
    int slot = ImageChoice(!m_icons[1].hIcon.isNull(), pressed);
    const ButtonIcon& icon = m_icons[slot];
    Rect img = PlaceImage(hasCaption, item, caption, pressed, icon.dwWidth, icon.dwHeight);
    QImage shown = icon.hIcon.copy(0, 0, icon.dwWidth, icon.dwHeight);
    // A disabled icon is always embossed, whatever m_bDisabledLook says.
    if (disabled) {
        ui::DrawStateDisabled(dc, img.left, img.top, shown, SysColor(ui::COLOR_3DHILIGHT),
                              SysColor(ui::COLOR_3DSHADOW));
    } else {
        ui::DrawStateNormal(dc, img.left, img.top, shown);
    }
}

void CBtnST::DrawBitmapImage(QImage& dc, bool hasCaption, const Rect& item, Rect& caption,
                             bool pressed, bool disabled) {
    int slot = ImageChoice(!m_bitmaps[1].hBitmap.isNull(), pressed);
    const ButtonBitmap& bmp = m_bitmaps[slot];
    Rect img = PlaceImage(hasCaption, item, caption, pressed, bmp.dwWidth, bmp.dwHeight);
    if (!disabled || !m_bDisabledLook) {
        ui::BitBlt(dc, img.left, img.top, bmp.hMask, ui::Rop::SrcAnd);
        ui::BitBlt(dc, img.left, img.top, bmp.hBitmap, ui::Rop::SrcPaint);
        return;
    }
    QImage composed = ui::NewImage(bmp.dwWidth, bmp.dwHeight, 0xFFFFFFFF);
    ui::BitBlt(composed, 0, 0, bmp.hMask, ui::Rop::SrcAnd);
    ui::BitBlt(composed, 0, 0, bmp.hBitmap, ui::Rop::SrcPaint);
    ui::DrawStateDisabled(dc, img.left, img.top, composed, SysColor(ui::COLOR_3DHILIGHT),
                          SysColor(ui::COLOR_3DSHADOW));
}

void CBtnST::DrawCaption(QImage& dc, const QString& text, const Rect&, Rect& t, bool pressed,
                         bool disabled) {
    if (pressed && !m_bCheckBox) {
        t.Offset(m_nPressedOffsetX, m_nPressedOffsetY);
    }
    QFont f = font();
    Rect centre = t;
    ui::DrawText(dc, text, t, ui::DT_WORDBREAK | ui::DT_CENTER | ui::DT_CALCRECT, f, 0);
    t.Offset((centre.Width() - t.Width()) / 2, (centre.Height() - t.Height()) / 2);
    if (disabled) {
        Rect shifted = t;
        shifted.Offset(1, 1);
        ui::DrawText(dc, text, shifted, ui::DT_WORDBREAK | ui::DT_CENTER, f,
                     SysColor(ui::COLOR_3DHILIGHT));
        ui::DrawText(dc, text, t, ui::DT_WORDBREAK | ui::DT_CENTER, f,
                     SysColor(ui::COLOR_3DSHADOW));
        return;
    }
    COLORREF fg = (m_bHover || m_bPressed) ? m_colors[BTNST_COLOR_FG_IN]
                  : m_bFocused             ? m_colors[BTNST_COLOR_FG_FOCUS]
                                           : m_colors[BTNST_COLOR_FG_OUT];
    ui::DrawText(dc, text, t, ui::DT_WORDBREAK | ui::DT_CENTER, f, fg);
}

void CBtnST::DrawFocusRect(QImage& dc, const Rect& r) {
    // Dotted, and drawn by inverting, as the window system's focus rectangle is.
    auto flip = [&](int x, int y) {
        if (x >= 0 && y >= 0 && x < dc.width() && y < dc.height()) {
            QRgb* p = reinterpret_cast<QRgb*>(dc.scanLine(y)) + x;
            *p = (*p ^ 0x00FFFFFF) | 0xFF000000;
        }
    };
    for (int x = r.left; x < r.right; x += 2) {
        flip(x, r.top);
        flip(x, r.bottom - 1);
    }
    for (int y = r.top + 2; y < r.bottom - 1; y += 2) {
        flip(r.left, y);
        flip(r.right - 1, y);
    }
}

// ---- look setters ---------------------------------------------------------------------------

int CBtnST::SetFlat(bool bFlat, bool bRepaint) {
    m_bFlat = bFlat ? 1 : 0;
    Repaint(bRepaint);
    return BTNST_OK;
}

int CBtnST::SetImageAlignment(int byAlign, bool bRepaint) {
    if (byAlign < 0 || byAlign > ST_ALIGN_OVERLAP) {
        return BTNST_INVALIDALIGN;
    }
    m_nAlignment = static_cast<uint8_t>(byAlign);
    Repaint(bRepaint);
    return BTNST_OK;
}

int CBtnST::SetPressedOffsetStyle(int style, bool bRepaint) {
    switch (style) {
    case BTNST_PRESSED_LEFTRIGHT:
        m_nPressedOffsetX = 1;
        m_nPressedOffsetY = 1;
        break;
    case BTNST_PRESSED_TOPBOTTOM:
        m_nPressedOffsetX = 0;
        m_nPressedOffsetY = 2;
        break;
    default:
        return BTNST_INVALIDPRESSEDSTYLE;
    }
    Repaint(bRepaint);
    return BTNST_OK;
}

int CBtnST::SetStateColor(int index, COLORREF color, bool bRepaint) {
    if (index < 0 || index >= BTNST_MAX_COLORS) {
        return BTNST_INVALIDINDEX;
    }
    m_colors[index] = color;
    Repaint(bRepaint);
    return BTNST_OK;
}

int CBtnST::GetStateColor(int index, COLORREF* color) const {
    if (index < 0 || index >= BTNST_MAX_COLORS) {
        return BTNST_INVALIDINDEX;
    }
    if (color) {
        *color = m_colors[index];
    }
    return BTNST_OK;
}

int CBtnST::ShadeStateColor(int index, int shade, bool bRepaint) {
    if (index < 0 || index >= BTNST_MAX_COLORS) {
        return BTNST_INVALIDINDEX;
    }
    if (shade < -255 || shade > 255) {
        return BTNST_BADPARAM;
    }
    COLORREF c = m_colors[index];
    int ch[3] = {ui::GetRValue(c), ui::GetGValue(c), ui::GetBValue(c)};
    int d = shade;
    for (int v : ch) {
        d = shade > 0 ? std::min(d, 255 - v) : std::max(d, -v);
    }
    m_colors[index] = ui::RGB(ch[0] + d, ch[1] + d, ch[2] + d);
    Repaint(bRepaint);
    return BTNST_OK;
}

int CBtnST::ResetColors(bool bRepaint) {
    for (int i = 0; i < BTNST_MAX_COLORS; i += 2) {
        m_colors[i] = SysColor(ui::COLOR_BTNFACE);
        m_colors[i + 1] = SysColor(ui::COLOR_BTNTEXT);
    }
    Repaint(bRepaint);
    return BTNST_OK;
}

int CBtnST::SetTrackWhenInactive(bool flag) {
    m_bTrackWhenInactive = flag ? 1 : 0;
    return BTNST_OK;
}

int CBtnST::SetHoverCursor(int nCursorId, bool bRepaint) {
    m_hHoverCursor.reset();
    unsetCursor();
    if (nCursorId == 0) {
        Repaint(bRepaint);
        return BTNST_OK;
    }
    m_hHoverCursor = ui::LoadCursorResource(nCursorId);
    if (!m_hHoverCursor) {
        return BTNST_INVALIDRESOURCE;
    }
    setCursor(*m_hHoverCursor);
    Repaint(bRepaint);
    return BTNST_OK;
}

int CBtnST::SetBorderVisible(bool flag, bool bRepaint) {
    m_bHoverBorder = flag ? 1 : 0;
    Repaint(bRepaint);
    return BTNST_OK;
}

int CBtnST::SetFocusRectWhenFlat(bool flag, bool bRepaint) {
    m_bFocusRectWhenFlat = flag ? 1 : 0;
    Repaint(bRepaint);
    return BTNST_OK;
}

int CBtnST::DrawTransparent(bool bRepaint) {
    m_bTransparent = 1;
    m_dcBackground = QImage();
    Repaint(bRepaint);
    return BTNST_OK;
}

int CBtnST::SetBackgroundFrom(const QImage* dc) {
    if (!m_bTransparent || !dc) {
        return BTNST_BADPARAM;
    }
    QPoint at = geometry().topLeft();
    m_dcBackground =
        dc->copy(at.x(), at.y(), width(), height()).convertToFormat(QImage::Format_ARGB32);
    m_backgroundGeometry = geometry();
    return BTNST_OK;
}

int CBtnST::FitToImage() {
    if (!m_icons[0].hIcon.isNull()) {
        resize(m_icons[0].dwWidth, m_icons[0].dwHeight);
    } else if (!m_bitmaps[0].hBitmap.isNull()) {
        resize(m_bitmaps[0].dwWidth, m_bitmaps[0].dwHeight);
    }
    m_nImageMarginX = 0;
    m_nImageMarginY = 0;
    return BTNST_OK;
}

// ---- tooltip --------------------------------------------------------------------------------

void CBtnST::EnsureTooltip() {
    if (m_tipCreated) {
        return;
    }
    m_tipCreated = true;
    m_tipActive = false;
}

void CBtnST::SetTooltipText(const QString* text, bool bActivate) {
    if (!text) {
        return;
    }
    EnsureTooltip();
    m_tipHasTool = true;
    m_tipText = *text;
    EnableTooltip(bActivate);
}

void CBtnST::SetTooltipText(int nStringId, bool bActivate) {
    QString text = ui::LoadStringResource(nStringId);
    if (text.isEmpty()) {
        return;
    }
    SetTooltipText(&text, bActivate);
}

void CBtnST::EnableTooltip(bool flag) {
    if (!m_tipHasTool) {
        return;
    }
    m_tipActive = flag;
}

bool CBtnST::event(QEvent* ev) {
    if (ev->type() == QEvent::ToolTip) {
        // Tips show only while active, and never over a disabled button. Wide tips wrap at
        // 400 pixels.
        auto* help = static_cast<QHelpEvent*>(ev);
        if (TooltipActive() && isEnabled() && !m_tipText.isEmpty()) {
            ui::ShowToolTip(help->globalPos(), m_tipText, this, rect(), kTipMaxWidth);
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    return QPushButton::event(ev);
}

// ---- behaviours -----------------------------------------------------------------------------

void CBtnST::SetLinkUrl(const char* lpszURL) {
    std::memset(m_szLink, 0, sizeof(m_szLink));
    if (!lpszURL) {
        return;
    }
    size_t n = std::strlen(lpszURL);
    if (n > sizeof(m_szLink) - 1) {
        n = sizeof(m_szLink) - 1;
        // Never keep part of a UTF-8 character: back off from continuation bytes.
        while (n > 0 && (static_cast<unsigned char>(lpszURL[n]) & 0xC0) == 0x80) {
            --n;
        }
    }
    std::memcpy(m_szLink, lpszURL, n);
}

int CBtnST::SetDropMenu(int nMenuId, QObject* owner, bool bRepaint) {
    m_hDropMenu.reset();
    m_hMenuOwner = nullptr;
    m_bMenuShown = 0;
    if (nMenuId) {
        m_hDropMenu.reset(ui::LoadMenuResource(nMenuId));
        if (!m_hDropMenu) {
            return BTNST_INVALIDRESOURCE;
        }
        m_hMenuOwner = owner;
    }
    Repaint(bRepaint);
    return BTNST_OK;
}

int CBtnST::SetDropMenuNotify(QObject* hWnd, int nMessage, uintptr_t lParam) {
    m_menuNotify.hWnd = hWnd;
    m_menuNotify.nMessage = nMessage;
    m_menuNotify.lParam = lParam;
    return BTNST_OK;
}

int CBtnST::SetStateSound(const char* sound, const void* hMod, bool bOnClick, bool bAsync) {
    ButtonSound& s = m_sounds[bOnClick ? 1 : 0];
    s = ButtonSound{};
    if (!sound) {
        return BTNST_OK;
    }
    if (hMod) {
        s.lpszSound = sound;
        s.hMod = hMod;
        s.dwFlags = SND_RESOURCE;
    } else {
        std::strncpy(s.szSound, sound, sizeof(s.szSound) - 1);
        s.lpszSound = s.szSound;
        s.dwFlags = SND_FILENAME;
    }
    s.dwFlags |= SND_NODEFAULT | SND_NOWAIT;
    if (bAsync) {
        s.dwFlags |= SND_ASYNC;
    }
    return BTNST_OK;
}

void CBtnST::PlaySound(int slot) {
    const ButtonSound& s = m_sounds[slot];
    // Sounds play in the background always; a sound named as a resource has no player here.
    if (s.lpszSound && (s.dwFlags & SND_FILENAME) && (s.dwFlags & SND_RESOURCE) != SND_RESOURCE) {
        sys::SoundPlayer::PlayFile(s.lpszSound);
    }
}

void CBtnST::SetCheck(int nCheck, bool bRepaint) {
    m_bChecked = (nCheck == 1 || nCheck == 2) ? 1 : 0;
    Repaint(bRepaint);
}

int CBtnST::TrackPopupMenu(QMenu* menu, const QPoint& screenPos) {
    QAction* a = menu->exec(screenPos);
    return a ? a->data().toInt() : 0;
}

void CBtnST::OnClicked() {
    setFocus(Qt::MouseFocusReason);
    PlaySound(1);
    if (m_bCheckBox) {
        m_bChecked = !m_bChecked;
        update();
        return;
    }
    if (m_hDropMenu) {
        QRect screen(mapToGlobal(QPoint(0, 0)), size());
        m_bMenuShown = 1;
        repaint();
        QMenu* sub = m_hDropMenu.get();
        if (!m_hDropMenu->actions().isEmpty() && m_hDropMenu->actions().first()->menu()) {
            sub = m_hDropMenu->actions().first()->menu();
        }
        if (m_menuNotify.hWnd) {
            ui::NotifyEvent n(m_menuNotify.nMessage, sub, m_menuNotify.lParam);
            QCoreApplication::sendEvent(m_menuNotify.hWnd, &n);
        }
        int cmd = TrackPopupMenu(sub, QPoint(screen.left(), screen.bottom() + 1));
        m_bMenuShown = 0;
        repaint();
        if (cmd && m_hMenuOwner) {
            QCoreApplication::postEvent(m_hMenuOwner, new ui::CommandEvent(cmd));
        }
        return;
    }
    if (m_szLink[0]) {
        ui::ShellOpen(QString::fromUtf8(m_szLink));
    }
}

// ---- hover ----------------------------------------------------------------------------------

bool CBtnST::ApplicationIsActive() const {
    return QApplication::activeWindow() != nullptr;
}

void CBtnST::mouseMoveEvent(QMouseEvent* ev) {
    QPushButton::mouseMoveEvent(ev);
    QWidget* under = QApplication::widgetAt(ev->globalPosition().toPoint());
    if ((ev->buttons() & Qt::LeftButton) && !m_bHover) {
        return;
    }
    if (m_bFlat && under == this && (m_bTrackWhenInactive || ApplicationIsActive())) {
        if (!m_bHover) {
            m_bHover = 1;
            update();
            PlaySound(0);
            // Qt reports the pointer leaving without being asked.
        }
    } else {
        EndHover();
    }
}

void CBtnST::EndHover() {
    if (m_bFlat && m_bHover) {
        m_bHover = 0;
        update();
    }
}

void CBtnST::mouseDoubleClickEvent(QMouseEvent* ev) {
    // A double click is a second press, so quick repeated clicks all count.
    mousePressEvent(ev);
}

void CBtnST::enterEvent(QEnterEvent* ev) {
    QPushButton::enterEvent(ev);
}

void CBtnST::leaveEvent(QEvent* ev) {
    QPushButton::leaveEvent(ev);
    EndHover();
}

void CBtnST::focusOutEvent(QFocusEvent* ev) {
    QPushButton::focusOutEvent(ev);
    EndHover();
}

void CBtnST::changeEvent(QEvent* ev) {
    QPushButton::changeEvent(ev);
    switch (ev->type()) {
    case QEvent::ActivationChange:
        if (!isActiveWindow()) {
            EndHover();
        }
        break;
    case QEvent::EnabledChange:
        if (!isEnabled()) {
            if (hasFocus() && !focusNextChild() && parentWidget()) {
                parentWidget()->setFocus();
            }
            EndHover();
        }
        break;
    case QEvent::PaletteChange:
        // A system colour change: the colours are read again and any capture is dropped.
        ui::RefreshSysColors();
        m_dcBackground = QImage();
        ResetColors(true);
        break;
    default:
        break;
    }
}

void CBtnST::moveEvent(QMoveEvent* ev) {
    QPushButton::moveEvent(ev);
    // A captured background belongs to the old place.
    m_dcBackground = QImage();
}

void CBtnST::resizeEvent(QResizeEvent* ev) {
    QPushButton::resizeEvent(ev);
    m_dcBackground = QImage();
}
