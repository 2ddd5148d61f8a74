#include "ChildView.h"

#include "platform/ui/services.h"

#include <QPalette>

CChildView::CChildView(QWidget* parent) : QFrame(parent) {
    // A sunken client edge instead of a plain border, window colour behind, arrow cursor.
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, ui::ToQColor(ui::GetSysColor(ui::COLOR_WINDOW)));
    setPalette(pal);
    setCursor(Qt::ArrowCursor);
}
