#pragma once
// What the demo says about the packets the viewer sends back. The viewer
// answers every camera move with the camera's pose, dozens a second while
// the user drags, so a line per packet would bury everything else: the
// first packet of each object is named at once, later ones are counted and
// the counts said at most once per interval, and what is left when the link
// ends or the demo stops.
//
// Threading: one thread (the demo's main loop). Time is passed in.

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

class AnswerTally
{
public:
    using Clock = std::chrono::steady_clock;

    explicit AnswerTally(Clock::duration interval = std::chrono::seconds(5));

    // What packets of `object` are, for the lines ("camera pose").
    void name(std::uint32_t object, std::string what);

    // Counts one packet of `object` received at `now`; the lines to print.
    std::vector<std::string> received(std::uint32_t object, Clock::time_point now);
    // The counts not said yet, once the interval since the last count line
    // has passed; nothing otherwise.
    std::vector<std::string> due(Clock::time_point now);
    // The counts not said yet, now.
    std::vector<std::string> flush();

private:
    struct Counts
    {
        std::uint64_t total = 0;
        std::uint64_t unsaid = 0; // counted since the last line about this object
    };

    std::string what(std::uint32_t object, std::uint64_t count) const;

    Clock::duration _interval;
    std::map<std::uint32_t, std::string> _names;
    std::map<std::uint32_t, Counts> _counts;
    Clock::time_point _lastSaid{};
};
