#pragma once
// The OpenCL back-end: the three matrix-vector products of a geometry's
// deformation (the V x N kernel array times the x, y and z weights) run by
// the kernel "MatVecMulCoalesced3" on an OpenCL device, the rest on the
// processor. The OpenCL library is bound at run time through the shared
// library registry; a GPU device is preferred, any device (a processor
// device such as PoCL's) is taken when there is none.
//
// The kernel source is read from "oclMatVecMul.cl" in the working
// directory, else from kernels/ in the program's data folders.
//
// Threading: the scene update thread; a context belongs to one body.

#include <memory>
#include <string>
#include <vector>

#include "flex/DeformationBackend.h"
#include "flex/ProcessorDeformation.h"

namespace dynlib {
class SharedLibrary;
}

class OpenCLMatVecContext
{
public:
    static constexpr const char* KERNEL_FILE = "oclMatVecMul.cl";
    static constexpr const char* KERNEL_NAME = "MatVecMulCoalesced3";
    static constexpr unsigned LOCAL_SIZE = 256;
    static constexpr unsigned ITEMS_PER_COMPUTE_UNIT = 512;

    // `kernelFiles`: where the source is looked for, first found wins;
    // empty: the working directory's file, then the data folders'.
    explicit OpenCLMatVecContext(std::vector<std::string> kernelFiles = {});
    // Runs cleanUp (which says so on standard output) unless a failed
    // set-up has run it already.
    ~OpenCLMatVecContext();
    OpenCLMatVecContext(const OpenCLMatVecContext&) = delete;
    OpenCLMatVecContext& operator=(const OpenCLMatVecContext&) = delete;

    // Context, queue and program; any failure runs cleanUp. False when the
    // context cannot be used; `error()` says why.
    bool initOpenCL();
    // The device buffers of one product: V x N matrix, N vector, V result.
    bool createBuffers(const float* matrix, const float* vector, float* result, unsigned height,
                       unsigned width);
    // result = matrix x vector, read back into the host result on return.
    bool runMatVec();
    // Releases the buffers of the current product.
    void releaseBuffers();
    // Prints "Cleaning up... " and releases everything.
    void cleanUp();

    bool ready() const { return _ready; }
    const std::string& error() const { return _error; }
    unsigned computeUnits() const { return _computeUnits; }

private:
    struct Api;
    bool fail(const std::string& what, int status);

    std::vector<std::string> _kernelFiles;
    std::shared_ptr<dynlib::SharedLibrary> _library;
    std::unique_ptr<Api> _api;
    void* _context = nullptr;
    void* _queue = nullptr;
    std::vector<void*> _devices;
    void* _program = nullptr;
    void* _kernel = nullptr;
    void* _event = nullptr;
    void* _matrixBuffer = nullptr;
    void* _vectorBuffer = nullptr;
    void* _resultBuffer = nullptr;
    unsigned _computeUnits = 0;
    std::string _source;
    const float* _matrix = nullptr;
    const float* _vector = nullptr;
    float* _result = nullptr;
    unsigned _width = 0;
    unsigned _height = 0;
    bool _ready = false;
    std::string _error;
};

class OpenCLDeformation : public DeformationBackend
{
public:
    explicit OpenCLDeformation(std::vector<std::string> kernelFiles = {});

    // False when the context could not be set up (the reason in `error()`).
    bool start();
    const std::string& error() const { return _context.error(); }
    // Whether a failed product has switched this body to the processor.
    bool fellBack() const { return _fellBack; }

    void deform(DeformationInterpolator& interpolator, const osg::Geometry& geometry,
                const osg::Vec3Array& source, osg::Vec3Array& target) override;

private:
    OpenCLMatVecContext _context;
    ProcessorDeformation _processor;
    bool _fellBack = false;
    std::vector<float> _weights[3];
    std::vector<float> _results[3];
};
