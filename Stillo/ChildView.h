// The frame's client view: a plain window with a client edge that parents the display window.
#pragma once

#include <QFrame>

class CChildView : public QFrame {
    Q_OBJECT
public:
    explicit CChildView(QWidget* parent = nullptr);

protected:
    // Draws nothing: the display window and the work form cover the view.
    void paintEvent(QPaintEvent*) override {}
};
