#include "BtnST.h"
#include "platform/ui/gdi.h"
#include "platform/ui/services.h"

#include <QApplication>
#include <QDialog>
#include <QHelpEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPalette>
#include <QTextDocumentFragment>
#include <QToolTip>
#include <gtest/gtest.h>
#include <set>

using ui::COLORREF;
using ui::RGB;

namespace {

// Distinct system colours, so every layer can be told apart by its pixels.
constexpr COLORREF kFace = RGB(200, 200, 200), kText = RGB(0, 0, 0), kLight = RGB(250, 250, 250),
                   kMidlight = RGB(225, 225, 225), kDkShadow = RGB(10, 10, 10),
                   kShadow = RGB(128, 128, 128);

class ButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_saved = QApplication::palette();
        QPalette pal = m_saved;
        pal.setColor(QPalette::Button, ui::ToQColor(kFace));
        pal.setColor(QPalette::ButtonText, ui::ToQColor(kText));
        pal.setColor(QPalette::Light, ui::ToQColor(kLight));
        pal.setColor(QPalette::Midlight, ui::ToQColor(kMidlight));
        pal.setColor(QPalette::Shadow, ui::ToQColor(kDkShadow));
        pal.setColor(QPalette::Dark, ui::ToQColor(kShadow));
        QApplication::setPalette(pal);
        ui::RefreshSysColors();
    }
    void TearDown() override {
        QApplication::setPalette(m_saved);
        ui::RefreshSysColors();
    }
    QPalette m_saved;
};

COLORREF Px(const QImage& img, int x, int y) {
    return ui::FromQRgb(img.pixel(x, y));
}

QImage Solid(int w, int h, QRgb c) {
    return ui::NewImage(w, h, c);
}

QImage Render(CBtnST& b, QRgb under = 0xFFFF00FF) {
    QImage img = ui::NewImage(b.width(), b.height(), under);
    b.Render(img);
    return img;
}

int Count(const QImage& img, COLORREF c, QRect area = QRect()) {
    if (area.isNull()) {
        area = img.rect();
    }
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            n += Px(img, x, y) == c;
        }
    }
    return n;
}

// Sends a mouse event through the application, as the window system delivers it.
void Mouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButtons buttons,
           Qt::MouseButton button = Qt::NoButton) {
    QMouseEvent ev(type, QPointF(pos), QPointF(w->mapToGlobal(pos)), button, buttons,
                   Qt::NoModifier);
    QApplication::sendEvent(w, &ev);
}

class InactiveApp : public CBtnST {
public:
    using CBtnST::CBtnST;
    bool active = true;

protected:
    bool ApplicationIsActive() const override { return active; }
};

class MenuButton : public CBtnST {
public:
    using CBtnST::CBtnST;
    int choose = 0;
    int pressedWhileOpen = -1;

protected:
    int TrackPopupMenu(QMenu*, const QPoint&) override {
        pressedWhileOpen = m_bMenuShown;
        return choose;
    }
};

class Recorder : public QObject {
public:
    std::vector<int> commands, notes;
    uintptr_t lastValue = 0;
    bool event(QEvent* e) override {
        if (e->type() == ui::CommandEvent::Type()) {
            commands.push_back(static_cast<ui::CommandEvent*>(e)->Id());
        } else if (e->type() == ui::NotifyEvent::Type()) {
            notes.push_back(static_cast<ui::NotifyEvent*>(e)->Message());
            lastValue = static_cast<ui::NotifyEvent*>(e)->LParam();
        } else {
            return QObject::event(e);
        }
        return true;
    }
};

} // namespace

