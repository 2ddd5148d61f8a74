// Draws the program's icons and bitmaps into ../icons and ../bitmaps. Run by hand when the art
// changes; the results are committed. Build:
//   g++ -std=c++20 -fPIC generate_art.cpp $(pkg-config --cflags --libs Qt6Gui) -o generate_art
//   QT_QPA_PLATFORM=offscreen ./generate_art <res folder>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QString>
#include <functional>

namespace {

using Shape = std::function<void(QPainter&, QColor)>;

void Tri(QPainter& p, QColor c, double x0, double x1) {
    // Pointing right when x1 > x0, left otherwise.
    QPolygonF poly;
    poly << QPointF(x0, 3) << QPointF(x1, 8) << QPointF(x0, 13);
    p.setBrush(c);
    p.drawPolygon(poly);
}

void Bar(QPainter& p, QColor c, double x, double w) {
    p.setBrush(c);
    p.drawRect(QRectF(x, 3, w, 10));
}

QImage Icon(const Shape& shape, QColor fill, bool in) {
    QImage img(16, 16, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(QColor(20, 20, 30), 1.0));
    // The in image (hovered or pressed) is lit, the out image (at rest) subdued.
    shape(p, in ? fill : fill.darker(160));
    return img;
}

void SavePair(const QString& dir, int inId, const Shape& shape, QColor fill) {
    Icon(shape, fill, true).save(QString("%1/icons/%2.png").arg(dir).arg(inId));
    Icon(shape, fill, false).save(QString("%1/icons/%2.png").arg(dir).arg(inId + 1));
}

QImage AppIcon() {
    QImage img(32, 32, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    // Three overlapping frames becoming one wide picture.
    const QColor frames[3] = {QColor(60, 120, 200), QColor(70, 160, 90), QColor(220, 150, 40)};
    for (int i = 0; i < 3; ++i) {
        p.setPen(QPen(QColor(20, 20, 30), 1));
        p.setBrush(frames[i]);
        p.drawRect(QRectF(2 + i * 8, 6 + i * 2, 12, 14));
    }
    p.setBrush(QColor(240, 240, 240));
    p.drawRect(QRectF(1.5, 23.5, 29, 6));
    return img;
}

QImage Splash() {
    QImage img(520, 316, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    QLinearGradient g(0, 0, 0, 316);
    g.setColorAt(0, QColor(18, 34, 64));
    g.setColorAt(1, QColor(40, 88, 130));
    p.fillRect(img.rect(), g);
    // A strip of video frames sweeping into a panorama.
    for (int i = 0; i < 6; ++i) {
        QRectF r(30 + i * 34, 150 + (i % 2) * 6, 90, 64);
        p.setPen(QPen(QColor(230, 230, 240, 200), 2));
        p.setBrush(QColor(90 + i * 20, 140 + i * 10, 200 - i * 15, 150));
        p.drawRoundedRect(r, 4, 4);
    }
    QLinearGradient pano(300, 0, 500, 0);
    pano.setColorAt(0, QColor(120, 190, 120));
    pano.setColorAt(0.5, QColor(230, 200, 90));
    pano.setColorAt(1, QColor(200, 110, 70));
    p.setPen(QPen(QColor(240, 240, 250), 2));
    p.setBrush(pano);
    p.drawRect(QRectF(300, 160, 196, 48));
    QPainterPath hills;
    hills.moveTo(300, 208);
    hills.cubicTo(340, 170, 380, 200, 420, 180);
    hills.cubicTo(450, 168, 470, 190, 496, 176);
    hills.lineTo(496, 208);
    hills.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(50, 110, 60));
    p.drawPath(hills);

    QFont title("DejaVu Sans", 10, QFont::Bold);
    title.setPixelSize(64);
    p.setFont(title);
    p.setPen(QColor(250, 250, 255));
    p.drawText(QRect(30, 28, 460, 80), Qt::AlignLeft | Qt::AlignVCenter, "Stillo");
    QFont sub("DejaVu Sans");
    sub.setPixelSize(18);
    p.setFont(sub);
    p.setPen(QColor(200, 220, 240));
    p.drawText(QRect(34, 104, 460, 30), Qt::AlignLeft, "One wide still from a panning video");
    sub.setPixelSize(14);
    p.setFont(sub);
    p.drawText(QRect(34, 262, 460, 24), Qt::AlignLeft, "Version 1.1");
    p.drawText(QRect(30, 262, 456, 24), Qt::AlignRight, "Loading...");
    return img;
}

QImage Logo() {
    QImage img(120, 90, QImage::Format_RGB32);
    img.fill(QColor(0, 255, 0)); // the transparent colour
    QPainter p(&img);
    // No antialiasing: edges must not blend into the transparent green.
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    p.setPen(QPen(QColor(20, 30, 60), 2));
    p.setBrush(QColor(40, 90, 160));
    p.drawRect(8, 8, 104, 44);
    p.setBrush(QColor(230, 190, 60));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPoint(88, 20), 7, 7);
    p.setBrush(QColor(60, 140, 70));
    QPolygon hills;
    hills << QPoint(9, 51) << QPoint(9, 40) << QPoint(30, 26) << QPoint(50, 40) << QPoint(70, 30)
          << QPoint(111, 46) << QPoint(111, 51);
    p.drawPolygon(hills);
    QFont f("DejaVu Sans", 10, QFont::Bold);
    f.setPixelSize(24);
    f.setStyleStrategy(QFont::NoAntialias);
    p.setFont(f);
    p.setPen(QColor(20, 30, 60));
    p.drawText(QRect(0, 56, 120, 32), Qt::AlignCenter, "Stillo");
    return img;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    QString dir = argc > 1 ? argv[1] : "..";
    const QColor red(220, 40, 40), green(60, 180, 80), blue(60, 130, 220);
    SavePair(
        dir, 131,
        [](QPainter& p, QColor c) {
            p.setBrush(c);
            p.drawEllipse(QRectF(2.5, 2.5, 11, 11));
        },
        red);
    SavePair(
        dir, 133,
        [](QPainter& p, QColor c) {
            p.setBrush(c);
            p.drawRect(QRectF(3.5, 3.5, 9, 9));
        },
        QColor(70, 70, 80));
    SavePair(
        dir, 135,
        [](QPainter& p, QColor c) {
            Bar(p, c, 3.5, 3);
            Bar(p, c, 9.5, 3);
        },
        blue);
    SavePair(
        dir, 137, [](QPainter& p, QColor c) { Tri(p, c, 4.5, 12.5); }, green);
    SavePair(
        dir, 139, [](QPainter& p, QColor c) { Tri(p, c, 11.5, 3.5); }, green);
    SavePair(
        dir, 141,
        [](QPainter& p, QColor c) {
            Tri(p, c, 1.5, 8.5);
            Tri(p, c, 7.5, 14.5);
        },
        green);
    SavePair(
        dir, 143,
        [](QPainter& p, QColor c) {
            Tri(p, c, 8.5, 1.5);
            Tri(p, c, 14.5, 7.5);
        },
        green);
    SavePair(
        dir, 145,
        [](QPainter& p, QColor c) {
            Tri(p, c, 3.5, 10.5);
            Bar(p, c, 11.5, 2);
        },
        blue);
    SavePair(
        dir, 147,
        [](QPainter& p, QColor c) {
            Bar(p, c, 2.5, 2);
            Tri(p, c, 12.5, 5.5);
        },
        blue);
    AppIcon().save(dir + "/icons/128.png");
    Splash().save(dir + "/bitmaps/102.png");
    Logo().save(dir + "/bitmaps/152.png");
    return 0;
}
