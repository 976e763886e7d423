#include "MainWindowHarness.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>

#include <gtest/gtest.h>

#include "app/VisMainWindow.h"

namespace apptest {

int freePort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(s);
    return port;
}

void runInMainWindow(int port, Embedding embedding, const std::function<void(VisMainWindow&)>& body)
{
    QTimer::singleShot(0, [&] {
        VisMainWindow* window = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* candidate = qobject_cast<VisMainWindow*>(widget))
                window = candidate;
        if (window) {
            // The window's first frames realise the viewer's contexts.
            waitFor([] { return false; }, std::chrono::milliseconds(300));
            body(*window);
        } else {
            ADD_FAILURE() << "no main window in the event loop";
        }
        QCoreApplication::quit();
    });
    VisMainWindow window(port, embedding);
}

bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeout.count())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

void spin(std::chrono::milliseconds duration)
{
    waitFor([] { return false; }, duration);
}

void answerNextDialog(const char* className, std::function<void(QWidget*)> answer, bool* answered)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, className, answer, answered] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->inherits(className))
            return;
        poll->stop();
        poll->deleteLater();
        answer(modal);
        if (answered)
            *answered = true;
        // An answer that leaves the dialog open would hang the test in its
        // event loop: close it and fail instead.
        QPointer<QDialog> dialog = qobject_cast<QDialog*>(modal);
        QTimer::singleShot(3000, [dialog, className] {
            if (dialog && dialog->isVisible()) {
                ADD_FAILURE() << "the " << className << " stayed open after its answer";
                dialog->reject();
            }
        });
    });
    poll->start(50);
}

QImage toQImage(const osg::Image& image)
{
    QImage picture(image.s(), image.t(), QImage::Format_RGB888);
    const int channels = image.getPixelFormat() == GL_RGBA ? 4 : 3;
    for (int row = 0; row < image.t(); ++row) {
        const unsigned char* source = image.data(0, image.t() - 1 - row);
        uchar* target = picture.scanLine(row);
        for (int x = 0; x < image.s(); ++x)
            for (int c = 0; c < 3; ++c)
                target[3 * x + c] = source[channels * x + c];
    }
    return picture;
}

QColor colourAt(const QImage& image, double fx, double fy)
{
    const int x = std::min(image.width() - 1, int(fx * image.width()));
    const int y = std::min(image.height() - 1, int(fy * image.height()));
    return image.pixelColor(x, y);
}

bool near(const QColor& a, const QColor& b, int tolerance)
{
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

QImage viewerPicture(VisMainWindow& window)
{
    osg::ref_ptr<osg::Image> image = window.viewerManager().grabWindowImage();
    return image.valid() ? toQImage(*image) : QImage();
}

std::unique_ptr<GNP2::Packet> viewPacket(int objectNumber, float x, float y, float width,
                                         float height, const QColor& background)
{
    auto packet = std::make_unique<GNP2::Packet>();
    GNP2::Packet& p = *packet;
    p.setHeader(GNP2::makeHeader(std::uint32_t(objectNumber), 9));
    p.setIntVector(55, {0});
    p.setFloatVector(56, {0.f, -10.f, 0.f});
    p.setFloatVector(57, {0.f, 0.f, 0.f});
    p.setFloatVector(58, {0.f, 0.f, 1.f});
    p.setFloatVector(59, {x, y});
    p.setFloatVector(60, {width, height});
    p.setIntVector(61, {0});
    p.setIntVector(62, {0});
    p.setIntVector(63, {background.red(), background.green(), background.blue()});
    p.setFloatVector(64, {0.1f});
    p.setFloatVector(65, {1000.f});
    p.setFloatVector(66, {30.f});
    p.setIntVector(67, {0});
    p.setIntVector(68, {0});
    p.setFloatVector(69, {0.f, -10.f, 0.f});
    return packet;
}

void keepPicture(const QImage& image, const QString& name)
{
    const QString folder = qEnvironmentVariable("ORVANE_TEST_PICTURES");
    if (folder.isEmpty() || image.isNull())
        return;
    QDir().mkpath(folder);
    image.save(folder + "/" + name + ".png");
}

} // namespace apptest
