// A red box sliding to and fro for a few seconds, with the named constants
// of orvane/Protocol.h instead of item numbers.
// Run it while Orvane runs: moving_box [port] [seconds]
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "client/SimulationClient.h"
#include "orvane/Protocol.h"

namespace item = orvane::item;

int main(int argc, char** argv)
{
    const int port = argc > 1 ? std::atoi(argv[1]) : orvane::SimulationClient::DEFAULT_PORT;
    const double seconds = argc > 2 ? std::atof(argv[2]) : 5.0;
    const int steps = int(seconds * 50); // 50 steps a second
    orvane::SimulationClient client;
    try {
        client.connect("127.0.0.1", port);
        for (int step = 0; step <= steps; ++step) {
            const float t = float(step) * 0.02f;
            GNP2::Packet time; // first: it stamps the packets that follow
            time.setHeader(GNP2::makeHeader(4000, orvane::kind::Time));
            time.setFloatVector(item::time::Time, {t});
            client.queue(time);
            GNP2::Packet box;
            box.setHeader(GNP2::makeHeader(1, orvane::kind::Shape));
            if (step == 0) {
                box.setIntVector(item::shape::ShapeKind, {item::shape::KIND_BOX});
                box.setIntVector(item::shape::Colour, {220, 40, 40});
            }
            box.setFloatVector(item::shape::Position, {2.f * std::sin(t), 0.f, 0.5f});
            client.queue(box);
            client.flush(); // the whole step in one send
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    } catch (const orvane::ClientError& error) {
        std::fprintf(stderr, "moving_box: %s\n", error.what());
        return 1;
    }
    std::printf("moving_box: %d steps sent\n", steps + 1);
    return 0;
}
