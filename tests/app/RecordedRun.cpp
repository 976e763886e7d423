#include "RecordedRun.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>

#include <gtest/gtest.h>

#include "app/VisMainWindow.h"
#include "client/SimulationClient.h"
#include "protocol/Items.h"
#include "scene/ObjectManager.h"
#include "tests/support/Packets.h"
#include "scene/Vis3DObject.h"
#include "tests/support/GlHarness.h"

namespace apptest {

using testsupport::waitFor;

bool recordRun(VisMainWindow& window, int port, int steps)
{
    orvane::SimulationClient client;
    client.connect("127.0.0.1", port);
    if (!waitFor([&] { return window.statusLabel()->text() == "Status: Online"; }))
        return false;
    for (int k = 0; k < steps; ++k) {
        GNP2::Packet time = testsupport::timePacket(float(k) * 0.1f);
        client.queue(time);
        GNP2::Packet box;
        box.setHeader(GNP2::makeHeader(1, TYPE_VisBaseObject));
        box.setIntVector(item::shape::ShapeKind, {1});
        box.setFloatVector(item::shape::Position, {float(k), 0.f, 0.f});
        client.queue(box);
        client.flush();
        const bool arrived = waitFor([&] {
            auto* object = dynamic_cast<Vis3DObject*>(
                window.objectManager().updateCallback().findObject(0, 1));
            return object && object->getTranslation().getTrans().x() == double(k);
        });
        if (!arrived)
            return false;
    }
    client.close();
    return waitFor([&] { return window.statusLabel()->text() == "Status: Replay"; });
}

DialogAnswer::DialogAnswer(const char* className, std::function<void(QWidget*)> answer)
{
    QObject::connect(&_poll, &QTimer::timeout, [this, className, answer] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->inherits(className))
            return;
        _poll.stop();
        _answered = true;
        answer(modal);
    });
    _poll.start(50);
}

void clickButton(QWidget* messageBox, const QString& text)
{
    auto* box = qobject_cast<QMessageBox*>(messageBox);
    ASSERT_NE(box, nullptr);
    for (QAbstractButton* button : box->buttons()) {
        if (button->text().remove('&') == text) {
            button->click();
            return;
        }
    }
    ADD_FAILURE() << "no button " << text.toStdString();
    box->reject();
}

} // namespace apptest
