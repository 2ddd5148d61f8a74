// Deinterlacing dialog (154): whether frames are taken at half size.
#pragma once

#include "platform/ui/dialog.h"

class CDeinterlacing : public ui::Dialog {
public:
    explicit CDeinterlacing(QWidget* pParent);

    static ui::DialogTemplate Template();

    void OnInitDialog() override;
    void OnNoDeinterlacing();
    void OnDestructiveDeinterlacing();

    // 0 = "No Deinterlacing", 1 = "Destructive Deinterlacing".
    int m_nDeinterlace = 0;
};
