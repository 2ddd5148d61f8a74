#include "Deinterlacing.h"
#include "ImageTrimDlg.h"
#include "OutputSettings.h"
#include "platform/ui/controls.h"
#include "res/resource.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

namespace {

ui::Trackbar* Slider(ui::Dialog& d, int id) {
    return d.Item<ui::Trackbar>(id);
}
QString Edit(ui::Dialog& d, int id) {
    return d.Item<QLineEdit>(id)->text();
}

} // namespace

TEST(ImageTrimDialog, StartsAtTwoPercentAndShowsIt) {
    QWidget form;
    int redraws = 0;
    CImageTrimDlg dlg(&form, [&] { ++redraws; });
    EXPECT_EQ(dlg.m_pWorkView, &form);
    dlg.OnInitDialog();
    EXPECT_EQ(dlg.size(), QSize(279, 289));
    EXPECT_EQ(dlg.windowTitle(), "Image Trim");
    for (int id : {IDC_TRIM_TOP, IDC_TRIM_BOTTOM, IDC_TRIM_LEFT, IDC_TRIM_RIGHT}) {
        EXPECT_EQ(Slider(dlg, id)->value(), 2);
        EXPECT_EQ(Slider(dlg, id)->minimum(), 0);
        EXPECT_EQ(Slider(dlg, id)->maximum(), 100);
        EXPECT_EQ(Slider(dlg, id)->tickInterval(), 10);
        EXPECT_EQ(Slider(dlg, id)->tickPosition(), QSlider::TicksAbove);
    }
    for (int id :
         {IDC_TRIM_TOP_EDIT, IDC_TRIM_BOTTOM_EDIT, IDC_TRIM_LEFT_EDIT, IDC_TRIM_RIGHT_EDIT}) {
        EXPECT_EQ(Edit(dlg, id), "2");
    }
    EXPECT_EQ(redraws, 1);
}

TEST(ImageTrimDialog, TheMovedSliderIsCutBackSoItsPairStaysWithin95) {
    int redraws = 0;
    CImageTrimDlg dlg(nullptr, [&] { ++redraws; });
    dlg.OnInitDialog();
    Slider(dlg, IDC_TRIM_TOP)->setValue(60);
    EXPECT_EQ(dlg.m_nTrimTop, 60);
    Slider(dlg, IDC_TRIM_BOTTOM)->setValue(50);
    EXPECT_EQ(dlg.m_nTrimBottom, 35);
    EXPECT_EQ(Slider(dlg, IDC_TRIM_BOTTOM)->value(), 35);
    EXPECT_EQ(Edit(dlg, IDC_TRIM_BOTTOM_EDIT), "35");
    EXPECT_EQ(dlg.m_nTrimTop, 60); // the other of the pair is left alone
    EXPECT_EQ(redraws, 3);         // every change redraws the frame preview

    // Exactly 95 is allowed; the left-right pair follows the same rule independently.
    Slider(dlg, IDC_TRIM_BOTTOM)->setValue(35);
    EXPECT_EQ(dlg.m_nTrimBottom + dlg.m_nTrimTop, 95);
    Slider(dlg, IDC_TRIM_RIGHT)->setValue(90);
    Slider(dlg, IDC_TRIM_LEFT)->setValue(40);
    EXPECT_EQ(dlg.m_nTrimRight, 90);
    EXPECT_EQ(dlg.m_nTrimLeft, 5);
    EXPECT_EQ(Edit(dlg, IDC_TRIM_LEFT_EDIT), "5");
    EXPECT_EQ(Edit(dlg, IDC_TRIM_RIGHT_EDIT), "90");
    Slider(dlg, IDC_TRIM_RIGHT)->setValue(100);
    EXPECT_EQ(dlg.m_nTrimRight, 90);

    // The keyboard obeys the same rule.
    Slider(dlg, IDC_TRIM_TOP)->setFocus();
    QTest::keyClick(Slider(dlg, IDC_TRIM_TOP), Qt::Key_Right);
    EXPECT_EQ(dlg.m_nTrimTop, 60);
    QTest::keyClick(Slider(dlg, IDC_TRIM_TOP), Qt::Key_Left);
    EXPECT_EQ(dlg.m_nTrimTop, 59);
    EXPECT_EQ(Edit(dlg, IDC_TRIM_TOP_EDIT), "59");
}

TEST(ImageTrimDialog, CancelKeepsMovedValuesAndReopeningShowsThem) {
    CImageTrimDlg dlg(nullptr, {});
    QTimer::singleShot(0, &dlg, [&] {
        Slider(dlg, IDC_TRIM_LEFT)->setValue(17);
        dlg.Item<QPushButton>(IDCANCEL)->click();
    });
    EXPECT_EQ(dlg.DoModal(), 2);
    EXPECT_EQ(dlg.m_nTrimLeft, 17);
    QTimer::singleShot(0, &dlg, [&] {
        EXPECT_EQ(Slider(dlg, IDC_TRIM_LEFT)->value(), 17);
        EXPECT_EQ(Edit(dlg, IDC_TRIM_LEFT_EDIT), "17");
        dlg.Item<QPushButton>(IDOK)->click();
    });
    EXPECT_EQ(dlg.DoModal(), 1);
}

