#include "OutputSettings.h"

#include "platform/ui/controls.h"
#include "res/resource.h"

#include <QSignalBlocker>

using ui::ControlKind;

ui::DialogTemplate COutputSettings::Template() {
    ui::DialogTemplate t{IDD_OUTPUT_SETTINGS, "Save Settings", 161, 86, {}};
    t.controls.push_back({ControlKind::GroupBox, ui::ID_STATIC, "Jepg Quality", 7, 7, 147, 52, 0});
    t.controls.push_back({ControlKind::Label, ui::ID_STATIC, "Low", 13, 29, 16, 8, 0});
    t.controls.push_back({ControlKind::Label, ui::ID_STATIC, "0", 31, 29, 8, 8, 0});
    t.controls.push_back({ControlKind::Trackbar, IDC_QUALITY, "", 38, 22, 72, 22, 0});
    t.controls.push_back({ControlKind::Label, ui::ID_STATIC, "100", 110, 29, 14, 8, 0});
    t.controls.push_back({ControlKind::Edit, IDC_QUALITY_EDIT, "", 126, 27, 22, 14, 0});
    t.controls.push_back({ControlKind::DefPushButton, IDOK, "OK", 24, 66, 50, 14, 0});
    t.controls.push_back({ControlKind::PushButton, IDCANCEL, "Cancel", 86, 66, 50, 14, 0});
    return t;
}

COutputSettings::COutputSettings(QWidget* pWorkView, std::function<void()> redrawMosaicView)
    : ui::Dialog(Template(), pWorkView), m_pWorkView(pWorkView),
      m_redrawMosaicView(std::move(redrawMosaicView)) {
    auto* s = Item<ui::Trackbar>(IDC_QUALITY);
    s->SetTicFreq(1);
    connect(s, &QSlider::valueChanged, this, [this] { OnHScroll(); });
}

void COutputSettings::OnInitDialog() {
    auto* s = Item<ui::Trackbar>(IDC_QUALITY);
    {
        QSignalBlocker block(s);
        s->setValue(m_nQuality);
    }
    UpdateEdit();
}

void COutputSettings::OnHScroll() {
    m_nQuality = Item<ui::Trackbar>(IDC_QUALITY)->value();
    UpdateEdit();
}

void COutputSettings::UpdateEdit() {
    m_nQuality = Item<ui::Trackbar>(IDC_QUALITY)->value();
    SetDlgItemText(IDC_QUALITY_EDIT, QString::asprintf("%d", m_nQuality));
    if (m_redrawMosaicView) {
        m_redrawMosaicView();
    }
}
