// The owner-drawn image button: icon or bitmap (with a transparent colour) beside, above or
// without a caption, in and out images, hover highlighting when flat, tooltip, and optionally a
// check-box behaviour, a drop menu, a link or sounds on click.
#pragma once

#include "platform/ui/dialog.h"
#include "platform/ui/gdi.h"

#include <QCursor>
#include <QImage>
#include <QPointer>
#include <QPushButton>
#include <cstdint>
#include <memory>
#include <set>

class QMenu;

class CBtnST : public QPushButton {
public:
    enum { ST_ALIGN_HORIZ = 0, ST_ALIGN_VERT = 1, ST_ALIGN_HORIZ_RIGHT = 2, ST_ALIGN_OVERLAP = 3 };
    enum {
        BTNST_OK = 0,
        BTNST_INVALIDRESOURCE = 1,
        BTNST_FAILEDMASK = 2,
        BTNST_INVALIDINDEX = 3,
        BTNST_INVALIDALIGN = 4,
        BTNST_BADPARAM = 5,
        BTNST_INVALIDPRESSEDSTYLE = 6,
    };
    enum {
        BTNST_COLOR_BK_IN = 0,
        BTNST_COLOR_FG_IN,
        BTNST_COLOR_BK_OUT,
        BTNST_COLOR_FG_OUT,
        BTNST_COLOR_BK_FOCUS,
        BTNST_COLOR_FG_FOCUS,
        BTNST_MAX_COLORS,
    };
    enum { BTNST_PRESSED_LEFTRIGHT = 0, BTNST_PRESSED_TOPBOTTOM = 1 };
    // Out-image values asking for an image derived from the in image.
    static constexpr int IMAGE_AUTO_GREY = -2;
    static constexpr int IMAGE_AUTO_DARKER = -3;
    // Button style bits of the control it replaces.
    static constexpr unsigned BS_PUSHBUTTON = 0x0, BS_DEFPUSHBUTTON = 0x1, BS_CHECKBOX = 0x2,
                              BS_AUTOCHECKBOX = 0x3, BS_OWNERDRAW = 0xB, BS_TYPEMASK = 0x1F;
    // Sound flags.
    static constexpr uint32_t SND_ASYNC = 0x1, SND_NODEFAULT = 0x2, SND_NOWAIT = 0x2000,
                              SND_FILENAME = 0x20000, SND_RESOURCE = 0x40004;

    struct ButtonIcon {
        QImage hIcon;
        int dwWidth = 0, dwHeight = 0;
    };
    struct ButtonBitmap {
        QImage hBitmap;
        int dwWidth = 0, dwHeight = 0;
        QImage hMask; // 0xFFFFFFFF where transparent, 0xFF000000 elsewhere
        ui::COLORREF crTransparent = 0;
    };
    struct ButtonSound {
        char szSound[260] = {};
        const char* lpszSound = nullptr;
        const void* hMod = nullptr;
        uint32_t dwFlags = 0;
    };
    struct MenuNotify {
        QPointer<QObject> hWnd;
        int nMessage = 0;
        uintptr_t lParam = 0;
    };

    explicit CBtnST(QWidget* parent = nullptr);
    ~CBtnST() override;

    // Takes over a template control: reads its button style (type bits, check box, default).
    void PreSubclassWindow(unsigned style);
    // The dialog manager's style change: the default button moved to or from this one.
    void SetButtonStyle(unsigned style, bool repaint = true);
    // A factory for dialog templates that makes CBtnST for the push buttons of the given ids.
    static ui::ControlFactory Factory(std::set<int> ids);

    // ---- images --------------------------------------------------------------------------
    int SetIcon(int nIconIn, int nIconOut = 0);
    // Loads the icons at the given sizes.
    int SetIcon(int nIconIn, QSize inSize, int nIconOut, QSize outSize);
    int SetIcon(const QImage& hIconIn, const QImage& hIconOut);
    int SetIcon(const QImage& hIconIn, int autoOut); // IMAGE_AUTO_GREY / _DARKER, or 0
    int SetBitmaps(int nBitmapIn, ui::COLORREF crTransColorIn, int nBitmapOut = 0,
                   ui::COLORREF crTransColorOut = 0);
    int SetBitmaps(const QImage& hBitmapIn, ui::COLORREF crTransColorIn, const QImage& hBitmapOut,
                   ui::COLORREF crTransColorOut);
    int SetBitmaps(const QImage& hBitmapIn, ui::COLORREF crTransColorIn, int autoOut);
    void FreeImages(bool repaint = true);

    // ---- look ----------------------------------------------------------------------------
    int SetFlat(bool bFlat = true, bool bRepaint = true);
    int SetImageAlignment(int byAlign, bool bRepaint = true);
    int SetPressedOffsetStyle(int style, bool bRepaint = true);
    int SetStateColor(int index, ui::COLORREF color, bool bRepaint = true);
    int GetStateColor(int index, ui::COLORREF* color) const;
    int ShadeStateColor(int index, int shade, bool bRepaint = true);
    int ResetColors(bool bRepaint = true);
    int SetTrackWhenInactive(bool flag);
    int SetHoverCursor(int nCursorId, bool bRepaint = true);
    int SetBorderVisible(bool flag, bool bRepaint = true);
    int SetFocusRectWhenFlat(bool flag, bool bRepaint = true);
    int DrawTransparent(bool bRepaint = false);
    int SetBackgroundFrom(const QImage* dc);
    int FitToImage();
    bool IsDefaultButton() const { return m_bDefault != 0; }
    // The button's pressed look, as the platform's set-state message gives it.
    void SetState(bool pressed) { setDown(pressed); }

