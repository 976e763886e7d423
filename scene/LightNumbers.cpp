#include "scene/LightNumbers.h"

#include <atomic>

namespace {

// Unsigned, so that wrapping after 2^32 lights keeps the sequence 0..7 going.
std::atomic<std::uint32_t> s_counter{0};

} // namespace

int LightNumbers::take()
{
    return int(s_counter.fetch_add(1, std::memory_order_relaxed) % LIGHT_COUNT);
}

std::uint32_t LightNumbers::issued()
{
    return s_counter.load(std::memory_order_relaxed);
}

void LightNumbers::reset()
{
    s_counter.store(0, std::memory_order_relaxed);
}