TEST_F(ButtonTest, ConstructionDefaults) {
    CBtnST b;
    EXPECT_EQ(b.m_bDisabledLook, 1);
    EXPECT_EQ(b.m_nImageMarginX, 3);
    EXPECT_EQ(b.m_nImageMarginY, 3);
    EXPECT_EQ(b.m_nPressedOffsetX, 1);
    EXPECT_EQ(b.m_nPressedOffsetY, 1);
    EXPECT_EQ(b.m_bFlat, 1);
    EXPECT_EQ(b.m_bHoverBorder, 1);
    EXPECT_EQ(b.m_bTrackWhenInactive, 1);
    EXPECT_EQ(b.m_bFocusRectWhenFlat, 0);
    EXPECT_EQ(b.m_nButtonType, 0x1F);
    EXPECT_STREQ(b.LinkUrl(), "");
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(b.m_colors[i], i % 2 ? kText : kFace);
    }
}

TEST_F(ButtonTest, BorderLayersOfTheFourLooks) {
    CBtnST b;
    b.resize(40, 20);
    b.SetFlat(false);
    QImage raised = Render(b);
    EXPECT_EQ(Px(raised, 0, 0), kLight);
    EXPECT_EQ(Px(raised, 0, 18), kLight);
    EXPECT_EQ(Px(raised, 1, 1), kMidlight);
    EXPECT_EQ(Px(raised, 0, 19), kDkShadow);
    EXPECT_EQ(Px(raised, 39, 0), kDkShadow);
    EXPECT_EQ(Px(raised, 38, 18), kShadow);
    EXPECT_EQ(Px(raised, 38, 1), kShadow);
    EXPECT_EQ(Px(raised, 20, 10), kFace);

    b.SetState(true);
    QImage pressed = Render(b);
    EXPECT_EQ(Px(pressed, 0, 0), kShadow);
    EXPECT_EQ(Px(pressed, 39, 19), kShadow);
    EXPECT_EQ(Px(pressed, 1, 1), kFace);
    b.SetState(false);

    b.SetFlat(true);
    QImage flat = Render(b);
    EXPECT_EQ(Px(flat, 0, 0), kFace);
    EXPECT_EQ(Px(flat, 39, 19), kFace);
    b.m_bHover = 1;
    QImage hovered = Render(b);
    EXPECT_EQ(Px(hovered, 0, 0), kLight);
    EXPECT_EQ(Px(hovered, 39, 19), kShadow);
    b.SetBorderVisible(false);
    EXPECT_EQ(Px(Render(b), 0, 0), kFace);
    b.SetBorderVisible(true);
    b.m_bHover = 0;
    b.SetState(true);
    QImage flatPressed = Render(b);
    EXPECT_EQ(Px(flatPressed, 0, 0), kShadow);
    EXPECT_EQ(Px(flatPressed, 39, 19), kLight);
}

TEST_F(ButtonTest, DefaultButtonGetsABlackFrameUntilTheDefaultMoves) {
    QDialog dlg;
    CBtnST a(&dlg), other(&dlg);
    a.resize(40, 20);
    a.PreSubclassWindow(CBtnST::BS_DEFPUSHBUTTON);
    EXPECT_EQ(a.m_bDefault, 1);
    EXPECT_EQ(a.m_nButtonType, 0);
    a.SetFlat(false);
    QImage img = Render(a);
    EXPECT_EQ(Px(img, 0, 0), RGB(0, 0, 0));
    EXPECT_EQ(Px(img, 39, 19), RGB(0, 0, 0));
    EXPECT_EQ(Px(img, 1, 1), kLight); // the border moves one pixel in
    a.SetFlat(true);
    EXPECT_EQ(Px(Render(a), 0, 0), kFace); // flat buttons never get it
    a.SetFlat(false);
    other.setDefault(true);
    EXPECT_FALSE(a.IsDefaultButton() && a.isDefault());
    EXPECT_EQ(Px(Render(a), 0, 0), kLight);
    a.SetButtonStyle(CBtnST::BS_DEFPUSHBUTTON);
    EXPECT_TRUE(a.IsDefaultButton());
    EXPECT_EQ(Px(Render(a), 0, 0), RGB(0, 0, 0));

    CBtnST check;
    check.PreSubclassWindow(CBtnST::BS_AUTOCHECKBOX);
    EXPECT_EQ(check.m_bCheckBox, 1);
    EXPECT_EQ(check.m_nButtonType, 3);
}