    // ---- tooltip -------------------------------------------------------------------------
    void SetTooltipText(const QString* text, bool bActivate = true);
    void SetTooltipText(const QString& text, bool bActivate = true) {
        SetTooltipText(&text, bActivate);
    }
    void SetTooltipText(int nStringId, bool bActivate = true);
    void EnableTooltip(bool flag);
    void UseBalloonTooltip() { m_dwTipStyle |= 0x40; }
    bool TooltipActive() const { return m_tipCreated && m_tipHasTool && m_tipActive; }
    QString TooltipText() const { return m_tipText; }

    // ---- behaviours ----------------------------------------------------------------------
    void SetLinkUrl(const char* lpszURL);
    const char* LinkUrl() const { return m_szLink; }
    int SetDropMenu(int nMenuId, QObject* owner, bool bRepaint = true);
    int SetDropMenuNotify(QObject* hWnd, int nMessage, uintptr_t lParam);
    int SetStateSound(const char* sound, const void* hMod, bool bOnClick, bool bAsync);
    // The platform's check-box messages.
    void SetCheck(int nCheck, bool bRepaint = true);
    int GetCheck() const { return m_bChecked; }

    // Draws the whole button into an image of its size, as a paint does (for the screen and
    // for tests). What the image holds beforehand is what lies under the button.
    void Render(QImage& target);

    // ---- state, public as the work form and the main frame use them ----------------------
    int m_bDisabledLook = 1;

    // Layers; a derived class may replace any of them.
    virtual int DrawButtonBackground(QImage& dc, ui::Rect& r);
    virtual int DrawButtonBorder(QImage& dc, ui::Rect& r);
    virtual void DrawIconImage(QImage& dc, bool hasCaption, const ui::Rect& item, ui::Rect& caption,
                               bool pressed, bool disabled);
    virtual void DrawBitmapImage(QImage& dc, bool hasCaption, const ui::Rect& item,
                                 ui::Rect& caption, bool pressed, bool disabled);
    virtual void DrawCaption(QImage& dc, const QString& text, const ui::Rect& item,
                             ui::Rect& caption, bool pressed, bool disabled);

    // Image rectangle for an image of w x h; may narrow the caption rectangle.
    ui::Rect PlaceImage(bool hasCaption, const ui::Rect& item, ui::Rect& caption, bool pressed,
                        int w, int h) const;
    // The image slot drawn now: 1 (out) when there is one and the button is at rest, else 0.
    int ImageChoice(bool hasOut, bool pressed) const;

    int m_nImageMarginX = 3;
    int m_nImageMarginY = 3;
    int m_nPressedOffsetX = 1;
    int m_nPressedOffsetY = 1;
    int m_bFlat = 1;
    int m_bHover = 0;
    int m_bTransparent = 0;
    int m_bPressed = 0, m_bFocused = 0, m_bDisabled = 0;
    int m_bDefault = 0;
    int m_bCheckBox = 0;
    uint8_t m_nAlignment = ST_ALIGN_HORIZ;
    int m_bHoverBorder = 1;
    int m_bFocusRectWhenFlat = 0;
    ui::COLORREF m_colors[BTNST_MAX_COLORS] = {};
    QPointer<QObject> m_hMenuOwner;
    int m_bMenuShown = 0;
    std::unique_ptr<QMenu> m_hDropMenu;
    std::unique_ptr<QCursor> m_hHoverCursor;
    QImage m_dcBackground;      // background captured with SetBackgroundFrom
    QRect m_backgroundGeometry; // where the button was when it was captured
    int m_bTrackWhenInactive = 1;
    int m_bChecked = 0;
    int m_nButtonType = 0x1F;
    uint32_t m_dwTipStyle = 0;
    char m_szLink[260] = {};
    ButtonIcon m_icons[2];
    ButtonBitmap m_bitmaps[2];
    MenuNotify m_menuNotify;
    ButtonSound m_sounds[2];

    // Clicks handled (for the owner's own handler, the platform's clicked signal runs as well).
    void OnClicked();
    void EndHover();

protected:
    // Whether the application has an active window; tests replace it.
    virtual bool ApplicationIsActive() const;
    // Shows the drop menu at a screen point and returns the chosen command id, or 0.
    virtual int TrackPopupMenu(QMenu* menu, const QPoint& screenPos);

    void paintEvent(QPaintEvent* ev) override;
    void mouseMoveEvent(QMouseEvent* ev) override;
    void mouseDoubleClickEvent(QMouseEvent* ev) override;
    void leaveEvent(QEvent* ev) override;
    void enterEvent(QEnterEvent* ev) override;
    void focusOutEvent(QFocusEvent* ev) override;
    void changeEvent(QEvent* ev) override;
    void moveEvent(QMoveEvent* ev) override;
    void resizeEvent(QResizeEvent* ev) override;
    bool event(QEvent* ev) override;

private:
    void PaintParentBackground(QImage& dc);
    void PlaySound(int slot);
    void EnsureTooltip();
    void Repaint(bool now = true);
    void DrawFocusRect(QImage& dc, const ui::Rect& r);
    ui::COLORREF SysColor(int index) const;

    bool m_tipCreated = false;
    bool m_tipHasTool = false;
    bool m_tipActive = false;
    QString m_tipText;
};

// Derived images of the out slot: grey (luminance) and darker by a factor.
QImage GreyImage(const QImage& image, bool keepBlack, ui::COLORREF keepColor, bool useKeepColor);
QImage DarkerImage(const QImage& image, bool keepBlack, ui::COLORREF keepColor, bool useKeepColor);
// The colour darkened by factor (0 < factor <= 1), else unchanged.
ui::COLORREF DimColor(ui::COLORREF color, double factor);
