// The GPU libraries as the settings dialog loads them: a missing library or
// device is a failure with a reason and leaves nothing held; the OpenCL ICD
// loader with PoCL loads, unloads and loads again; CUDA loads exactly when
// the runtime sees a device.

#include <gtest/gtest.h>

#include <dlfcn.h>

#include "dynlib/GpuLibraries.h"
#include "dynlib/SharedLibrary.h"

namespace {

using dynlib::GpuLibraryNames;
using dynlib::Registry;

const std::vector<std::string> kMissing = {"liborvane-no-such-gpu-library.so"};

bool anyHeld(const std::vector<std::string>& names)
{
    for (const std::string& name : names)
        if (Registry::instance().isLoaded(name))
            return true;
    return false;
}

// Whether this machine has a CUDA device, asked of the runtime directly.
bool cudaDevicePresent()
{
    for (const std::string& name : GpuLibraryNames::standard().cudaRuntime) {
        void* runtime = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!runtime)
            continue;
        using Count = int (*)(int*);
        const auto count = reinterpret_cast<Count>(dlsym(runtime, "cudaGetDeviceCount"));
        int devices = 0;
        const bool present = count && count(&devices) == 0 && devices > 0;
        dlclose(runtime);
        return present;
    }
    return false;
}

TEST(GpuLibraries, MissingLibrariesFailWithAReasonAndHoldNothing)
{
    GpuLibraryNames names{kMissing, kMissing, kMissing};
    const dynlib::GpuLoadResult openCL = dynlib::loadOpenCL(names);
    EXPECT_FALSE(openCL.loaded);
    EXPECT_NE(openCL.reason.find("OpenCL cannot be loaded"), std::string::npos) << openCL.reason;
    EXPECT_NE(openCL.reason.find(kMissing[0]), std::string::npos) << openCL.reason;

    const dynlib::GpuLoadResult cuda = dynlib::loadCuda(names);
    EXPECT_FALSE(cuda.loaded);
    EXPECT_NE(cuda.reason.find("CUDA runtime cannot be loaded"), std::string::npos) << cuda.reason;
    EXPECT_FALSE(anyHeld(kMissing));
}

// A library that opens but is not the one asked for (no such entry point)
// does not count as loaded.
TEST(GpuLibraries, ALibraryWithoutTheEntryPointIsNotTaken)
{
    GpuLibraryNames names{{"libm.so.6"}, {"libm.so.6"}, {"libm.so.6"}};
    EXPECT_FALSE(dynlib::loadOpenCL(names).loaded);
    const dynlib::GpuLoadResult cuda = dynlib::loadCuda(names);
    EXPECT_FALSE(cuda.loaded);
    EXPECT_NE(cuda.reason.find("has no cudaGetDeviceCount"), std::string::npos) << cuda.reason;
    EXPECT_FALSE(Registry::instance().isLoaded("libm.so.6"));
}

TEST(GpuLibraries, OpenCLLoadsUnloadsAndLoadsAgain)
{
    const GpuLibraryNames names = GpuLibraryNames::standard();
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        const dynlib::GpuLoadResult loaded = dynlib::loadOpenCL(names);
        ASSERT_TRUE(loaded.loaded) << loaded.reason;
        EXPECT_TRUE(anyHeld(names.openCL));
        dynlib::unloadOpenCL(names);
        EXPECT_FALSE(anyHeld(names.openCL));
    }
}

TEST(GpuLibraries, CudaWithoutADeviceIsRefusedAndReleased)
{
    if (cudaDevicePresent())
        GTEST_SKIP() << "this machine has a CUDA device";
    const GpuLibraryNames names = GpuLibraryNames::standard();
    const dynlib::GpuLoadResult loaded = dynlib::loadCuda(names);
    EXPECT_FALSE(loaded.loaded);
    EXPECT_FALSE(loaded.reason.empty());
    EXPECT_FALSE(anyHeld(names.cudaRuntime));
    EXPECT_FALSE(anyHeld(names.cublas));
}

TEST(GpuLibraries, CudaWithADeviceInitialisesCublas)
{
    if (!cudaDevicePresent())
        GTEST_SKIP() << "no CUDA device on this machine";
    const GpuLibraryNames names = GpuLibraryNames::standard();
    const dynlib::GpuLoadResult loaded = dynlib::loadCuda(names);
    ASSERT_TRUE(loaded.loaded) << loaded.reason;
    EXPECT_TRUE(anyHeld(names.cudaRuntime));
    EXPECT_TRUE(anyHeld(names.cublas));
    dynlib::unloadCuda(names);
    EXPECT_FALSE(anyHeld(names.cublas));
}

} // namespace