TEST_F(ButtonTest, InAndOutIconsFollowHoverAndPress) {
    CBtnST b;
    b.resize(35, 23);
    QImage in = Solid(16, 16, 0xFFFF0000), out = Solid(16, 16, 0xFF0000FF);
    ASSERT_EQ(b.SetIcon(in, QImage()), 0);
    EXPECT_EQ(b.m_icons[0].dwWidth, 16);
    QImage rest = Render(b);
    EXPECT_EQ(Px(rest, 17, 11), RGB(255, 0, 0)); // in icon only: shown at rest too
    // Centred: (35 - 16) / 2 = 9, (23 - 16) / 2 = 3.
    EXPECT_EQ(Px(rest, 9, 3), RGB(255, 0, 0));
    EXPECT_EQ(Px(rest, 8, 3), kFace);
    EXPECT_EQ(Px(rest, 9, 19), kFace);

    ASSERT_EQ(b.SetIcon(in, out), 0);
    EXPECT_EQ(Px(Render(b), 17, 11), RGB(0, 0, 255));
    b.m_bHover = 1;
    EXPECT_EQ(Px(Render(b), 17, 11), RGB(255, 0, 0));
    b.m_bHover = 0;
    b.SetState(true);
    QImage pressed = Render(b);
    EXPECT_EQ(Px(pressed, 10, 4), RGB(255, 0, 0)); // moved by the pressed offset
    EXPECT_EQ(Px(pressed, 9, 4), kFace);
    b.SetState(false);

    // Derived out icons: grey keeps black pixels black.
    QImage coloured = Solid(2, 2, qRgb(100, 150, 200));
    coloured.setPixel(1, 1, 0xFF000000);
    QImage grey = GreyImage(coloured, true, 0, false);
    EXPECT_EQ(grey.pixel(0, 0), qRgb(140, 140, 140));
    EXPECT_EQ(grey.pixel(1, 1), 0xFF000000u);
    QImage dark = DarkerImage(coloured, true, 0, false);
    EXPECT_EQ(dark.pixel(0, 0), qRgb(75, 112, 150));
    EXPECT_EQ(DimColor(RGB(100, 150, 200), 1.5), RGB(100, 150, 200));
    ASSERT_EQ(b.SetIcon(coloured, CBtnST::IMAGE_AUTO_GREY), 0);
    EXPECT_EQ(b.m_icons[1].hIcon.pixel(0, 0), qRgb(140, 140, 140));
}

TEST_F(ButtonTest, DisabledIconIsAlwaysEmbossed) {
    QWidget parent;
    CBtnST b(&parent);
    b.resize(35, 23);
    ASSERT_EQ(b.SetIcon(Solid(16, 16, 0xFFFF0000), QImage()), 0);
    b.setEnabled(false);
    for (int look : {1, 0}) {
        b.m_bDisabledLook = look;
        QImage img = Render(b);
        EXPECT_EQ(Count(img, RGB(255, 0, 0)), 0) << look;
        EXPECT_EQ(Px(img, 12, 8), kShadow) << look;
        EXPECT_EQ(Px(img, 25, 19), kLight) << look; // the highlight one pixel down and right
    }
}

