#pragma once
// The GPU compute libraries of the flexible bodies' back-ends: the OpenCL ICD
// loader, and the CUDA runtime with cuBLAS. The program has no build-time
// dependency on either; they are opened through the Registry and every
// function is looked up by name. The settings dialog loads them when the user
// chooses a back-end, so that a missing library or device shows at once; the
// back-ends then find the same handles in the registry.
//
// Threading: any thread (the registry locks its table; the calls made here
// into the libraries are thread-safe).

#include <string>
#include <vector>

namespace dynlib {

// The file names tried for each library, first match wins.
struct GpuLibraryNames
{
    std::vector<std::string> openCL; // the ICD loader
    std::vector<std::string> cudaRuntime;
    std::vector<std::string> cublas;

    // The names the libraries have on this platform: the versioned ones the
    // toolkits install, then the bare development names.
    static GpuLibraryNames standard();
};

struct GpuLoadResult
{
    bool loaded = false;
    // Why not, in one line; empty when loaded.
    std::string reason;
};

// Opens the OpenCL ICD loader and checks that it offers a platform.
GpuLoadResult loadOpenCL(const GpuLibraryNames& names);

// Opens the CUDA runtime, checks that it sees a device, opens cuBLAS and
// initialises it once (a handle created and destroyed). A library opened here
// is released again when a later step fails.
GpuLoadResult loadCuda(const GpuLibraryNames& names);

// Drop the registry's hold on the libraries; a back-end still using one keeps
// it open until it lets go.
void unloadOpenCL(const GpuLibraryNames& names);
void unloadCuda(const GpuLibraryNames& names);

} // namespace dynlib
