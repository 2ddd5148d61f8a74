#include "platform/ui/controls.h"
#include "platform/ui/dialog.h"
#include "platform/ui/gdi.h"
#include "platform/ui/services.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

using namespace ui;

namespace {

QRgb At(const QImage& img, int x, int y) {
    return img.pixel(x, y) & 0xFFFFFF;
}
constexpr QRgb kWhite = 0xFFFFFF;

} // namespace

TEST(DialogUnits, ConvertWithBaseUnitsSixByThirteen) {
    // The work form and the settings dialogs come out at their known pixel sizes.
    EXPECT_EQ(DluToPxX(673), 1010);
    EXPECT_EQ(DluToPxY(419), 681);
    EXPECT_EQ(DluToPxX(186), 279);
    EXPECT_EQ(DluToPxY(178), 289);
    EXPECT_EQ(DluToPxX(125), 188);
    EXPECT_EQ(DluToPxY(66), 107);
    EXPECT_EQ(DluToPxX(161), 242);
    EXPECT_EQ(DluToPxY(86), 140);
    EXPECT_EQ(DluToPxX(235), 353);
    EXPECT_EQ(DluToPxY(90), 146);
    // The mosaic picture at x 16 with its 960 px ends where the vertical bar (656) begins.
    EXPECT_EQ(DluToPxX(16) + 960, DluToPxX(656));
}

TEST(DialogTemplates, PlaceControlsByIdAndKeepRadioGroupsApart) {
    DialogTemplate t{130, "Form", 200, 100, {}};
    t.controls = {
        {ControlKind::AutoRadio, 1015, "Edges", 10, 10, 36, 10, WS_GROUP},
        {ControlKind::AutoRadio, 1016, "Regions", 10, 24, 42, 10, 0},
        {ControlKind::AutoRadio, 1042, "Thick", 60, 10, 34, 10, WS_GROUP},
        {ControlKind::AutoRadio, 1043, "Thin", 60, 24, 30, 10, 0},
        {ControlKind::AutoCheck, 1039, "Blend", 100, 10, 34, 10, WS_GROUP},
        {ControlKind::AutoRadio, 1040, "Apart", 100, 50, 30, 10, 0}, // in a group of its own
        {ControlKind::Edit, 1003, "7", 100, 30, 40, 14, 0},
        {ControlKind::Trackbar, 1017, "", 10, 40, 100, 24, 0},
        {ControlKind::UpDown, 1014, "", 150, 40, 11, 14, 0},
        {ControlKind::VScroll, 1027, "", 180, 10, 10, 60, 0},
        {ControlKind::HScroll, 1028, "", 10, 80, 160, 11, 0},
        {ControlKind::Picture, 1010, "", 120, 60, 20, 20, 0},
        {ControlKind::PushButton, 1037, "Button1", 120, 70, 50, 14, WS_HIDDEN | WS_DISABLED},
        {ControlKind::GroupBox, ID_STATIC, "Mode", 5, 5, 50, 35, 0},
    };
    QWidget host;
    BuildControls(&host, t);
    EXPECT_EQ(host.size(), QSize(300, 163));
    auto* edges = FindControlAs<QRadioButton>(&host, 1015);
    auto* regions = FindControlAs<QRadioButton>(&host, 1016);
    auto* thick = FindControlAs<QRadioButton>(&host, 1042);
    auto* thin = FindControlAs<QRadioButton>(&host, 1043);
    ASSERT_TRUE(edges && regions && thick && thin);
    EXPECT_EQ(edges->geometry(), QRect(15, 16, 54, 16));
    edges->click();
    thick->click();
    EXPECT_TRUE(edges->isChecked()); // a click in the other group leaves this one alone
    regions->click();
    EXPECT_FALSE(edges->isChecked());
    EXPECT_TRUE(thick->isChecked());
    FindControlAs<QRadioButton>(&host, 1040)->click();
    EXPECT_TRUE(thick->isChecked());
    EXPECT_EQ(host.children().first(), host.findChild<QGroupBox*>()); // under the rest
    EXPECT_TRUE(FindControlAs<QLineEdit>(&host, 1003)->isReadOnly());
    EXPECT_EQ(FindControlAs<Trackbar>(&host, 1017)->maximum(), 100);
    EXPECT_EQ(FindControlAs<QScrollBar>(&host, 1027)->orientation(), Qt::Vertical);
    QWidget* hidden = FindControl(&host, 1037);
    EXPECT_TRUE(hidden->isHidden());
    EXPECT_FALSE(hidden->isEnabled());
    EXPECT_EQ(FindControl(&host, ID_STATIC), nullptr);
    EXPECT_EQ(FindControl(&host, 4242), nullptr);

    // A picture sizes itself to its bitmap and lets the mouse through to the form.
    auto* pic = FindControlAs<PictureControl>(&host, 1010);
    pic->SetBitmap(NewImage(275, 220, 0xFF000000));
    EXPECT_EQ(pic->size(), QSize(275, 220));
    EXPECT_TRUE(pic->testAttribute(Qt::WA_TransparentForMouseEvents));
}

