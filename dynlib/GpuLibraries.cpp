#include "dynlib/GpuLibraries.h"

#include "dynlib/SharedLibrary.h"

namespace dynlib {

namespace {

// The few entry points used here, as the libraries declare them (every
// handle type is an opaque pointer, every status an int).
using ClGetPlatformIDs = int (*)(unsigned count, void** platforms, unsigned* available);
using CudaGetDeviceCount = int (*)(int* count);
using CublasCreate = int (*)(void** handle);
using CublasDestroy = int (*)(void* handle);

void releaseAll(const std::vector<std::string>& names)
{
    for (const std::string& name : names)
        Registry::instance().release(name);
}

std::string firstLine(std::string text)
{
    const auto end = text.find('\n');
    return end == std::string::npos ? text : text.substr(0, end);
}

GpuLoadResult failure(std::string reason)
{
    return {false, std::move(reason)};
}

// Opens the first of `names` that has `entry`, the function that says how
// many platforms or devices the library finds, and asks it through `count`
// (which stores the number and returns the status). A library that cannot be
// loaded, fails or finds nothing is a failure in the words of `library` and
// `findsNothing`, and is released again.
template <typename Entry, typename Count>
GpuLoadResult openFinding(const std::vector<std::string>& names, const char* entry,
                          const std::string& library, const std::string& findsNothing, Count count)
{
    const OpenResult opened = Registry::instance().openFirst(names, false, entry);
    if (!opened.library)
        return failure(library + " cannot be loaded: " + firstLine(opened.reasons));
    long found = 0;
    const int status = count(opened.library->function<Entry>(entry), found);
    if (status != 0 || found == 0) {
        releaseAll(names);
        return failure(library + " " + findsNothing + " (error " + std::to_string(status) + ")");
    }
    return {true, {}};
}

} // namespace

GpuLibraryNames GpuLibraryNames::standard()
{
    return {
        {"libOpenCL.so.1", "libOpenCL.so"},
        {"libcudart.so.13", "libcudart.so.12", "libcudart.so"},
        {"libcublas.so.13", "libcublas.so.12", "libcublas.so"},
    };
}

GpuLoadResult loadOpenCL(const GpuLibraryNames& names)
{
    return openFinding<ClGetPlatformIDs>(
        names.openCL, "clGetPlatformIDs", "OpenCL", "has no platform",
        [](ClGetPlatformIDs getPlatforms, long& found) {
            unsigned platforms = 0;
            const int status = getPlatforms(0, nullptr, &platforms);
            found = platforms;
            return status;
        });
}

GpuLoadResult loadCuda(const GpuLibraryNames& names)
{
    // Devices are counted before cuBLAS is opened: that library is large and
    // slow to map, and useless without a device.
    const GpuLoadResult runtime = openFinding<CudaGetDeviceCount>(
        names.cudaRuntime, "cudaGetDeviceCount", "the CUDA runtime", "finds no device",
        [](CudaGetDeviceCount getDevices, long& found) {
            int devices = 0;
            const int status = getDevices(&devices);
            found = devices;
            return status;
        });
    if (!runtime.loaded)
        return runtime;

    const OpenResult cublas =
        Registry::instance().openFirst(names.cublas, false, "cublasCreate_v2");
    if (!cublas.library) {
        releaseAll(names.cudaRuntime);
        return failure("cuBLAS cannot be loaded: " + firstLine(cublas.reasons));
    }
    const auto destroy = cublas.library->function<CublasDestroy>("cublasDestroy_v2");
    void* handle = nullptr;
    const int created = cublas.library->function<CublasCreate>("cublasCreate_v2")(&handle);
    if (created != 0 || !destroy) {
        releaseAll(names.cublas);
        releaseAll(names.cudaRuntime);
        return failure("cuBLAS cannot be initialised (status " + std::to_string(created) + ")");
    }
    destroy(handle);
    return {true, {}};
}

void unloadOpenCL(const GpuLibraryNames& names)
{
    releaseAll(names.openCL);
}

void unloadCuda(const GpuLibraryNames& names)
{
    releaseAll(names.cublas);
    releaseAll(names.cudaRuntime);
}

} // namespace dynlib
