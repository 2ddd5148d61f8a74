// Image trim dialog (153): the percentages cut from each side of every frame.
#pragma once

#include "platform/ui/dialog.h"

#include <atomic>
#include <functional>

class CImageTrimDlg : public ui::Dialog {
public:
    // pWorkView: the work form, parent of the dialog. redrawFramePreview: the work form's
    // frame-preview redraw, called after every change so the trim rectangle follows the sliders.
    CImageTrimDlg(QWidget* pWorkView, std::function<void()> redrawFramePreview);

    static ui::DialogTemplate Template();

    void OnInitDialog() override;
    // Any slider moved (mouse, keyboard, or programmatically): the moved one is cut back so its
    // pair sums to at most 95.
    void OnHScroll(int sliderId);
    void UpdateEdits();

    QWidget* m_pWorkView;
    // Read by the worker thread's preview drawing while the video plays.
    std::atomic<int> m_nTrimBottom{2};
    std::atomic<int> m_nTrimLeft{2};
    std::atomic<int> m_nTrimRight{2};
    std::atomic<int> m_nTrimTop{2};

private:
    void MoveSliders();
    int SliderPos(int id) const;

    std::function<void()> m_redrawFramePreview;
};
