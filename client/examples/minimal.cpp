// The smallest complete simulation: a red box turning for five seconds.
// Build it with one command from the repository root, Orvane built in build/:
//   c++ -std=c++20 -I. client/examples/minimal.cpp -o minimal
//       build/client/liborvane_client.a build/gnp2/liborvane_gnp2.a -pthread
// and run it while Orvane runs: ./minimal [port]
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "client/SimulationClient.h"

int main(int argc, char** argv)
{
    const int port = argc > 1 ? std::atoi(argv[1]) : 11000;
    const std::uint32_t timePacket = 1, shape = 2; // type codes
    orvane::SimulationClient client;
    try {
        client.connect("127.0.0.1", port);
        for (int step = 0; step <= 250; ++step) { // 50 steps a second
            const float t = float(step) * 0.02f;
            GNP2::Packet time; // first: it stamps the packets that follow
            time.setHeader(GNP2::makeHeader(4000, timePacket));
            time.setFloatVector(0, {t});
            client.queue(time);
            GNP2::Packet box;
            box.setHeader(GNP2::makeHeader(1, shape)); // object 1
            if (step == 0) {
                box.setIntVector(5, {1});            // shape kind: box
                box.setIntVector(44, {220, 40, 40}); // colour
            }
            const float c = std::cos(t), s = std::sin(t); // orientation: turning about z
            box.setFloatVector(3, {c, s, 0.f, -s, c, 0.f});
            client.queue(box);
            client.flush(); // the whole step in one send
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    } catch (const orvane::ClientError& error) {
        std::fprintf(stderr, "minimal: %s\n", error.what());
        return 1;
    }
    return 0;
}
