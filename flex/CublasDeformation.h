#pragma once
// The CUDA back-end: a geometry's deformation as two single-precision
// matrix products and a vector sum on the device through the legacy cuBLAS
// interface, bound at run time (the CUDA runtime to ask for a device, cuBLAS
// for the work). The device buffers grow to the largest geometry seen and
// are kept until the body goes.
//
// On the device, with the vertices as a 3 x V column-major matrix x:
//   v0 <- v0 + v x       (v: the linear coefficients, 3 x 3; v0: C per vertex)
//   x  <- x + w phi^T    (w: the weights, 3 x N; phi: the kernel array, N x V)
//   x  <- x + v0
// The first product is written into v0, not into x: it reads the positions
// while it runs, and a product whose output is one of its inputs is not
// defined.
//
// Threading: the scene update thread; a context belongs to one body.

#include <memory>
#include <string>
#include <vector>

#include <osg/Array>

#include "flex/DeformationBackend.h"
#include "flex/ProcessorDeformation.h"

namespace dynlib {
class SharedLibrary;
}

// The libraries' file names, first match wins.
struct CudaLibraries
{
    std::vector<std::string> runtime;
    std::vector<std::string> cublas;
    // Those of the platform (as the settings dialog loads them).
    static CudaLibraries standard();
};

class CublasDeformationContext
{
public:
    explicit CublasDeformationContext(CudaLibraries libraries = CudaLibraries::standard());
    ~CublasDeformationContext();
    CublasDeformationContext(const CublasDeformationContext&) = delete;
    CublasDeformationContext& operator=(const CublasDeformationContext&) = delete;

    // Binds the libraries, asks for a device and initialises cuBLAS. False
    // (with the reason in `error()`) when any of that fails.
    bool start();
    const std::string& error() const { return _error; }

    // Buffers for V vertices and N nodes: reallocated (all five) only when
    // either count exceeds what they hold.
    void reserve(std::size_t vertices, std::size_t nodes);
    // The geometry's data to the device; `destination` receives the result.
    void upload(const float* kernel, const osg::Vec3f& constant, const float* weights,
                const osg::Vec3Array& source, const osg::Vec3f& lx, const osg::Vec3f& ly,
                const osg::Vec3f& lz, osg::Vec3Array& destination);
    // The products; the moved vertices into the destination.
    void compute();
    // Frees the device buffers.
    void release();

    std::size_t vertexCapacity() const { return _vertexCapacity; }
    std::size_t nodeCapacity() const { return _nodeCapacity; }
    // Whether a call has failed since start (each failure is reported).
    bool failed() const { return _failed; }

private:
    struct Api;
    void report(const char* message);

    CudaLibraries _names;
    std::shared_ptr<dynlib::SharedLibrary> _runtime;
    std::shared_ptr<dynlib::SharedLibrary> _cublas;
    std::unique_ptr<Api> _api;
    std::string _error;
    bool _failed = false;

    osg::Vec3Array* _destination = nullptr;
    std::size_t _vertices = 0, _nodes = 0;
    std::size_t _vertexCapacity = 0, _nodeCapacity = 0;
    float* _phi = nullptr;
    float* _w = nullptr;
    float* _x = nullptr;
    float* _v = nullptr;
    float* _v0 = nullptr;
    std::vector<float> _constants;
};

class CublasDeformation : public DeformationBackend
{
public:
    explicit CublasDeformation(CudaLibraries libraries = CudaLibraries::standard());

    bool start() { return _context.start(); }
    const std::string& error() const { return _context.error(); }
    const CublasDeformationContext& context() const { return _context; }

    void deform(DeformationInterpolator& interpolator, const osg::Geometry& geometry,
                const osg::Vec3Array& source, osg::Vec3Array& target) override;

private:
    CublasDeformationContext _context;
};
