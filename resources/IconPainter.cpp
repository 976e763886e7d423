// orvane_icon_painter: draws the program's icons as PNG files at build time.
//
//     orvane_icon_painter <output folder> <name>...
//
// Every name is one icon (play, pause, rewind, ...); the file is
// <output folder>/<name>.png, 32 x 32 pixels with alpha. The shapes are
// painted with QPainter on a 32-unit grid, so the icons need no image files
// in the repository and no font. An unknown name is an error.

#include <QColor>
#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>
#include <QString>

#include <cstdio>
#include <functional>
#include <map>
#include <string>

namespace {

constexpr int kSize = 32;

const QColor kOutline(30, 45, 70);
const QColor kTransport(40, 110, 200); // the replay transport buttons
const QColor kTransportLight(120, 185, 250);

QBrush transportBrush()
{
    QLinearGradient gradient(0, 4, 0, 28);
    gradient.setColorAt(0, kTransportLight);
    gradient.setColorAt(1, kTransport);
    return gradient;
}

void outlined(QPainter& p, const QPainterPath& path, const QBrush& fill)
{
    p.setPen(QPen(kOutline, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(fill);
    p.drawPath(path);
}

QPainterPath triangle(double left, double right, bool pointsRight)
{
    const double tip = pointsRight ? right : left;
    const double base = pointsRight ? left : right;
    QPainterPath path;
    path.addPolygon(QPolygonF({QPointF(base, 7), QPointF(tip, 16), QPointF(base, 25)}));
    path.closeSubpath();
    return path;
}

QPainterPath bar(double left, double width)
{
    QPainterPath path;
    path.addRoundedRect(QRectF(left, 7, width, 18), 1, 1);
    return path;
}

void play(QPainter& p)
{
    outlined(p, triangle(9, 26, true), transportBrush());
}

void pause(QPainter& p)
{
    outlined(p, bar(8, 6), transportBrush());
    outlined(p, bar(18, 6), transportBrush());
}

// To the beginning: a bar, then two triangles pointing left.
void rewind(QPainter& p)
{
    outlined(p, bar(4, 4), transportBrush());
    outlined(p, triangle(8, 18, false), transportBrush());
    outlined(p, triangle(17, 27, false), transportBrush());
}

// Fast backwards: two triangles pointing left.
void freverse(QPainter& p)
{
    outlined(p, triangle(4, 16, false), transportBrush());
    outlined(p, triangle(15, 27, false), transportBrush());
}

// One step back: a triangle pointing left against a bar.
void reverse(QPainter& p)
{
    outlined(p, bar(7, 4), transportBrush());
    outlined(p, triangle(11, 25, false), transportBrush());
}

// One step forward: a triangle pointing right against a bar.
void forward(QPainter& p)
{
    outlined(p, triangle(7, 21, true), transportBrush());
    outlined(p, bar(21, 4), transportBrush());
}

// Fast forward: two triangles pointing right.
void fforward(QPainter& p)
{
    outlined(p, triangle(5, 17, true), transportBrush());
    outlined(p, triangle(16, 28, true), transportBrush());
}

// Two arrows chasing each other round a loop.
void repeat(QPainter& p)
{
    p.setPen(QPen(kTransport, 3.2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    const QRectF loop(6, 8, 20, 16);
    p.drawArc(loop, 30 * 16, 150 * 16);
    p.drawArc(loop, 210 * 16, 150 * 16);
    p.setPen(QPen(kOutline, 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(kTransport);
    p.drawPolygon(QPolygonF({QPointF(20, 4), QPointF(27, 9.5), QPointF(19, 13)}));
    p.drawPolygon(QPolygonF({QPointF(12, 19), QPointF(5, 22.5), QPointF(13, 28)}));
}

// A red disc with a white cross.
void cancel(QPainter& p)
{
    QRadialGradient gradient(13, 12, 16);
    gradient.setColorAt(0, QColor(250, 110, 100));
    gradient.setColorAt(1, QColor(190, 30, 30));
    p.setPen(QPen(QColor(110, 20, 20), 1.4));
    p.setBrush(gradient);
    p.drawEllipse(QRectF(3, 3, 26, 26));
    p.setPen(QPen(Qt::white, 3.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(11, 11), QPointF(21, 21));
    p.drawLine(QPointF(21, 11), QPointF(11, 21));
}

// A yellow folder with a white page sticking out.
void folderPageWhite(QPainter& p)
{
    const QPen folderPen(QColor(150, 110, 20), 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    QPainterPath back;
    back.moveTo(3, 9);
    back.lineTo(3, 27);
    back.lineTo(29, 27);
    back.lineTo(29, 11);
    back.lineTo(14, 11);
    back.lineTo(12, 8);
    back.lineTo(4, 8);
    back.closeSubpath();
    p.setPen(folderPen);
    p.setBrush(QColor(230, 180, 60));
    p.drawPath(back);

    p.setPen(QPen(QColor(120, 120, 120), 1.0));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(8, 4, 16, 18));
    p.setPen(QPen(QColor(150, 160, 180), 1.0));
    for (double y = 8; y <= 18; y += 3)
        p.drawLine(QPointF(11, y), QPointF(21, y));

    QPainterPath front;
    front.moveTo(3, 27);
    front.lineTo(6, 15);
    front.lineTo(31, 15);
    front.lineTo(29, 27);
    front.closeSubpath();
    QLinearGradient gradient(0, 15, 0, 27);
    gradient.setColorAt(0, QColor(255, 220, 110));
    gradient.setColorAt(1, QColor(235, 175, 50));
    p.setPen(folderPen);
    p.setBrush(gradient);
    p.drawPath(front);
}

// The program's icon: a blue box, a red ball and a green cone.
void shapes(QPainter& p)
{
    const QPen edge(kOutline, 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(edge);
    // box in oblique view
    const QPointF a(3, 14), b(15, 14), c(15, 28), d(3, 28), e(8, 9), f(20, 9), g(20, 23);
    p.setBrush(QColor(70, 120, 210));
    p.drawPolygon(QPolygonF({a, b, c, d}));
    p.setBrush(QColor(120, 165, 240));
    p.drawPolygon(QPolygonF({a, e, f, b}));
    p.setBrush(QColor(45, 85, 160));
    p.drawPolygon(QPolygonF({b, f, g, c}));
    // cone
    QLinearGradient cone(17, 0, 31, 0);
    cone.setColorAt(0, QColor(120, 210, 110));
    cone.setColorAt(1, QColor(30, 120, 40));
    p.setBrush(cone);
    QPainterPath conePath;
    conePath.moveTo(24, 12);
    conePath.lineTo(30.5, 28);
    conePath.arcTo(QRectF(17.5, 25.5, 13, 5), 0, -180);
    conePath.closeSubpath();
    p.drawPath(conePath);
    // ball
    QRadialGradient ball(12, 6, 9);
    ball.setColorAt(0, QColor(255, 170, 150));
    ball.setColorAt(1, QColor(200, 35, 35));
    p.setBrush(ball);
    p.drawEllipse(QRectF(9, 2, 12, 12));
}

// A camera in front of a house: back to the home position.
void camhome(QPainter& p)
{
    const QPen edge(kOutline, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(edge);
    p.setBrush(QColor(220, 90, 60));
    p.drawPolygon(QPolygonF({QPointF(2, 14), QPointF(14, 3), QPointF(26, 14)}));
    p.setBrush(QColor(245, 235, 210));
    p.drawRect(QRectF(5, 14, 18, 14));
    // camera body, lens and finder
    p.setBrush(QColor(60, 65, 75));
    p.drawRoundedRect(QRectF(12, 17, 18, 12), 2, 2);
    p.drawRect(QRectF(15, 14.5, 6, 3));
    p.setBrush(QColor(120, 185, 250));
    p.drawEllipse(QRectF(17, 19, 8, 8));
}

const std::map<std::string, std::function<void(QPainter&)>>& painters()
{
    static const std::map<std::string, std::function<void(QPainter&)>> table = {
        {"play", play},         {"pause", pause},
        {"rewind", rewind},     {"freverse", freverse},
        {"reverse", reverse},   {"forward", forward},
        {"fforward", fforward}, {"repeat", repeat},
        {"cancel", cancel},     {"folder_page_white", folderPageWhite},
        {"shapes", shapes},     {"camhome", camhome},
    };
    return table;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <output folder> <icon name>...\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "cannot create the folder %s\n", argv[1]);
        return 1;
    }
    for (int i = 2; i < argc; ++i) {
        const auto painter = painters().find(argv[i]);
        if (painter == painters().end()) {
            std::fprintf(stderr, "no icon is named %s\n", argv[i]);
            return 1;
        }
        QImage image(kSize, kSize, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter p(&image);
            p.setRenderHint(QPainter::Antialiasing);
            painter->second(p);
        }
        const QString path = folder + "/" + QString::fromLocal8Bit(argv[i]) + ".png";
        if (!image.save(path, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