TEST_F(ButtonTest, BitmapTransparencyAndDisabledLook) {
    QWidget parent;
    CBtnST b(&parent);
    b.resize(40, 30);
    QImage bmp = Solid(20, 10, 0xFF00FF00);
    for (int x = 10; x < 20; ++x) {
        for (int y = 0; y < 10; ++y) {
            bmp.setPixel(x, y, qRgb(200, 30, 40));
        }
    }
    ASSERT_EQ(b.SetBitmaps(bmp, RGB(0, 255, 0), QImage(), 0), 0);
    EXPECT_EQ(b.m_bitmaps[0].hBitmap.pixel(0, 0) & 0xFFFFFF, 0u); // green made black in place
    // Placed at (10, 10): the green half shows the background fill, the rest its colour.
    QImage filled = Render(b);
    EXPECT_EQ(Px(filled, 12, 12), kFace);
    EXPECT_EQ(Px(filled, 24, 12), RGB(200, 30, 40));

    b.DrawTransparent(false);
    QImage over = Render(b, 0xFF3366CC);
    EXPECT_EQ(Px(over, 12, 12), RGB(0x33, 0x66, 0xCC)); // what lies under the button
    EXPECT_EQ(Px(over, 24, 12), RGB(200, 30, 40));

    // Disabled: full colour with the look cleared (the logo), embossed with it set.
    b.setEnabled(false);
    b.m_bDisabledLook = 0;
    EXPECT_EQ(Px(Render(b, 0xFF3366CC), 24, 12), RGB(200, 30, 40));
    b.m_bDisabledLook = 1;
    QImage embossed = Render(b, 0xFF3366CC);
    EXPECT_EQ(Count(embossed, RGB(200, 30, 40)), 0);
    EXPECT_EQ(Px(embossed, 24, 12), kShadow);
    EXPECT_EQ(Px(embossed, 12, 12), RGB(0x33, 0x66, 0xCC)); // the transparent part stays clear
}

TEST_F(ButtonTest, ImagePlacementTables) {
    CBtnST b;
    b.resize(100, 40);
    ui::Rect item{0, 0, 100, 40};
    ui::Rect t = item;
    ui::Rect i = b.PlaceImage(true, item, t, false, 16, 16);
    EXPECT_EQ(i, (ui::Rect{3, 12, 100, 40}));
    EXPECT_EQ(t.left, 3 + 16);
    t = item;
    EXPECT_EQ(b.PlaceImage(false, item, t, true, 16, 16), (ui::Rect{43, 13, 100, 40}));
    EXPECT_EQ(b.SetImageAlignment(CBtnST::ST_ALIGN_VERT), 0);
    t = item;
    EXPECT_EQ(b.PlaceImage(true, item, t, false, 16, 16), (ui::Rect{42, 3, 100, 40}));
    EXPECT_EQ(t.top, 16);
    EXPECT_EQ(b.SetImageAlignment(CBtnST::ST_ALIGN_HORIZ_RIGHT), 0);
    t = item;
    EXPECT_EQ(b.PlaceImage(true, item, t, false, 16, 16), (ui::Rect{81, 12, 100, 40}));
    EXPECT_EQ(t.left, 3);
    EXPECT_EQ(t.right, 100 - 3 - 16);
    t = item;
    EXPECT_EQ(b.PlaceImage(false, item, t, false, 16, 16), (ui::Rect{42, 0, 100, 40}));
    EXPECT_EQ(b.SetImageAlignment(CBtnST::ST_ALIGN_OVERLAP), 0);
    t = item;
    EXPECT_EQ(b.PlaceImage(true, item, t, false, 16, 16), item);
    b.m_bCheckBox = 1; // check boxes do not shift when pressed
    EXPECT_EQ(b.PlaceImage(true, item, t, true, 16, 16), item);
}

TEST_F(ButtonTest, CaptionCentredWrappedAndDisabledTwice) {
    QWidget parent;
    CBtnST b(&parent);
    b.resize(60, 60);
    b.setText("Snap It Now Please Wrapped");
    QImage img = Render(b);
    QRect ink;
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 60; ++x) {
            if (Px(img, x, y) == kText) {
                ink |= QRect(x, y, 1, 1);
            }
        }
    }
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_GT(ink.height(), QFontMetrics(b.font()).height()); // more than one line
    EXPECT_LE(std::abs(ink.center().x() - 30), 3);
    EXPECT_LE(std::abs(ink.center().y() - 30), 3);

    b.setEnabled(false);
    QImage dis = Render(b);
    EXPECT_EQ(Count(dis, kText), 0);
    int light = 0, matched = 0;
    for (int y = 1; y < 60; ++y) {
        for (int x = 1; x < 60; ++x) {
            if (Px(dis, x, y) == kLight) {
                ++light;
                // Every highlight pixel whose twin is not covered by the shadow copy lies one
                // pixel down and right of a shadow pixel or of another highlight pixel.
                COLORREF up = Px(dis, x - 1, y - 1);
                matched += up == kShadow || up == kLight;
            }
        }
    }
    EXPECT_GT(light, 10);
    EXPECT_GT(Count(dis, kShadow), 10);
    EXPECT_GT(matched, light / 2);
}

