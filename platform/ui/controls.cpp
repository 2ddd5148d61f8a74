#include "platform/ui/controls.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolButton>
#include <algorithm>

namespace ui {

Trackbar::Trackbar(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    setRange(0, 100);
    setTickPosition(QSlider::TicksAbove);
}

void Trackbar::sliderChange(SliderChange change) {
    if (change == SliderRangeChange) {
        // Never 0, which would make paging do nothing on a short range.
        const long long span = static_cast<long long>(maximum()) - minimum();
        setPageStep(static_cast<int>(std::max(1LL, span / 5)));
    }
    QSlider::sliderChange(change);
}

void Trackbar::SetTicFreq(int freq) {
    setTickInterval(freq);
}

void Trackbar::SetTic(int position) {
    if (std::find(m_tics.begin(), m_tics.end(), position) == m_tics.end()) {
        m_tics.push_back(position);
    }
    update();
}

void Trackbar::ClearTics() {
    m_tics.clear();
    update();
}

int Trackbar::TicX(int position) const {
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    QRect groove = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, this);
    QRect handle = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
    int span = groove.width() - handle.width();
    return groove.x() + handle.width() / 2 +
           QStyle::sliderPositionFromValue(minimum(), maximum(), position, span);
}

void Trackbar::paintEvent(QPaintEvent*) {
    // Painted from the same style option the clicks are hit-tested with, ticks above
    // included, so the track is drawn where it is hit. Nothing here may change a property of
    // the widget: each change schedules another paint.
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    opt.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderHandle;
    // Explicit ticks replace the automatic ones.
    if (m_tics.empty() && tickPosition() != NoTicks) {
        opt.subControls |= QStyle::SC_SliderTickmarks;
    }
    QPainter p(this);
    style()->drawComplexControl(QStyle::CC_Slider, &opt, &p, this);
    if (m_tics.empty()) {
        return;
    }
    p.setPen(palette().color(QPalette::WindowText));
    for (int t : m_tics) {
        // A tick outside the range has no place on the track.
        if (t < minimum() || t > maximum()) {
            continue;
        }
        const int x = TicX(t);
        p.drawLine(x, 1, x, 4);
    }
}

UpDown::UpDown(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    m_up = new QToolButton(this);
    m_up->setArrowType(Qt::UpArrow);
    m_up->setAutoRepeat(true);
    m_up->setFocusPolicy(Qt::NoFocus);
    m_down = new QToolButton(this);
    m_down->setArrowType(Qt::DownArrow);
    m_down->setAutoRepeat(true);
    m_down->setFocusPolicy(Qt::NoFocus);
    connect(m_up, &QToolButton::clicked, this, [this] { Step(+1); });
    connect(m_down, &QToolButton::clicked, this, [this] { Step(-1); });
}

void UpDown::SetRange(int lower, int upper) {
    m_lower = lower;
    m_upper = upper;
    SetPos(m_pos);
}

void UpDown::SetPos(int pos) {
    int lo = std::min(m_lower, m_upper), hi = std::max(m_lower, m_upper);
    m_pos = std::clamp(pos, lo, hi);
}

void UpDown::Step(int direction) {
    int towardsUpper = m_upper >= m_lower ? 1 : -1;
    int before = m_pos;
    SetPos(m_pos + direction * towardsUpper);
    if (m_pos != before) {
        emit Scrolled(m_pos);
    }
}

void UpDown::keyPressEvent(QKeyEvent* ev) {
    if (ev->key() == Qt::Key_Up) {
        Step(+1);
    } else if (ev->key() == Qt::Key_Down) {
        Step(-1);
    } else {
        QWidget::keyPressEvent(ev);
    }
}

void UpDown::resizeEvent(QResizeEvent*) {
    int h = height() / 2;
    m_up->setGeometry(0, 0, width(), h);
    m_down->setGeometry(0, h, width(), height() - h);
}

PictureControl::PictureControl(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void PictureControl::SetBitmap(const QImage& image) {
    m_image = image;
    if (!image.isNull()) {
        resize(image.size());
    }
    update();
}

void PictureControl::paintEvent(QPaintEvent*) {
    if (m_image.isNull()) {
        return;
    }
    QPainter p(this);
    p.drawImage(0, 0, m_image);
}

} // namespace ui
