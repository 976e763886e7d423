// A stand-in for the CUDA runtime and the legacy cuBLAS interface, loaded
// by the CUDA back-end's tests through the same dlopen path as the real
// libraries: "device" memory is host memory, the products are computed
// plainly on the processor, and every call is recorded for the tests to
// read (standInCalls) together with the buffers still held.
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "StandInCublas.h"

namespace {

using standin::Call;

std::vector<Call> calls;
std::set<void*> held;
int devices = 1;
int failAllocations = 0; // the next this many allocations fail

void record(const char* name, std::vector<long> sizes, std::vector<const void*> pointers = {})
{
    calls.push_back({name, std::move(sizes), std::move(pointers)});
}

// A copy between host memory and the stand-in's device memory (both the
// process's own), recorded with the device side's pointer; only contiguous
// vectors are copied, as the program sends them.
int copyVector(const char* name, int count, int elementSize, const void* from, int fromStep,
               void* to, int toStep, const void* device)
{
    record(name, {count, elementSize, fromStep, toStep}, {device});
    if (!device || fromStep != 1 || toStep != 1)
        return 7;
    std::memcpy(to, from, std::size_t(count) * std::size_t(elementSize));
    return 0;
}

} // namespace

extern "C" {

// What the tests read and steer.
const std::vector<Call>* standInCalls()
{
    return &calls;
}
void standInReset(int deviceCount, int failingAllocations)
{
    calls.clear();
    devices = deviceCount;
    failAllocations = failingAllocations;
}
std::size_t standInHeld()
{
    return held.size();
}

int cudaGetDeviceCount(int* count)
{
    *count = devices;
    return devices > 0 ? 0 : 100; // the runtime's "no device"
}

int cublasInit()
{
    record("init", {});
    return 0;
}

int cublasGetError()
{
    return 0;
}

int cublasAlloc(int count, int elementSize, void** pointer)
{
    record("alloc", {count, elementSize});
    if (failAllocations > 0) {
        --failAllocations;
        *pointer = nullptr;
        return 3; // allocation failed
    }
    *pointer = std::calloc(std::size_t(count > 0 ? count : 1), std::size_t(elementSize));
    held.insert(*pointer);
    return 0;
}

int cublasFree(void* pointer)
{
    record("free", {}, {pointer});
    if (!held.erase(pointer))
        return 7;
    std::free(pointer);
    return 0;
}

int cublasSetVector(int count, int elementSize, const void* from, int fromStep, void* to,
                    int toStep)
{
    return copyVector("set", count, elementSize, from, fromStep, to, toStep, to);
}

int cublasGetVector(int count, int elementSize, const void* from, int fromStep, void* to,
                    int toStep)
{
    return copyVector("get", count, elementSize, from, fromStep, to, toStep, from);
}

// Column-major, no transposition. Written the way a device would run it:
// the output is written while the inputs are still being read, so an
// output that is also an input gives a wrong product (as on a device).
void cublasSgemm(char transA, char transB, int m, int n, int k, float alpha, const float* a,
                 int lda, const float* b, int ldb, float beta, float* c, int ldc)
{
    record("sgemm", {transA, transB, m, n, k, lda, ldb, ldc}, {a, b, c});
    if (!a || !b || !c)
        return;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < m; ++i) {
            float sum = 0.0f;
            for (int l = 0; l < k; ++l)
                sum += a[i + l * lda] * b[l + j * ldb];
            c[i + j * ldc] = alpha * sum + beta * c[i + j * ldc];
        }
}

void cublasSaxpy(int count, float alpha, const float* x, int xStep, float* y, int yStep)
{
    record("saxpy", {count, xStep, yStep}, {x, y});
    if (!x || !y)
        return;
    for (int i = 0; i < count; ++i)
        y[i * yStep] += alpha * x[i * xStep];
}

} // extern "C"
