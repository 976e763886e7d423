#include "flex/DeformationBackend.h"

#include <atomic>
#include <cstdio>

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
    return makeDeformationBackend(mode, {});
}

std::unique_ptr<DeformationBackend> makeDeformationBackend(DeformationMode mode,
                                                           std::vector<std::string> kernelFiles)
{
    if (mode == DeformationMode::OpenCL) {
        auto openCL = std::make_unique<OpenCLDeformation>(std::move(kernelFiles));
        if (openCL->start())
            return openCL;
        std::printf("Flexible bodies: the OpenCL back-end cannot start (%s); deforming on the "
                    "processor.\n",
                    openCL->error().c_str());
        std::fflush(stdout);
        return std::make_unique<ProcessorDeformation>();
    }
    if (mode == DeformationMode::Cublas) {
        static std::atomic<bool> said{false};
        if (!said.exchange(true)) {
            std::printf("Flexible bodies: the CUDA back-end is not available in this build; "
                        "deforming on the processor.\n");
            std::fflush(stdout);
        }
    }
    return std::make_unique<ProcessorDeformation>();
}