TEST(Controls, UpDownMovesTowardsUpperAndTrackbarKeepsExplicitTicks) {
    UpDown spin;
    spin.SetRange(1, 12);
    spin.SetPos(1);
    std::vector<int> seen;
    QObject::connect(&spin, &UpDown::Scrolled, [&](int p) { seen.push_back(p); });
    spin.Step(+1);
    spin.Step(-1);
    spin.Step(-1); // already at the lower end: no notification
    EXPECT_EQ(seen, (std::vector<int>{2, 1}));
    spin.SetRange(12, 1); // reversed: up goes towards 1
    spin.SetPos(5);
    spin.Step(+1);
    EXPECT_EQ(spin.Pos(), 4);
    spin.SetPos(99);
    EXPECT_EQ(spin.Pos(), 12);

    Trackbar tb;
    tb.resize(300, 30);
    tb.setRange(0, 99);
    tb.SetTic(0);
    tb.SetTic(9);
    tb.SetTic(9);
    EXPECT_EQ(tb.Tics().size(), 2u);
    EXPECT_LT(tb.TicX(0), tb.TicX(9));
    tb.ClearTics();
    EXPECT_TRUE(tb.Tics().empty());
}

TEST(Gdi, LinesExcludeTheirEndAndOutlinesClose) {
    QImage img = NewImage(10, 10, 0xFFFFFFFF);
    Polyline(img, {{1, 1}, {5, 1}, {5, 4}}, RGB(255, 0, 0));
    EXPECT_EQ(At(img, 1, 1), 0xFF0000u);
    EXPECT_EQ(At(img, 4, 1), 0xFF0000u);
    EXPECT_EQ(At(img, 5, 1), 0xFF0000u); // start of the second segment
    EXPECT_EQ(At(img, 5, 3), 0xFF0000u);
    EXPECT_EQ(At(img, 5, 4), kWhite); // the last point is not drawn

    QImage box = NewImage(12, 12, 0xFFFFFFFF);
    ClosedOutline(box, 2, 3, 8, 9, RGB(0, 0, 255));
    for (QPoint p :
         {QPoint(2, 3), QPoint(8, 3), QPoint(8, 9), QPoint(2, 9), QPoint(5, 3), QPoint(2, 6)}) {
        EXPECT_EQ(At(box, p.x(), p.y()), 0x0000FFu) << p.x() << "," << p.y();
    }
    EXPECT_EQ(At(box, 5, 6), kWhite);
    EXPECT_EQ(At(box, 9, 9), kWhite);

    // Clipping at negative positions draws only what is inside.
    QImage clip = NewImage(6, 6, 0xFFFFFFFF);
    ClosedOutline(clip, -3, -3, 3, 3, RGB(0, 255, 0));
    EXPECT_EQ(At(clip, 3, 0), 0x00FF00u);
    EXPECT_EQ(At(clip, 0, 3), 0x00FF00u);
    EXPECT_EQ(At(clip, 4, 4), kWhite);

    QImage r3 = NewImage(6, 6, 0xFFFFFFFF);
    Draw3dRect(r3, 0, 0, 6, 6, RGB(255, 0, 0), RGB(0, 0, 255));
    EXPECT_EQ(At(r3, 0, 0), 0xFF0000u);
    EXPECT_EQ(At(r3, 0, 4), 0xFF0000u);
    EXPECT_EQ(At(r3, 5, 0), 0x0000FFu); // top-right pixel belongs to the right line
    EXPECT_EQ(At(r3, 0, 5), 0x0000FFu);
    EXPECT_EQ(At(r3, 2, 2), kWhite);

    // A picture of a form these primitives cannot write is left alone, not overrun.
    QImage grey(10, 10, QImage::Format_Grayscale8);
    grey.fill(7);
    FillRect(grey, {0, 0, 10, 10}, RGB(255, 255, 255));
    ClosedOutline(grey, 0, 0, 9, 9, RGB(255, 255, 255));
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 10; ++x) {
            ASSERT_EQ(grey.constScanLine(y)[x], 7) << x << "," << y;
        }
    }
}