TEST_F(ButtonTest, HoverRules) {
    QWidget top;
    top.resize(200, 100);
    auto* b = new InactiveApp(&top);
    b->setGeometry(10, 10, 60, 30);
    auto* cover = new QWidget(&top);
    cover->setGeometry(50, 10, 20, 30); // lies over the button's right part
    top.show();
    top.activateWindow();
    QApplication::processEvents();

    Mouse(b, QEvent::MouseMove, {10, 10}, Qt::NoButton);
    EXPECT_EQ(b->m_bHover, 1);
    Mouse(b, QEvent::MouseMove, {45, 10}, Qt::NoButton);
    EXPECT_EQ(b->m_bHover, 0); // the pointer is over the covering window
    // The left button held: entering does not start the hover ...
    Mouse(b, QEvent::MouseMove, {10, 10}, Qt::LeftButton);
    EXPECT_EQ(b->m_bHover, 0);
    // ... but an existing hover is kept.
    Mouse(b, QEvent::MouseMove, {10, 10}, Qt::NoButton);
    ASSERT_EQ(b->m_bHover, 1);
    Mouse(b, QEvent::MouseMove, {12, 12}, Qt::LeftButton);
    EXPECT_EQ(b->m_bHover, 1);
    // Leaving ends it.
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(b, &leave);
    EXPECT_EQ(b->m_bHover, 0);

    // Inactive application: with tracking when inactive it still hovers, without it does not.
    b->active = false;
    Mouse(b, QEvent::MouseMove, {10, 10}, Qt::NoButton);
    EXPECT_EQ(b->m_bHover, 1);
    b->SetTrackWhenInactive(false);
    Mouse(b, QEvent::MouseMove, {11, 10}, Qt::NoButton);
    EXPECT_EQ(b->m_bHover, 0);
    b->active = true;
    Mouse(b, QEvent::MouseMove, {10, 10}, Qt::NoButton);
    EXPECT_EQ(b->m_bHover, 1);
    // Disabling ends it.
    b->setEnabled(false);
    EXPECT_EQ(b->m_bHover, 0);
    b->setEnabled(true);
    // A raised button never hovers.
    b->SetFlat(false);
    Mouse(b, QEvent::MouseMove, {10, 10}, Qt::NoButton);
    EXPECT_EQ(b->m_bHover, 0);
}

