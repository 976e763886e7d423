#include "flex/DeformationBackend.h"

#include <atomic>
#include <cstdio>

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
    if (mode != DeformationMode::Processor) {
        static std::atomic<bool> said{false};
        if (!said.exchange(true)) {
            std::printf("Flexible bodies: the %s back-end is not available in this build; "
                        "deforming on the processor.\n",
                        mode == DeformationMode::OpenCL ? "OpenCL" : "CUDA");
            std::fflush(stdout);
        }
    }
    return std::make_unique<ProcessorDeformation>();
}
