#include "flex/DeformationBackend.h"

#include <cstdio>

#include "flex/CublasDeformation.h"
#include "flex/OpenCLDeformation.h"
#include "flex/ProcessorDeformation.h"

DeformationMode deformationMode(int setting)
{
    switch (setting) {
    case int(DeformationMode::OpenCL):
        return DeformationMode::OpenCL;
    case int(DeformationMode::Cublas):
        return DeformationMode::Cublas;
    default:
        return DeformationMode::Processor;
    }
}

std::unique_ptr<DeformationBackend> makeDeformationBackend(DeformationMode mode)
{
    return makeDeformationBackend(mode, {}, CudaLibraries::standard());
}

namespace {

// The started back-end, or the processor's with a line saying why not.
template <typename Backend>
std::unique_ptr<DeformationBackend> startedOrProcessor(std::unique_ptr<Backend> backend,
                                                       const char* name)
{
    if (backend->start())
        return backend;
    std::printf("Flexible bodies: the %s back-end cannot start (%s); deforming on the "
                "processor.\n",
                name, backend->error().c_str());
    std::fflush(stdout);
    return std::make_unique<ProcessorDeformation>();
}

} // namespace

std::unique_ptr<DeformationBackend> makeDeformationBackend(DeformationMode mode,
                                                           std::vector<std::string> kernelFiles,
                                                           CudaLibraries cudaLibraries)
{
    switch (mode) {
    case DeformationMode::OpenCL:
        return startedOrProcessor(std::make_unique<OpenCLDeformation>(std::move(kernelFiles)),
                                  "OpenCL");
    case DeformationMode::Cublas:
        return startedOrProcessor(std::make_unique<CublasDeformation>(std::move(cudaLibraries)),
                                  "CUDA");
    default:
        return std::make_unique<ProcessorDeformation>();
    }
}
