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
    const OpenResult opened =
        Registry::instance().openFirst(names.openCL, false, "clGetPlatformIDs");
    if (!opened.library)
        return failure("OpenCL cannot be loaded: " + firstLine(opened.reasons));
    unsigned platforms = 0;
    const int status =
        opened.library->function<ClGetPlatformIDs>("clGetPlatformIDs")(0, nullptr, &platforms);
    if (status != 0 || platforms == 0) {
        releaseAll(names.openCL);
        return failure("OpenCL has no platform (error " + std::to_string(status) + ")");
    }
    return {true, {}};
}

GpuLoadResult loadCuda(const GpuLibraryNames& names)
{
    const OpenResult runtime =
        Registry::instance().openFirst(names.cudaRuntime, false, "cudaGetDeviceCount");
    if (!runtime.library)
        return failure("the CUDA runtime cannot be loaded: " + firstLine(runtime.reasons));
    // Asked before cuBLAS is opened: that library is large and slow to map,
    // and useless without a device.
    int devices = 0;
    const int status =
        runtime.library->function<CudaGetDeviceCount>("cudaGetDeviceCount")(&devices);
    if (status != 0 || devices == 0) {
        releaseAll(names.cudaRuntime);
        return failure("the CUDA runtime finds no device (error " + std::to_string(status) + ")");
    }

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
