#include "replay/ReplayIndex.h"

#include <algorithm>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

// Asks the system to back [data, data + bytes) with large pages where it
// can: a long index fills tens of megabytes, and faulting them in 4 KiB at a
// time costs more than writing them.
void preferLargePages(void* data, std::size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t LARGE = std::uintptr_t(2) << 20;
    const std::uintptr_t begin = (std::uintptr_t(data) + LARGE - 1) & ~(LARGE - 1);
    const std::uintptr_t end = (std::uintptr_t(data) + bytes) & ~(LARGE - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

} // namespace

std::size_t ReplayIndex::frameOf(std::size_t record) const
{
    const auto it = std::upper_bound(_frames.begin(), _frames.end(), record,
                                     [](std::size_t r, const Frame& f) { return r < f.first; });
    return std::size_t(it - _frames.begin()) - 1;
}

std::size_t ReplayIndex::frameAfter(float t) const
{
    const auto it = std::upper_bound(_frames.begin(), _frames.end(), t,
                                     [](float v, const Frame& f) { return v < f.time; });
    return std::size_t(it - _frames.begin());
}

std::uint64_t ReplayIndex::highWordAt(std::size_t record) const
{
    const auto it = std::upper_bound(
        _highs.begin(), _highs.end(), record,
        [](std::size_t r, const std::pair<std::size_t, std::uint64_t>& h) { return r < h.first; });
    return std::prev(it)->second << 32;
}

void ReplayIndex::addFrame(float time, std::size_t first)
{
    _frames.push_back({time, std::uint32_t(first)});
}

void ReplayIndex::addHighWord(std::uint64_t high, std::size_t first)
{
    _highs.emplace_back(first, high);
}

void ReplayIndex::clear()
{
    _records.reset();
    _size = 0;
    _capacity = 0;
    _frames.clear();
    _highs.clear();
    _high = 0;
    _latest = std::numeric_limits<float>::quiet_NaN();
}

void ReplayIndex::reserve(std::size_t records)
{
    if (records <= _capacity)
        return;
    // Left uninitialised: only the records appended are written, so the
    // pages beyond them are never touched.
    std::unique_ptr<Record[]> grown(new Record[records]);
    preferLargePages(grown.get(), records * sizeof(Record));
    if (_size > 0)
        std::memcpy(grown.get(), _records.get(), _size * sizeof(Record));
    _records = std::move(grown);
    _capacity = records;
}
