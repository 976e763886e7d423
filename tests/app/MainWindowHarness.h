#pragma once
// Helpers of the main-window tests that run on the (virtual) X display:
// running code inside the window's event loop, answering modal dialogs,
// waiting, pixel reading and view packets.

#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <osg/Image>

#include "tests/view/GlTestSupport.h"
#include "gnp2/Packet.h"
#include "view/ViewerManager.h"

class VisMainWindow;

namespace apptest {

// OpenGL errors reported by OSG (its states check after every attribute:
// OSG_GL_ERROR_CHECKING, set by main) are collected by the view tests'
// catcher.
using viewtest::glErrors;

// A TCP port nobody listens on right now.
int freePort();

// Constructs the main window (whose constructor runs the event loop), runs
// `body` inside the loop once the window stands, and quits the loop after
// it. Returns when the window has been destroyed (settings written).
void runInMainWindow(int port, Embedding embedding,
                     const std::function<void(VisMainWindow&)>& body);

// Processes events until `done` holds or `timeout` passes; returns `done()`.
bool waitFor(const std::function<bool()>& done,
             std::chrono::milliseconds timeout = std::chrono::seconds(20));
// Processes events for `duration`.
void spin(std::chrono::milliseconds duration);

// Arms a one-off answer to the next modal dialog: once a modal widget of
// that class appears, `answer` is called with it. Call before the action
// that opens the dialog. `answered` is set when it ran.
void answerNextDialog(const char* className, std::function<void(QWidget*)> answer, bool* answered);

// A grabbed picture as a QImage, top row first.
QImage toQImage(const osg::Image& image);
// The colour at a fraction of the picture's width and height, measured from
// its top-left corner.
QColor colourAt(const QImage& image, double fx, double fy);
bool near(const QColor& a, const QColor& b, int tolerance = 6);
// The viewer's picture now (drawing one frame), top row first.
QImage viewerPicture(VisMainWindow& window);

// A view packet (type code 9) for a viewport in the viewer widget: origin
// and size as fractions, background colour 0-255, looking at the origin
// from (0, -10, 0) with z up, no HUD.
std::unique_ptr<GNP2::Packet> viewPacket(int objectNumber, float x, float y, float width,
                                         float height, const QColor& background);

// Saves a picture under $ORVANE_TEST_PICTURES/<name>.png when that folder
// is set, so that a person can look at what the tests saw.
void keepPicture(const QImage& image, const QString& name);

} // namespace apptest
