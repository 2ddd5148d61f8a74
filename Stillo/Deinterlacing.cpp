#include "Deinterlacing.h"

#include "res/resource.h"

#include <QRadioButton>

using ui::ControlKind;

ui::DialogTemplate CDeinterlacing::Template() {
    ui::DialogTemplate t{IDD_DEINTERLACING, "Deinterlacing", 125, 66, {}};
    t.controls.push_back({ControlKind::AutoRadio, IDC_DESTRUCTIVE_DEINTERLACING,
                          "Destructive Deinterlacing", 7, 9, 114, 10, ui::WS_GROUP});
    t.controls.push_back(
        {ControlKind::AutoRadio, IDC_NO_DEINTERLACING, "No Deinterlacing", 7, 24, 114, 10, 0});
    t.controls.push_back({ControlKind::DefPushButton, IDOK, "OK", 8, 45, 50, 14, 0});
    t.controls.push_back({ControlKind::PushButton, IDCANCEL, "Cancel", 67, 45, 50, 14, 0});
    return t;
}

CDeinterlacing::CDeinterlacing(QWidget* pParent) : ui::Dialog(Template(), pParent) {
    connect(Item<QRadioButton>(IDC_NO_DEINTERLACING), &QRadioButton::clicked, this,
            [this] { OnNoDeinterlacing(); });
    connect(Item<QRadioButton>(IDC_DESTRUCTIVE_DEINTERLACING), &QRadioButton::clicked, this,
            [this] { OnDestructiveDeinterlacing(); });
}

void CDeinterlacing::OnInitDialog() {
    Item<QRadioButton>(IDC_DESTRUCTIVE_DEINTERLACING)->setChecked(m_nDeinterlace == 1);
    Item<QRadioButton>(IDC_NO_DEINTERLACING)->setChecked(m_nDeinterlace == 0);
}

void CDeinterlacing::OnNoDeinterlacing() {
    m_nDeinterlace = 0;
    Item<QRadioButton>(IDC_DESTRUCTIVE_DEINTERLACING)->setChecked(false);
    Item<QRadioButton>(IDC_NO_DEINTERLACING)->setChecked(true);
}

void CDeinterlacing::OnDestructiveDeinterlacing() {
    m_nDeinterlace = 1;
    Item<QRadioButton>(IDC_DESTRUCTIVE_DEINTERLACING)->setChecked(true);
    Item<QRadioButton>(IDC_NO_DEINTERLACING)->setChecked(false);
}
