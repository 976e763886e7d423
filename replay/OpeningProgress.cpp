#include "replay/OpeningProgress.h"

OpeningProgress::Shown OpeningProgress::update(std::uint64_t done, std::uint64_t total)
{
    if (done == 0) {
        _start = _clock();
        return {};
    }
    if (total == 0 || done >= total)
        return {false, 100};
    return {_clock() - _start >= _delay, int(done * 100 / total)};
}