TEST(Gdi, MaskAndThenPaintKeepsWhatLiesUnderTheTransparentColour) {
    QImage bmp = NewImage(2, 1, 0xFF00FF00);
    bmp.setPixel(1, 0, 0xFF123456);
    QImage mask = MakeMask(bmp, RGB(0, 255, 0), true);
    EXPECT_EQ(mask.pixel(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(mask.pixel(1, 0), 0xFF000000u);
    EXPECT_EQ(bmp.pixel(0, 0) & 0xFFFFFF, 0u); // the green pixel turned black in place
    QImage dst = NewImage(4, 1, 0xFFAABBCC);
    BitBlt(dst, 1, 0, mask, Rop::SrcAnd);
    BitBlt(dst, 1, 0, bmp, Rop::SrcPaint);
    EXPECT_EQ(dst.pixel(1, 0), 0xFFAABBCCu);
    EXPECT_EQ(dst.pixel(2, 0), 0xFF123456u);
    // Over a fully transparent target the transparent pixel stays transparent.
    QImage clear = NewImage(2, 1, 0);
    BitBlt(clear, 0, 0, mask, Rop::SrcAnd);
    BitBlt(clear, 0, 0, bmp, Rop::SrcPaint);
    EXPECT_EQ(qAlpha(clear.pixel(0, 0)), 0);
    EXPECT_EQ(clear.pixel(1, 0), 0xFF123456u);
}

TEST(Gdi, DisabledStateEmbossesTheSilhouette) {
    QImage icon = NewImage(3, 3, 0);
    icon.setPixel(1, 1, 0xFF204080);
    QImage dst = NewImage(5, 5, 0xFFFFFFFF);
    DrawStateDisabled(dst, 1, 1, icon, RGB(250, 250, 250), RGB(100, 100, 100));
    EXPECT_EQ(At(dst, 2, 2), 0x646464u); // dark in place
    EXPECT_EQ(At(dst, 3, 3), 0xFAFAFAu); // light one pixel down and right
    EXPECT_EQ(At(dst, 1, 1), kWhite);
}

TEST(Services, MessageBoxesAndPromptsCanBeReplaced) {
    std::vector<MessageRequest> seen;
    SetMessageHandler([&](const MessageRequest& r) {
        seen.push_back(r);
        return r.buttons == MsgButtons::YesNo ? int(IDNO) : int(IDOK);
    });
    EXPECT_EQ(MessageBox(nullptr, "Mosaic Complete", "Done"), IDOK);
    EXPECT_EQ(MessageBox(nullptr, "File exists. Overwrite?", "File Exists", MsgIcon::Question,
                         MsgButtons::YesNo),
              IDNO);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].caption, "Done");
    EXPECT_EQ(seen[1].icon, MsgIcon::Question);
    SetMessageHandler({});

    SetFilePromptHandler([](const FilePromptRequest& r) {
        return FilePromptResult{r.open, "/videos/" + r.title + "." + r.defaultExtension, "x"};
    });
    FilePromptResult res = PromptForFile({nullptr, true, "clip", "avi", "", false, ""});
    EXPECT_TRUE(res.ok);
    EXPECT_EQ(res.pathName, "/videos/clip.avi");
    SetFilePromptHandler({});

    EXPECT_EQ(ParseFilter("AVI Video Files (*.avi)|*.avi|MPEG Files (*.mpg)|*.mpg|All Files "
                          "(*.*)|*.*|"),
              (QStringList{"AVI Video Files (*.avi)", "MPEG Files (*.mpg)", "All Files (*.*)"}));
    EXPECT_EQ(ParseFilter("Jpeg Files|*.jpg|"), QStringList{"Jpeg Files (*.jpg)"});

    QString opened;
    SetOpenHandler([&](const QString& t) {
        opened = t;
        return true;
    });
    EXPECT_TRUE(ShellOpen("http://example.org/manual.htm"));
    EXPECT_EQ(opened, "http://example.org/manual.htm");
    EXPECT_FALSE(ShellOpen(""));
    SetOpenHandler({});
}