TEST_F(ButtonTest, DoubleClickCountsTwice) {
    QWidget top;
    auto* b = new CBtnST(&top);
    b->setGeometry(0, 0, 40, 20);
    top.show();
    int clicks = 0;
    QObject::connect(b, &QAbstractButton::clicked, [&] { ++clicks; });
    QPoint p(5, 5);
    Mouse(b, QEvent::MouseButtonPress, p, Qt::LeftButton, Qt::LeftButton);
    Mouse(b, QEvent::MouseButtonRelease, p, Qt::NoButton, Qt::LeftButton);
    Mouse(b, QEvent::MouseButtonDblClick, p, Qt::LeftButton, Qt::LeftButton);
    Mouse(b, QEvent::MouseButtonRelease, p, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(clicks, 2);
}

TEST_F(ButtonTest, SetterResultCodesReleaseImages) {
    CBtnST b;
    ASSERT_EQ(b.SetIcon(Solid(16, 16, 0xFFFF0000), QImage()), 0);
    EXPECT_EQ(b.SetIcon(987654, 0), CBtnST::BTNST_INVALIDRESOURCE);
    EXPECT_TRUE(b.m_icons[0].hIcon.isNull());
    ui::RegisterIconResource(90001, Solid(16, 16, 0xFF00FF00));
    EXPECT_EQ(b.SetIcon(90001, 987654), CBtnST::BTNST_INVALIDRESOURCE);
    EXPECT_TRUE(b.m_icons[0].hIcon.isNull());
    EXPECT_EQ(b.SetIcon(90001, CBtnST::IMAGE_AUTO_DARKER), 0);
    EXPECT_FALSE(b.m_icons[1].hIcon.isNull());
    EXPECT_EQ(b.SetBitmaps(987654, 0, 0, 0), CBtnST::BTNST_INVALIDRESOURCE);
    EXPECT_TRUE(b.m_icons[0].hIcon.isNull()); // a failed setter leaves no image at all
    EXPECT_EQ(b.SetImageAlignment(4), CBtnST::BTNST_INVALIDALIGN);
    EXPECT_EQ(b.SetPressedOffsetStyle(1), 0);
    EXPECT_EQ(b.m_nPressedOffsetX, 0);
    EXPECT_EQ(b.m_nPressedOffsetY, 2);
    EXPECT_EQ(b.SetPressedOffsetStyle(2), CBtnST::BTNST_INVALIDPRESSEDSTYLE);
    EXPECT_EQ(b.SetStateColor(6, 0), CBtnST::BTNST_INVALIDINDEX);
    COLORREF c = 0;
    EXPECT_EQ(b.GetStateColor(7, &c), CBtnST::BTNST_INVALIDINDEX);
    EXPECT_EQ(b.SetStateColor(2, RGB(250, 100, 10)), 0);
    EXPECT_EQ(b.ShadeStateColor(2, 300), CBtnST::BTNST_BADPARAM);
    EXPECT_EQ(b.ShadeStateColor(2, 20), 0);
    b.GetStateColor(2, &c);
    EXPECT_EQ(c, RGB(255, 105, 15)); // cut back so no channel passes 255
    EXPECT_EQ(b.ShadeStateColor(2, -50), 0);
    b.GetStateColor(2, &c);
    EXPECT_EQ(c, RGB(240, 90, 0));
    b.ResetColors();
    b.GetStateColor(2, &c);
    EXPECT_EQ(c, kFace);
    QImage dc = Solid(100, 100, 0xFF000000);
    EXPECT_EQ(b.SetBackgroundFrom(&dc), CBtnST::BTNST_BADPARAM);
    b.DrawTransparent();
    EXPECT_EQ(b.SetBackgroundFrom(nullptr), CBtnST::BTNST_BADPARAM);
    EXPECT_EQ(b.SetBackgroundFrom(&dc), 0);
    EXPECT_EQ(b.SetHoverCursor(0), 0);
    EXPECT_EQ(b.SetHoverCursor(4711), CBtnST::BTNST_INVALIDRESOURCE);
    EXPECT_EQ(b.SetDropMenu(4711, nullptr), CBtnST::BTNST_INVALIDRESOURCE);

    ui::RegisterBitmapResource(90002, Solid(30, 20, 0xFF102030));
    ASSERT_EQ(b.SetBitmaps(90002, RGB(0, 255, 0), 0, 0), 0);
    EXPECT_EQ(b.FitToImage(), 0);
    EXPECT_EQ(b.size(), QSize(30, 20));
    EXPECT_EQ(b.m_nImageMarginX, 0);
}

TEST_F(ButtonTest, CapturedBackgroundIsDroppedWhenTheButtonMoves) {
    QWidget parent;
    CBtnST b(&parent);
    b.setGeometry(0, 0, 10, 10);
    b.DrawTransparent();
    QImage dc = Solid(50, 50, 0xFF112233);
    ASSERT_EQ(b.SetBackgroundFrom(&dc), 0);
    b.SetFlat(true);
    EXPECT_EQ(Px(Render(b, 0xFFFFFFFF), 5, 5), RGB(0x11, 0x22, 0x33));
    b.move(20, 20);
    EXPECT_EQ(Px(Render(b, 0xFFFFFFFF), 5, 5), RGB(255, 255, 255));
    ASSERT_EQ(b.SetBackgroundFrom(&dc), 0);
    b.resize(12, 12);
    EXPECT_EQ(Px(Render(b, 0xFFFFFFFF), 5, 5), RGB(255, 255, 255));
}

TEST_F(ButtonTest, LinkTextIsCutWithoutSplittingACharacter) {
    CBtnST b;
    std::string longText(300, 'a');
    b.SetLinkUrl(longText.c_str());
    EXPECT_EQ(std::strlen(b.LinkUrl()), 259u);
    std::string utf = std::string(258, 'b') + "\xC3\xA9" + "tail";
    b.SetLinkUrl(utf.c_str());
    EXPECT_EQ(std::string(b.LinkUrl()), std::string(258, 'b'));
    b.SetLinkUrl(nullptr);
    EXPECT_STREQ(b.LinkUrl(), "");

    QString opened;
    ui::SetOpenHandler([&](const QString& t) {
        opened = t;
        return true;
    });
    b.SetLinkUrl("http://example.org/");
    b.click();
    EXPECT_EQ(opened, "http://example.org/");
    ui::SetOpenHandler({});
}

TEST_F(ButtonTest, CheckBoxBehaviour) {
    CBtnST b;
    b.resize(40, 20);
    b.PreSubclassWindow(CBtnST::BS_AUTOCHECKBOX);
    b.SetCheck(2);
    EXPECT_EQ(b.GetCheck(), 1);
    b.SetCheck(5);
    EXPECT_EQ(b.GetCheck(), 0);
    b.click();
    EXPECT_EQ(b.GetCheck(), 1);
    b.SetFlat(false);
    EXPECT_EQ(Px(Render(b), 0, 0), kShadow); // checked draws pressed
    b.click();
    EXPECT_EQ(b.GetCheck(), 0);
}

TEST_F(ButtonTest, DropMenuNotifiesTracksAndPostsTheCommand) {
    ui::RegisterMenuResource(300, [] {
        auto* bar = new QMenu;
        QMenu* sub = bar->addMenu("sub");
        sub->addAction("One")->setData(40001);
        return bar;
    });
    MenuButton b;
    Recorder owner;
    ASSERT_EQ(b.SetDropMenu(300, &owner), 0);
    b.SetDropMenuNotify(&owner, 0x8001, 77);
    b.choose = 40001;
    b.click();
    EXPECT_EQ(b.pressedWhileOpen, 1);
    EXPECT_EQ(b.m_bMenuShown, 0);
    EXPECT_EQ(owner.notes, std::vector<int>{0x8001});
    EXPECT_EQ(owner.lastValue, 77u);
    QApplication::processEvents();
    EXPECT_EQ(owner.commands, std::vector<int>{40001});
    EXPECT_EQ(b.SetDropMenu(0, nullptr), 0);
    EXPECT_EQ(b.m_hDropMenu, nullptr);
}

TEST_F(ButtonTest, TooltipAndSounds) {
    CBtnST b;
    b.SetTooltipText(static_cast<const QString*>(nullptr));
    EXPECT_FALSE(b.TooltipActive());
    b.SetTooltipText(QString("Start Stillo"), true);
    EXPECT_TRUE(b.TooltipActive());
    EXPECT_EQ(b.TooltipText(), "Start Stillo");
    b.EnableTooltip(false);
    EXPECT_FALSE(b.TooltipActive());
    b.SetTooltipText(55555, true); // an id without a string does nothing
    EXPECT_EQ(b.TooltipText(), "Start Stillo");
    ui::RegisterStringResource(55556, "Stop Stillo");
    b.SetTooltipText(55556, true);
    EXPECT_EQ(b.TooltipText(), "Stop Stillo");
    EXPECT_TRUE(b.TooltipActive());

    EXPECT_EQ(b.SetStateSound("/nonexistent/click.wav", nullptr, true, true), 0);
    EXPECT_EQ(b.m_sounds[1].dwFlags, 0x20000u | 0x2002u | 1u);
    EXPECT_STREQ(b.m_sounds[1].lpszSound, "/nonexistent/click.wav");
    static const int module = 0;
    EXPECT_EQ(b.SetStateSound("HOVER", &module, false, false), 0);
    EXPECT_EQ(b.m_sounds[0].dwFlags, 0x40004u | 0x2002u);
    b.click(); // a missing sound file plays nothing and does not block
    EXPECT_EQ(b.SetStateSound(nullptr, nullptr, true, false), 0);
    EXPECT_EQ(b.m_sounds[1].lpszSound, nullptr);
}

// Tips never show over a disabled button. Each is one line, as high as a one-word tip, unless
// it is wider than 400 pixels: then it breaks at its blanks into lines no wider than that.
TEST_F(ButtonTest, TooltipsAreOneLineAndNeverShowOverADisabledButton) {
    QWidget top;
    auto* b = new CBtnST(&top);
    b->setGeometry(0, 0, 40, 20);
    b->SetTooltipText(QString("Play Video"), true);
    top.show();
    QApplication::processEvents();
    auto help = [&] {
        QHelpEvent ev(QEvent::ToolTip, QPoint(5, 5), b->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(b, &ev);
        QApplication::processEvents();
        return QToolTip::isVisible();
    };
    b->setEnabled(false);
    EXPECT_FALSE(help());
    b->setEnabled(true);
    b->EnableTooltip(false);
    EXPECT_FALSE(help());
    b->EnableTooltip(true);
    if (!help()) {
        GTEST_SKIP() << "tooltips do not show on this platform";
    }
    EXPECT_EQ(QToolTip::text().toStdString(), "Play Video");

    auto tipHeight = [&](const QString& text) {
        b->SetTooltipText(text, true);
        EXPECT_TRUE(help()) << text.toStdString();
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->inherits("QTipLabel") && w->isVisible()) {
                return w->height();
            }
        }
        return -1;
    };
    const int oneLine = tipHeight("Play");
    ASSERT_GT(oneLine, 0);
    // A text that looks like markup shows as it is written.
    for (const char* text : {"Play Video Backwards", "Rewind Faster", "Step <b>Back</b> & On"}) {
        EXPECT_EQ(tipHeight(text), oneLine) << text;
        QString shown = QToolTip::text();
        if (Qt::mightBeRichText(shown)) {
            shown = QTextDocumentFragment::fromHtml(shown).toPlainText();
        }
        EXPECT_EQ(shown.toStdString(), text);
    }
    const QString wide = QString("Step Forwards ").repeated(20).trimmed();
    EXPECT_GT(tipHeight(wide), oneLine);
    const QStringList lines = QToolTip::text().split('\n');
    EXPECT_GT(lines.size(), 1);
    EXPECT_EQ(lines.join(' ').toStdString(), wide.toStdString());
    const QFontMetrics fm(QToolTip::font());
    for (const QString& line : lines) {
        EXPECT_LE(fm.horizontalAdvance(line), 400) << line.toStdString();
    }
    QToolTip::hideText();
}

TEST_F(ButtonTest, FocusRectangleOnRaisedButtons) {
    QWidget top;
    auto* b = new CBtnST(&top);
    b->setGeometry(0, 0, 40, 20);
    b->SetFlat(false);
    top.show();
    top.activateWindow();
    b->setFocus();
    QApplication::processEvents();
    if (!b->hasFocus()) {
        GTEST_SKIP() << "no keyboard focus on this platform";
    }
    QImage img = Render(*b);
    EXPECT_EQ(Px(img, 0, 0), RGB(0, 0, 0)); // focused raised buttons get the black frame
    // The dotted focus rectangle inverts the face colour 4 pixels in (frame + 3).
    COLORREF inv = RGB(255 - 200, 255 - 200, 255 - 200);
    EXPECT_EQ(Px(img, 4, 4), inv);
    EXPECT_EQ(Px(img, 5, 4), kFace);
}
