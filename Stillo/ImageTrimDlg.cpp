#include "ImageTrimDlg.h"

#include "platform/ui/controls.h"
#include "res/resource.h"

#include <QSignalBlocker>

using ui::ControlKind;

namespace {
constexpr int kSliders[] = {IDC_TRIM_TOP, IDC_TRIM_BOTTOM, IDC_TRIM_LEFT, IDC_TRIM_RIGHT};
// A pair of opposite margins may take at most this much of the frame together.
constexpr int kMaxPairSum = 95;
} // namespace

ui::DialogTemplate CImageTrimDlg::Template() {
    ui::DialogTemplate t{IDD_IMAGE_TRIM, "Image Trim", 186, 178, {}};
    t.controls.push_back(
        {ControlKind::GroupBox, ui::ID_STATIC, "Image Trim Settings", 7, 7, 172, 140, 0});
    struct Row {
        const char* label;
        int slider, edit;
    };
    const Row rows[] = {{"Top", IDC_TRIM_TOP, IDC_TRIM_TOP_EDIT},
                        {"Bottom", IDC_TRIM_BOTTOM, IDC_TRIM_BOTTOM_EDIT},
                        {"Left", IDC_TRIM_LEFT, IDC_TRIM_LEFT_EDIT},
                        {"Right", IDC_TRIM_RIGHT, IDC_TRIM_RIGHT_EDIT}};
    int y = 20;
    for (const Row& r : rows) {
        t.controls.push_back({ControlKind::Label, ui::ID_STATIC, r.label, 13, y + 6, 28, 8, 0});
        t.controls.push_back({ControlKind::Label, ui::ID_STATIC, "0%", 42, y + 6, 12, 8, 0});
        t.controls.push_back({ControlKind::Trackbar, r.slider, "", 54, y, 72, 22, 0});
        t.controls.push_back({ControlKind::Label, ui::ID_STATIC, "100%", 127, y + 6, 22, 8, 0});
        t.controls.push_back({ControlKind::Edit, r.edit, "", 151, y + 4, 22, 14, 0});
        y += 30;
    }
    t.controls.push_back({ControlKind::DefPushButton, IDOK, "OK", 36, 155, 50, 14, 0});
    t.controls.push_back({ControlKind::PushButton, IDCANCEL, "Cancel", 100, 155, 50, 14, 0});
    return t;
}

CImageTrimDlg::CImageTrimDlg(QWidget* pWorkView, std::function<void()> redrawFramePreview)
    : ui::Dialog(Template(), pWorkView), m_pWorkView(pWorkView),
      m_redrawFramePreview(std::move(redrawFramePreview)) {
    for (int id : kSliders) {
        auto* s = Item<ui::Trackbar>(id);
        connect(s, &QSlider::valueChanged, this, [this, id] { OnHScroll(id); });
    }
}

int CImageTrimDlg::SliderPos(int id) const {
    return Item<ui::Trackbar>(id)->value();
}

void CImageTrimDlg::MoveSliders() {
    const std::pair<int, int> values[] = {{IDC_TRIM_TOP, m_nTrimTop},
                                          {IDC_TRIM_BOTTOM, m_nTrimBottom},
                                          {IDC_TRIM_LEFT, m_nTrimLeft},
                                          {IDC_TRIM_RIGHT, m_nTrimRight}};
    for (auto [id, v] : values) {
        auto* s = Item<ui::Trackbar>(id);
        // Moving a slider from here must not come back as a user move.
        QSignalBlocker block(s);
        s->setValue(v);
    }
}

void CImageTrimDlg::OnInitDialog() {
    MoveSliders();
    for (int id : kSliders) {
        auto* s = Item<ui::Trackbar>(id);
        QSignalBlocker block(s);
        s->setRange(0, 100);
        s->SetTicFreq(10);
    }
    UpdateEdits();
}

void CImageTrimDlg::OnHScroll(int sliderId) {
    m_nTrimTop = SliderPos(IDC_TRIM_TOP);
    m_nTrimBottom = SliderPos(IDC_TRIM_BOTTOM);
    m_nTrimLeft = SliderPos(IDC_TRIM_LEFT);
    m_nTrimRight = SliderPos(IDC_TRIM_RIGHT);
    switch (sliderId) {
    case IDC_TRIM_TOP:
        if (m_nTrimBottom + m_nTrimTop > kMaxPairSum) {
            m_nTrimTop = kMaxPairSum - m_nTrimBottom;
        }
        break;
    case IDC_TRIM_BOTTOM:
        if (m_nTrimTop + m_nTrimBottom > kMaxPairSum) {
            m_nTrimBottom = kMaxPairSum - m_nTrimTop;
        }
        break;
    case IDC_TRIM_LEFT:
        if (m_nTrimLeft + m_nTrimRight > kMaxPairSum) {
            m_nTrimLeft = kMaxPairSum - m_nTrimRight;
        }
        break;
    case IDC_TRIM_RIGHT:
        if (m_nTrimLeft + m_nTrimRight > kMaxPairSum) {
            m_nTrimRight = kMaxPairSum - m_nTrimLeft;
        }
        break;
    default:
        break;
    }
    MoveSliders();
    UpdateEdits();
}

void CImageTrimDlg::UpdateEdits() {
    m_nTrimTop = SliderPos(IDC_TRIM_TOP);
    m_nTrimBottom = SliderPos(IDC_TRIM_BOTTOM);
    m_nTrimLeft = SliderPos(IDC_TRIM_LEFT);
    m_nTrimRight = SliderPos(IDC_TRIM_RIGHT);
    SetDlgItemText(IDC_TRIM_TOP_EDIT, QString::asprintf("%d", m_nTrimTop.load()));
    SetDlgItemText(IDC_TRIM_BOTTOM_EDIT, QString::asprintf("%d", m_nTrimBottom.load()));
    SetDlgItemText(IDC_TRIM_RIGHT_EDIT, QString::asprintf("%d", m_nTrimRight.load()));
    SetDlgItemText(IDC_TRIM_LEFT_EDIT, QString::asprintf("%d", m_nTrimLeft.load()));
    if (m_redrawFramePreview) {
        m_redrawFramePreview();
    }
}
