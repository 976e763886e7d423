#pragma once
// Where a flexible body's vertices are moved: the one interface of the
// compute back-ends. Each writes, for every source vertex p of a geometry,
//   new_a = p_a + sum_j K(v, j) w_j.a + Lx.a p.x + Ly.a p.y + Lz.a p.z + C.a
// (K(v, j) = |p_v - x_j|^3) into the deformed copy's vertex array, from the
// interpolator's current field. The processor back-end is the reference the
// device back-ends are held to.
//
// The back-end is chosen per body from the setting
// "HardwareAcceleration/extension": 0 processor, 1 OpenCL, 2 CUDA (cuBLAS);
// any other value is the processor.
//
// Threading: the scene update thread; a back-end belongs to one body.

#include <memory>
#include <string>
#include <vector>

#include <osg/Array>

class DeformationInterpolator;
namespace osg {
class Geometry;
}

class DeformationBackend
{
public:
    virtual ~DeformationBackend() = default;

    // Writes into `target` (as many vertices as `source`) the source vertices
    // moved by the field. `geometry` is the source geometry the vertices
    // belong to, for back-ends that keep data per geometry.
    virtual void deform(DeformationInterpolator& interpolator, const osg::Geometry& geometry,
                        const osg::Vec3Array& source, osg::Vec3Array& target) = 0;
};

enum class DeformationMode
{
    Processor = 0,
    OpenCL = 1,
    Cublas = 2,
};

// The mode a stored setting value selects.
DeformationMode deformationMode(int setting);

// The back-end of a mode. A device back-end that cannot start (no library,
// no device, for OpenCL no kernel source) gives the processor back-end
// instead and says so, with the reason, on standard output (for every body,
// as each has its own context).
std::unique_ptr<DeformationBackend> makeDeformationBackend(DeformationMode mode);
// As above, with the files the OpenCL kernel source is looked for in (empty:
// the standard places) and the CUDA libraries' names.
struct CudaLibraries;
std::unique_ptr<DeformationBackend> makeDeformationBackend(DeformationMode mode,
                                                           std::vector<std::string> kernelFiles,
                                                           CudaLibraries cudaLibraries);
