// orvane-demo: a small simulation that streams an animated scene to an
// Orvane viewer at 50 steps a second.
//
//     orvane-demo [host] [port] [seconds]
//
// It waits for the viewer when none is listening yet and reconnects when the
// viewer ends the link (after a pause, so that "Disconnect" in the viewer
// shows the replay of what was streamed before the demo comes back).
// Clicks on its head-up display buttons pause the motion or recolour the
// graph; other packets the viewer sends back are named once per object and
// then counted.
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "client/SimulationClient.h"
#include "client/demo/AnswerTally.h"
#include "client/demo/DemoScene.h"

namespace {

void say(const std::vector<std::string>& lines)
{
    for (const std::string& line : lines)
        std::printf("orvane-demo: %s\n", line.c_str());
}

const char* const USAGE =
    "usage: orvane-demo [host] [port] [seconds]\n"
    "Streams an animated scene with every kind of object to an Orvane viewer\n"
    "listening on host (127.0.0.1) and port (11000), for the given seconds\n"
    "(0 or none: until stopped). Start orvane first, or the demo waits for it.\n";

// Why the demo waits: a viewer that does not listen yet is the usual case
// and not a fault; other failures (a host name that is not known) are named.
std::string waitingLine(const std::string& error, const std::string& peer)
{
    if (error.find(std::strerror(ECONNREFUSED)) != std::string::npos)
        return "no viewer listens on " + peer + " yet - waiting for it (start orvane)";
    return error + " - waiting for the viewer";
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::fputs(USAGE, stdout);
            return 0;
        }
        if (arg.size() > 1 && arg[0] == '-' && !std::isdigit(static_cast<unsigned char>(arg[1]))) {
            std::fprintf(stderr, "orvane-demo: unknown option %s\n%s", arg.c_str(), USAGE);
            return 2;
        }
    }
    const std::string host = argc > 1 ? argv[1] : "127.0.0.1";
    const int port = argc > 2 ? std::atoi(argv[2]) : orvane::SimulationClient::DEFAULT_PORT;
    const double seconds = argc > 3 ? std::atof(argv[3]) : 0.0; // 0: run until stopped

    using clock = std::chrono::steady_clock;
    const auto start = clock::now();
    const auto stepLength = std::chrono::milliseconds(20);
    const auto reconnectPause = std::chrono::seconds(2);
    DemoScene scene;
    orvane::SimulationClient client;
    bool waitingSaid = false;
    bool streamed = false; // a link was up: losing it is the viewer's doing
    AnswerTally answers;
    answers.name(DemoScene::VIEW_OBJECT, "camera pose");
    auto takeAnswers = [&] {
        while (auto answer = client.poll())
            if (!scene.answer(*answer))
                say(answers.received(GNP2::objectNumber(answer->header()), clock::now()));
    };

    for (;;) {
        const double elapsed = std::chrono::duration<double>(clock::now() - start).count();
        if (seconds > 0 && elapsed >= seconds)
            break;
        if (!client.isConnected()) {
            if (streamed) {
                takeAnswers();
                say(answers.flush());
                const std::string why = client.error();
                std::printf("orvane-demo: the link ended%s%s - reconnecting in %d s\n",
                            why.empty() ? "" : ": ", why.c_str(), int(reconnectPause.count()));
                std::fflush(stdout);
                client.close();
                streamed = false;
                std::this_thread::sleep_for(reconnectPause);
                continue;
            }
            try {
                client.connect(host, port);
                std::printf("orvane-demo: streaming to %s:%d\n", host.c_str(), port);
                waitingSaid = false;
                streamed = true;
                scene.reset();
            } catch (const orvane::ClientError& error) {
                if (!waitingSaid)
                    say({waitingLine(error.what(), host + ":" + std::to_string(port))});
                waitingSaid = true;
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
                continue;
            }
        }
        try {
            scene.step(client, float(elapsed));
            client.flush();
        } catch (const orvane::ClientError&) {
            continue; // the link is down: said and paused above
        }
        takeAnswers();
        say(answers.due(clock::now()));
        std::fflush(stdout);
        std::this_thread::sleep_for(stepLength);
    }
    client.close();
    takeAnswers();
    say(answers.flush());
    return 0;
}
