// A moving box, its height on the head-up display, and a button that pauses
// and resumes the motion; every button event is printed.
// Run it while Orvane runs: pause_button [port] [seconds] [presses]
// It ends after `seconds`, or once the button was pressed `presses` times.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "client/SimulationClient.h"
#include "orvane/Protocol.h"

namespace item = orvane::item;
namespace button = orvane::item::reply::button_event;

namespace {

constexpr std::uint32_t VIEW = 4001, BOX = 1, VALUE = 2, BUTTON = 3, LABEL = 4;
constexpr int PRESSED = 1;

// Makes `packet` a new head-up display element at (x, y).
void hud(GNP2::Packet& packet, std::uint32_t object, int element, float x, float y)
{
    packet.setHeader(GNP2::makeHeader(object, orvane::kind::Hud));
    packet.setIntVector(item::hud::Element, {element});
    packet.setFloatVector(item::hud::Position, {x, y});
    packet.setFloatVector(item::hud::Rotation, {0.f});
}

} // namespace

int main(int argc, char** argv)
{
    const int port = argc > 1 ? std::atoi(argv[1]) : orvane::SimulationClient::DEFAULT_PORT;
    const double seconds = argc > 2 ? std::atof(argv[2]) : 30.0;
    const int presses = argc > 3 ? std::atoi(argv[3]) : 0;
    orvane::SimulationClient client;
    int pressed = 0;
    try {
        client.connect("127.0.0.1", port);
        // A view over the whole window showing the head-up display,
        // 1000 units across each direction.
        GNP2::Packet view;
        view.setHeader(GNP2::makeHeader(VIEW, orvane::kind::View));
        view.setIntVector(item::view::CameraControl, {item::view::LOOK_AT});
        view.setFloatVector(item::view::Eye, {0, -8, 3});
        view.setFloatVector(item::view::Centre, {0, 0, 0.5f});
        view.setFloatVector(item::view::Up, {0, 0, 1});
        view.setFloatVector(item::view::ViewportOrigin, {0, 0});
        view.setFloatVector(item::view::ViewportSize, {1, 1});
        view.setIntVector(item::view::OwnWindow, {0});
        view.setIntVector(item::view::Screen, {0});
        view.setIntVector(item::view::Background, {25, 35, 90});
        view.setFloatVector(item::view::Near, {0.1f});
        view.setFloatVector(item::view::Far, {100});
        view.setFloatVector(item::view::FieldOfView, {40});
        view.setIntVector(item::view::ShowHud, {1});
        view.setIntVector(item::view::HudAspect, {3});
        client.queue(view);
        GNP2::Packet box;
        box.setHeader(GNP2::makeHeader(BOX, orvane::kind::Shape));
        box.setIntVector(item::shape::ShapeKind, {item::shape::KIND_BOX});
        box.setIntVector(item::shape::Colour, {220, 40, 40});
        client.queue(box);
        GNP2::Packet value; // a text followed by a value
        hud(value, VALUE, item::hud::VALUE_TEXT, 40, 920);
        value.setString(item::hud::FileName, "arial.ttf");
        value.setFloatVector(item::hud::Size, {40});
        value.setString(item::hud::Text, "height");
        client.queue(value);
        GNP2::Packet pause; // a visible button
        hud(pause, BUTTON, item::hud::BUTTON, 500, 500);
        pause.setFloatVector(item::hud::Size, {300, 300});
        pause.setFloatVector(item::hud::Value, {1});
        client.queue(pause);
        GNP2::Packet label;
        hud(label, LABEL, item::hud::TEXT, 440, 490);
        label.setString(item::hud::FileName, "arial.ttf");
        label.setFloatVector(item::hud::Size, {40});
        label.setString(item::hud::Text, "Pause");
        client.queue(label);
        client.flush();

        bool paused = false;
        float phase = 0.f;
        const auto start = std::chrono::steady_clock::now();
        for (int step = 1;
             std::chrono::steady_clock::now() - start < std::chrono::duration<double>(seconds);
             ++step) {
            if (!paused)
                phase += 0.02f;
            const float height = 0.5f + std::sin(phase);
            GNP2::Packet time;
            time.setHeader(GNP2::makeHeader(4000, orvane::kind::Time));
            time.setFloatVector(item::time::Time, {float(step) * 0.02f});
            client.queue(time);
            GNP2::Packet move;
            move.setHeader(GNP2::makeHeader(BOX, orvane::kind::Shape));
            move.setFloatVector(item::shape::Position, {0, 0, height});
            client.queue(move);
            GNP2::Packet shown;
            shown.setHeader(GNP2::makeHeader(VALUE, orvane::kind::Hud));
            shown.setFloatVector(item::hud::Value, {height});
            client.queue(shown);
            client.flush();
            while (auto reply = client.poll()) {
                if (GNP2::objectNumber(reply->header()) != BUTTON || !reply->hasItem(button::Event))
                    continue;
                const auto event = reply->getIntVector(button::Event);
                const auto pointer = reply->getFloatVector(button::Pointer);
                if (event.empty() || pointer.size() < 2)
                    continue;
                std::printf("button %u event %d at (%g, %g)\n", BUTTON, event[0], pointer[0],
                            pointer[1]);
                std::fflush(stdout);
                if (event[0] == PRESSED) {
                    ++pressed;
                    paused = !paused;
                    GNP2::Packet text;
                    text.setHeader(GNP2::makeHeader(LABEL, orvane::kind::Hud));
                    text.setString(item::hud::Text, paused ? "Run" : "Pause");
                    client.send(text);
                }
            }
            if (presses > 0 && pressed >= presses)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    } catch (const orvane::ClientError& error) {
        std::fprintf(stderr, "pause_button: %s\n", error.what());
        return 1;
    }
    std::printf("pause_button: %d presses\n", pressed);
    return 0;
}
