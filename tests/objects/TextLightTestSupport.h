#pragma once
// The text and light object tests' packets (the shared item tables) and
// what the objects print when a packet lacks an item.

#include <string>

#include <gtest/gtest.h>

#include "gnp2/Packet.h"
#include "tests/support/Packets.h"

namespace textlight {

using testsupport::deliver;
using testsupport::Items;
using testsupport::makePacket;

// What a call writes to standard output. An exception from the call passes
// on, after the capture has ended.
template <typename F> std::string printedBy(F&& call)
{
    ::testing::internal::CaptureStdout();
    try {
        call();
    } catch (...) {
        ::testing::internal::GetCapturedStdout();
        throw;
    }
    return ::testing::internal::GetCapturedStdout();
}

// The lines a packet exception writes when it is made, for a missing item.
inline std::string exceptionLines(int item)
{
    return std::string(GNP2::ACCESSOR_ERROR) + "\nErrorNr: " + std::to_string(item) + "\n";
}

} // namespace textlight
