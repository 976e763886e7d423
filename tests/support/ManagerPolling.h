#pragma once
// The object manager driven as the main window drives it, without a window:
// one core application per test program, with settings of the tests' own,
// and a loop that runs the status poll and the update pass until a condition
// holds.
#include <QCoreApplication>

#include <chrono>
#include <thread>

#include "scene/ObjectManager.h"

namespace managertest {

// The test program's core application, made on first use; its settings lie
// in a temporary folder, never the user's.
QCoreApplication& app();

// Runs the status poll and the update pass until `done` or the time limit;
// false when the limit came first.
template <typename Done>
bool pollUntil(ObjectManager& manager, Done done,
               std::chrono::milliseconds timeout = std::chrono::seconds(10))
{
    const auto limit = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit)
            return false;
        manager.updateStatus();
        manager.updateCallback().runOnce();
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace managertest