// The number boxes only show values: neither a click nor Tab gives them the focus, so no key
// reaches them, and they look read-only, the window's colour behind their text.
TEST(SettingsDialogs, NumberBoxesTakeNoFocusAndLookReadOnly) {
    CImageTrimDlg trim(nullptr, {});
    COutputSettings quality(nullptr, {});
    for (ui::Dialog* dlg : std::initializer_list<ui::Dialog*>{&trim, &quality}) {
        dlg->OnInitDialog();
        dlg->show();
        dlg->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dlg));
        const auto edits = dlg->findChildren<QLineEdit*>();
        ASSERT_EQ(edits.size(), dlg == &trim ? 4 : 1);
        for (QLineEdit* edit : edits) {
            QTest::mouseClick(edit, Qt::LeftButton);
            EXPECT_FALSE(edit->hasFocus());
            const QImage look = edit->grab().toImage(); // inside the frame, right of the number
            EXPECT_EQ(look.pixel(look.width() - 5, look.height() / 2),
                      dlg->palette().color(QPalette::Window).rgb());
        }
        for (int i = 0; i < 12; ++i) {
            QTest::keyClick(dlg->focusWidget(), Qt::Key_Tab);
            ASSERT_FALSE(qobject_cast<QLineEdit*>(dlg->focusWidget())) << i;
        }
        dlg->hide();
    }
}

TEST(DeinterlacingDialog, RadiosWriteTheModeAtOnce) {
    CDeinterlacing dlg(nullptr);
    EXPECT_EQ(dlg.m_nDeinterlace, 0);
    dlg.OnInitDialog();
    EXPECT_EQ(dlg.size(), QSize(188, 107));
    auto* destructive = dlg.Item<QRadioButton>(IDC_DESTRUCTIVE_DEINTERLACING);
    auto* none = dlg.Item<QRadioButton>(IDC_NO_DEINTERLACING);
    EXPECT_EQ(destructive->text(), "Destructive Deinterlacing");
    EXPECT_EQ(none->text(), "No Deinterlacing");
    EXPECT_TRUE(none->isChecked());
    EXPECT_FALSE(destructive->isChecked());
    EXPECT_LT(destructive->y(), none->y());
    destructive->click();
    EXPECT_EQ(dlg.m_nDeinterlace, 1);
    EXPECT_FALSE(none->isChecked());
    none->click();
    EXPECT_EQ(dlg.m_nDeinterlace, 0);
    EXPECT_FALSE(destructive->isChecked());

    dlg.m_nDeinterlace = 1;
    QTimer::singleShot(0, &dlg, [&] {
        EXPECT_TRUE(destructive->isChecked());
        dlg.reject(); // Esc
    });
    EXPECT_EQ(dlg.DoModal(), 2);
    EXPECT_EQ(dlg.m_nDeinterlace, 1);
}

TEST(OutputSettingsDialog, QualityIsWrittenWhileTheSliderMoves) {
    QWidget form;
    int redraws = 0;
    COutputSettings dlg(&form, [&] { ++redraws; });
    EXPECT_EQ(dlg.m_nQuality, 90);
    dlg.OnInitDialog();
    EXPECT_EQ(dlg.size(), QSize(242, 140));
    EXPECT_EQ(dlg.windowTitle(), "Save Settings");
    EXPECT_EQ(Slider(dlg, IDC_QUALITY)->value(), 90);
    EXPECT_EQ(Slider(dlg, IDC_QUALITY)->maximum(), 100);
    EXPECT_EQ(Edit(dlg, IDC_QUALITY_EDIT), "90");
    EXPECT_EQ(redraws, 1);
    Slider(dlg, IDC_QUALITY)->setValue(100);
    EXPECT_EQ(dlg.m_nQuality, 100);
    EXPECT_EQ(Edit(dlg, IDC_QUALITY_EDIT), "100");
    Slider(dlg, IDC_QUALITY)->setValue(0);
    EXPECT_EQ(Edit(dlg, IDC_QUALITY_EDIT), "0");
    EXPECT_EQ(redraws, 3);
    QTimer::singleShot(0, &dlg, [&] {
        Slider(dlg, IDC_QUALITY)->setValue(45);
        dlg.Item<QPushButton>(IDCANCEL)->click();
    });
    dlg.DoModal();
    EXPECT_EQ(dlg.m_nQuality, 45); // Cancel does not undo
}