TEST(Services, CursorsAndSystemColours) {
    QWidget target;
    SetCursorTarget(&target);
    SetCursor(CursorKind::SizeNWSE);
    EXPECT_EQ(CurrentCursor(), CursorKind::SizeNWSE);
    EXPECT_EQ(target.cursor().shape(), Qt::SizeFDiagCursor);
    SetCursor(CursorKind::SizeWE);
    EXPECT_EQ(target.cursor().shape(), Qt::SizeHorCursor);
    SetCursorTarget(nullptr);
    {
        WaitCursor wait;
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    QPalette saved = QApplication::palette();
    QPalette pal = saved;
    pal.setColor(QPalette::Button, QColor(10, 20, 30));
    QApplication::setPalette(pal);
    QCoreApplication::processEvents();
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), RGB(10, 20, 30));
    QApplication::setPalette(saved);
    QCoreApplication::processEvents();
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), FromQRgb(saved.color(QPalette::Button).rgb()));
}

// A message box shown while a wait cursor covers the work takes the pointer with the arrow, and
// the wait cursor is back once the box is answered.
TEST(Services, MessageBoxUnderAWaitCursorShowsTheArrow) {
    const struct {
        bool busy;
        Qt::CursorShape during; // the override while the box is up; Bitmap for none
    } cases[] = {{true, Qt::ArrowCursor}, {false, Qt::BitmapCursor}};
    for (const auto& c : cases) {
        std::unique_ptr<WaitCursor> wait;
        if (c.busy) {
            wait = std::make_unique<WaitCursor>();
        }
        Qt::CursorShape during = Qt::WaitCursor;
        bool answered = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || answered) {
                return;
            }
            answered = true;
            const QCursor* shown = QApplication::overrideCursor();
            during = shown ? shown->shape() : Qt::BitmapCursor;
            box->button(QMessageBox::Ok)->click();
        });
        poll.start(5);
        EXPECT_EQ(MessageBox(nullptr, "Mosaic Complete", "Done"), IDOK);
        ASSERT_TRUE(answered);
        EXPECT_EQ(during, c.during) << c.busy;
        const QCursor* after = QApplication::overrideCursor();
        EXPECT_EQ(after ? after->shape() : Qt::BitmapCursor,
                  c.busy ? Qt::WaitCursor : Qt::BitmapCursor);
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(Services, ArtIsCompiledIn) {
    for (int id = 131; id <= 148; ++id) {
        QImage icon = LoadIconResource(id);
        ASSERT_FALSE(icon.isNull()) << id;
        EXPECT_EQ(icon.size(), QSize(16, 16));
    }
    EXPECT_EQ(LoadIconResource(128).size(), QSize(32, 32));
    EXPECT_EQ(LoadBitmapResource(102).size(), QSize(520, 316));
    QImage logo = LoadBitmapResource(152);
    ASSERT_FALSE(logo.isNull());
    EXPECT_EQ(logo.pixel(0, 0) & 0xFFFFFF, 0x00FF00u); // corners are the transparent green
    EXPECT_TRUE(LoadIconResource(999).isNull());
}
