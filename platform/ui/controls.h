// The control kinds of the program's dialogs that Qt does not offer as they are.
#pragma once

#include <QImage>
#include <QSlider>
#include <QWidget>
#include <vector>

class QToolButton;

namespace ui {

// Horizontal trackbar, range 0 to 100 until told otherwise, with automatic tick marks every
// `TickFrequency` or an explicit list of tick positions (SetTic), drawn above the channel; an
// explicit tick outside the range stays in the list but is not drawn. A page is a fifth of the
// range, set again whenever the range changes; a left click on the channel pages towards the
// click.
class Trackbar : public QSlider {
    Q_OBJECT
public:
    explicit Trackbar(QWidget* parent = nullptr);
    void SetTicFreq(int freq);
    void SetTic(int position);
    void ClearTics();
    const std::vector<int>& Tics() const { return m_tics; }
    // Pixel x of a position's tick mark, in widget coordinates.
    int TicX(int position) const;

protected:
    void paintEvent(QPaintEvent* ev) override;
    void sliderChange(SliderChange change) override;

private:
    std::vector<int> m_tics;
};

// Up-down arrows without a buddy. The up arrow (and the Up key) moves the position towards
// `upper`, the down arrow towards `lower`; the range defaults to lower 100, upper 0.
class UpDown : public QWidget {
    Q_OBJECT
public:
    explicit UpDown(QWidget* parent = nullptr);
    void SetRange(int lower, int upper);
    int Lower() const { return m_lower; }
    int Upper() const { return m_upper; }
    void SetPos(int pos);
    int Pos() const { return m_pos; }
    // One step up (+1) or down (-1), as a click on an arrow does.
    void Step(int direction);

signals:
    // After the position moved by an arrow or a key.
    void Scrolled(int position);

protected:
    void keyPressEvent(QKeyEvent* ev) override;
    void resizeEvent(QResizeEvent* ev) override;

private:
    int m_lower = 100, m_upper = 0, m_pos = 0;
    QToolButton* m_up;
    QToolButton* m_down;
};

// A static picture: shows its bitmap at the top-left and sizes itself to it. Mouse input goes
// through to the dialog under it.
class PictureControl : public QWidget {
    Q_OBJECT
public:
    explicit PictureControl(QWidget* parent = nullptr);
    void SetBitmap(const QImage& image);
    const QImage& Bitmap() const { return m_image; }

protected:
    void paintEvent(QPaintEvent* ev) override;

private:
    QImage m_image;
};

} // namespace ui
