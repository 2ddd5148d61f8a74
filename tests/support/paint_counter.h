// Counts the repaints of the widgets it is installed on as an event filter.
#pragma once

#include <QEvent>
#include <QObject>

namespace stillo_test {

class PaintCounter : public QObject {
public:
    int count = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++count;
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace stillo_test
