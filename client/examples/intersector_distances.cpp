// A ball moving up and down under a downward ray: an intersector reports the
// distance from the ray's start to the ball at every step.
// Run it while Orvane runs: intersector_distances [port] [steps]
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "client/SimulationClient.h"
#include "orvane/Protocol.h"

namespace item = orvane::item;
namespace result = orvane::item::reply::intersector_result;

int main(int argc, char** argv)
{
    const int port = argc > 1 ? std::atoi(argv[1]) : orvane::SimulationClient::DEFAULT_PORT;
    const int steps = argc > 2 ? std::atoi(argv[2]) : 100;
    constexpr std::uint32_t BALL = 1, RAY = 2;
    orvane::SimulationClient client;
    int hits = 0, misses = 0;
    try {
        client.connect("127.0.0.1", port);
        GNP2::Packet ball;
        ball.setHeader(GNP2::makeHeader(BALL, orvane::kind::Shape));
        ball.setIntVector(item::shape::ShapeKind, {item::shape::KIND_SPHERE}); // diameter 1
        ball.setIntVector(item::shape::Colour, {40, 160, 220});
        client.queue(ball);
        for (int step = 0; step < steps; ++step) {
            const float t = float(step) * 0.02f;
            GNP2::Packet time;
            time.setHeader(GNP2::makeHeader(4000, orvane::kind::Time));
            time.setFloatVector(item::time::Time, {t});
            client.queue(time);
            GNP2::Packet move;
            move.setHeader(GNP2::makeHeader(BALL, orvane::kind::Shape));
            move.setFloatVector(item::shape::Position, {0, 0, std::sin(t)});
            client.queue(move);
            GNP2::Packet ray; // every packet for it runs one test
            ray.setHeader(GNP2::makeHeader(RAY, orvane::kind::Intersector));
            ray.setFloatVector(item::intersector::Start, {0, 0, 5});
            ray.setFloatVector(item::intersector::End, {0, 0, -5});
            ray.setFloatVector(item::intersector::MarkerSize, {0.05f});
            ray.setIntVector(item::intersector::DisplayMode, {1});
            client.queue(ray);
            client.flush();
            for (auto reply = client.waitForPacket(std::chrono::milliseconds(50)); reply;
                 reply = client.poll()) {
                if (!reply->hasItem(result::Hit))
                    continue;
                const auto hit = reply->getIntVector(result::Hit);
                if (hit.empty() || hit[0] == 0 || !reply->hasItem(result::Distance)) {
                    ++misses;
                    continue;
                }
                ++hits;
                const float when = reply->getFloatVector(result::Time).at(0);
                // The ray starts at 5; the ball's top is 0.5 above its centre.
                std::printf("t=%.2f distance %.3f (expected %.3f)\n", when,
                            reply->getFloatVector(result::Distance).at(0), 4.5 - std::sin(when));
                std::fflush(stdout);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    } catch (const orvane::ClientError& error) {
        std::fprintf(stderr, "intersector_distances: %s\n", error.what());
        return 1;
    } catch (const std::exception& error) { // a reply without the items a result has
        std::fprintf(stderr, "intersector_distances: %s\n", error.what());
        return 1;
    }
    std::printf("intersector_distances: %d hits, %d misses\n", hits, misses);
    return 0;
}
