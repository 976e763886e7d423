#pragma once
// Pixels of the pictures GL tests grab, compared with a tolerance, and kept
// as PNG files for a person to look at.

#include <QColor>
#include <QImage>
#include <QString>

#include <string>

#include <osg/Image>
#include <osg/Vec4f>

namespace testsupport {

// How far, per channel (0-255), a colour read back may lie from the colour
// that was drawn and still count as that colour. A clear colour or an unlit
// flat colour comes back changed only by rounding (0-255 to a float and back
// to 8 bits, one step at most) and by the software rasteriser's and the
// window system's conversions (another step or two): 3 covers those and no
// more. A shaded, blended or fogged colour needs a tolerance of its own,
// which the test passes to `near` explicitly.
constexpr int COLOUR_TOLERANCE = 3;

struct Rgb
{
    int r = 0, g = 0, b = 0;
};

// A pixel of a grabbed picture, x from the left and y from the top.
// `bottomUp`: the first row of the image is the bottom row, as OpenGL reads
// pictures back (false: y counts rows as the image stores them).
Rgb pixel(const osg::Image& image, int x, int y, bool bottomUp = true);
bool near(const Rgb& a, const Rgb& b, int tolerance = COLOUR_TOLERANCE);
bool near(const QColor& a, const QColor& b, int tolerance = COLOUR_TOLERANCE);
std::string text(const Rgb& c);
Rgb rgbOf(int r, int g, int b);
// A colour of 0-1 channels in 0-255, rounded.
Rgb rgbOfColour(const osg::Vec4f& colour);

// A grabbed picture (bottom row first, RGB or RGBA) as a QImage, top row first.
QImage toQImage(const osg::Image& image);
// The colour at a fraction of the picture's width and height, measured from
// its top-left corner.
QColor colourAt(const QImage& image, double fx, double fy);

// Writes a picture as <folder>/<program>/<name>.png, for a person to look at
// what a test saw. The folder is $ORVANE_TEST_PICTURES when set, else
// tests/pictures in the build tree; <program> is the application's name (the
// test program's) once a QCoreApplication exists.
void keepPicture(const osg::Image& image, const std::string& name);
void keepPicture(const QImage& image, const QString& name);
// The folder keepPicture writes to.
QString picturesFolder();

} // namespace testsupport
