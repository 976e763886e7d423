#pragma once
// What the stand-in CUDA library records of each call made to it.
#include <string>
#include <vector>

namespace standin {

struct Call
{
    std::string name; // init, alloc, free, set, get, sgemm, saxpy
    std::vector<long> sizes;
    std::vector<const void*> pointers;
};

// The library's own steering entry points, looked up with dlsym.
using Calls = const std::vector<Call>* (*)();
using Reset = void (*)(int deviceCount, int failingAllocations);
using Held = std::size_t (*)();

} // namespace standin
