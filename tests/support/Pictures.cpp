#include "Pictures.h"

#include <QCoreApplication>
#include <QDir>

#include <algorithm>
#include <cstdlib>

namespace testsupport {

Rgb pixel(const osg::Image& image, int x, int y, bool bottomUp)
{
    const int row = bottomUp ? image.t() - 1 - y : y;
    const unsigned char* p = image.data(unsigned(x), unsigned(row));
    if (image.getPixelFormat() == GL_BGRA)
        return {p[2], p[1], p[0]};
    return {p[0], p[1], p[2]};
}

bool near(const Rgb& a, const Rgb& b, int tolerance)
{
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}

bool near(const QColor& a, const QColor& b, int tolerance)
{
    return near(rgbOf(a.red(), a.green(), a.blue()), rgbOf(b.red(), b.green(), b.blue()),
                tolerance);
}

std::string text(const Rgb& c)
{
    return "(" + std::to_string(c.r) + ", " + std::to_string(c.g) + ", " + std::to_string(c.b) +
           ")";
}

Rgb rgbOf(int r, int g, int b)
{
    return {r, g, b};
}

Rgb rgbOfColour(const osg::Vec4f& colour)
{
    return {int(colour.r() * 255.0f + 0.5f), int(colour.g() * 255.0f + 0.5f),
            int(colour.b() * 255.0f + 0.5f)};
}

QImage toQImage(const osg::Image& image)
{
    QImage picture(image.s(), image.t(), QImage::Format_RGB888);
    for (int y = 0; y < image.t(); ++y) {
        uchar* target = picture.scanLine(y);
        for (int x = 0; x < image.s(); ++x) {
            const Rgb c = pixel(image, x, y);
            target[3 * x] = uchar(c.r);
            target[3 * x + 1] = uchar(c.g);
            target[3 * x + 2] = uchar(c.b);
        }
    }
    return picture;
}

QColor colourAt(const QImage& image, double fx, double fy)
{
    const int x = std::min(image.width() - 1, int(fx * image.width()));
    const int y = std::min(image.height() - 1, int(fy * image.height()));
    return image.pixelColor(x, y);
}

QString picturesFolder()
{
    QString folder = qEnvironmentVariable("ORVANE_TEST_PICTURES");
    if (folder.isEmpty())
        folder = QStringLiteral(ORVANE_TEST_PICTURES_DIR);
    if (QCoreApplication::instance() && !QCoreApplication::applicationName().isEmpty())
        folder += "/" + QCoreApplication::applicationName();
    return folder;
}

void keepPicture(const osg::Image& image, const std::string& name)
{
    keepPicture(toQImage(image), QString::fromStdString(name));
}

void keepPicture(const QImage& image, const QString& name)
{
    if (image.isNull())
        return;
    const QString folder = picturesFolder();
    QDir().mkpath(folder);
    image.save(folder + "/" + name + ".png");
}

} // namespace testsupport
