// Save settings dialog (155): the JPEG quality of saved mosaics.
#pragma once

#include "platform/ui/dialog.h"

#include <functional>

class COutputSettings : public ui::Dialog {
public:
    // redrawMosaicView: the work form's mosaic-view redraw, called after every change.
    COutputSettings(QWidget* pWorkView, std::function<void()> redrawMosaicView);

    static ui::DialogTemplate Template();

    void OnInitDialog() override;
    void OnHScroll();
    void UpdateEdit();

    QWidget* m_pWorkView;
    int m_nQuality = 90;

private:
    std::function<void()> m_redrawMosaicView;
};
