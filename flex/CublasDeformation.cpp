#include "flex/CublasDeformation.h"

#include <cstdio>

#include <osg/Geometry>

#include "dynlib/GpuLibraries.h"
#include "dynlib/SharedLibrary.h"
#include "flex/DeformationInterpolator.h"

// The entry points used, as the CUDA runtime and the legacy cuBLAS
// interface declare them (every status an int, 0 for success).
struct CublasDeformationContext::Api
{
    int (*getDeviceCount)(int* count) = nullptr;
    int (*init)() = nullptr;
    int (*alloc)(int count, int elementSize, void** pointer) = nullptr;
    int (*free)(void* pointer) = nullptr;
    int (*setVector)(int count, int elementSize, const void* from, int fromStep, void* to,
                     int toStep) = nullptr;
    int (*getVector)(int count, int elementSize, const void* from, int fromStep, void* to,
                     int toStep) = nullptr;
    void (*sgemm)(char transA, char transB, int m, int n, int k, float alpha, const float* a,
                  int lda, const float* b, int ldb, float beta, float* c, int ldc) = nullptr;
    void (*saxpy)(int count, float alpha, const float* x, int xStep, float* y, int yStep) = nullptr;
    int (*getError)() = nullptr;
};

namespace {

template <typename Function>
bool bind(const dynlib::SharedLibrary& library, Function& function, const char* name)
{
    function = library.function<Function>(name);
    return function != nullptr;
}

} // namespace

CudaLibraries CudaLibraries::standard()
{
    dynlib::GpuLibraryNames names = dynlib::GpuLibraryNames::standard();
    return {std::move(names.cudaRuntime), std::move(names.cublas)};
}

CublasDeformationContext::CublasDeformationContext(CudaLibraries libraries)
    : _names(std::move(libraries)), _api(std::make_unique<Api>())
{
}

CublasDeformationContext::~CublasDeformationContext()
{
    if (_cublas)
        release();
}

bool CublasDeformationContext::start()
{
    dynlib::Registry& registry = dynlib::Registry::instance();
    dynlib::OpenResult runtime = registry.openFirst(_names.runtime, false, "cudaGetDeviceCount");
    if (!runtime.library) {
        _error = "the CUDA runtime cannot be loaded";
        return false;
    }
    bind(*runtime.library, _api->getDeviceCount, "cudaGetDeviceCount");
    int devices = 0;
    const int status = _api->getDeviceCount(&devices);
    if (status != 0 || devices < 1) {
        _error = "the CUDA runtime finds no device (error " + std::to_string(status) + ")";
        return false;
    }
    dynlib::OpenResult cublas = registry.openFirst(_names.cublas, false, "cublasAlloc");
    if (!cublas.library) {
        _error = "cuBLAS cannot be loaded";
        return false;
    }
    const dynlib::SharedLibrary& library = *cublas.library;
    if (!bind(library, _api->init, "cublasInit") || !bind(library, _api->alloc, "cublasAlloc") ||
        !bind(library, _api->free, "cublasFree") ||
        !bind(library, _api->setVector, "cublasSetVector") ||
        !bind(library, _api->getVector, "cublasGetVector") ||
        !bind(library, _api->sgemm, "cublasSgemm") || !bind(library, _api->saxpy, "cublasSaxpy") ||
        !bind(library, _api->getError, "cublasGetError")) {
        _error = "cuBLAS lacks an entry point of its legacy interface";
        return false;
    }
    // The settings dialog initialises cuBLAS when the back-end is chosen;
    // a body made with the back-end already stored does it here.
    if (const int init = _api->init(); init != 0) {
        _error = "cuBLAS cannot be initialised (status " + std::to_string(init) + ")";
        return false;
    }
    _runtime = std::move(runtime.library);
    _cublas = std::move(cublas.library);
    return true;
}

void CublasDeformationContext::report(const char* message)
{
    std::printf("%s\n", message);
    std::fflush(stdout);
    _failed = true;
}

void CublasDeformationContext::release()
{
    bool freed = true;
    for (float** buffer : {&_phi, &_w, &_x, &_v, &_v0}) {
        if (*buffer && _api->free(*buffer) != 0)
            freed = false;
        *buffer = nullptr;
    }
    if (!freed)
        report("!!!! memory free error");
    _vertexCapacity = _nodeCapacity = 0;
}

void CublasDeformationContext::reserve(std::size_t vertices, std::size_t nodes)
{
    if (_vertexCapacity < vertices || _nodeCapacity < nodes) {
        release();
        const auto allocate = [&](float*& buffer, std::size_t count, const char* message) {
            void* pointer = nullptr;
            if (_api->alloc(int(count), sizeof(float), &pointer) != 0)
                report(message);
            buffer = static_cast<float*>(pointer);
        };
        allocate(_phi, vertices * nodes, "!!!! device memory allocation error (A)");
        allocate(_w, 3 * nodes, "!!!! device memory allocation error (B)");
        allocate(_x, 4 * vertices, "!!!! device memory allocation error (X)");
        allocate(_v, 9, "!!!! device memory allocation error (V)");
        allocate(_v0, 3 * vertices, "!!!! device memory allocation error (V0)");
        _vertexCapacity = vertices;
        _nodeCapacity = nodes;
    }
    _vertices = vertices;
    _nodes = nodes;
}

void CublasDeformationContext::upload(const float* kernel, const osg::Vec3f& constant,
                                      const float* weights, const osg::Vec3Array& source,
                                      const osg::Vec3f& lx, const osg::Vec3f& ly,
                                      const osg::Vec3f& lz, osg::Vec3Array& destination)
{
    const int v = int(_vertices), n = int(_nodes);
    const auto write = [&](int count, const void* from, float* to, const char* message) {
        if (_api->setVector(count, sizeof(float), from, 1, to, 1) != 0)
            report(message);
    };
    write(v * n, kernel, _phi, "!!!! device access error (write phi)");
    write(3 * n, weights, _w, "!!!! device access error (write w)");
    write(3 * v, source.getDataPointer(), _x, "!!!! device access error (write x)");
    const float linear[9] = {lx.x(), lx.y(), lx.z(), ly.x(), ly.y(),
                             ly.z(), lz.x(), lz.y(), lz.z()};
    write(9, linear, _v, "!!!! device access error (write v)");
    _constants.resize(3 * _vertices);
    for (std::size_t i = 0; i < _vertices; ++i)
        for (int a = 0; a < 3; ++a)
            _constants[3 * i + std::size_t(a)] = constant[a];
    write(3 * v, _constants.data(), _v0, "!!!! device access error (write v0)");
    _destination = &destination;
}

void CublasDeformationContext::compute()
{
    const int v = int(_vertices), n = int(_nodes);
    // v0 <- v0 + v x: into v0, as x is an input of this product.
    _api->sgemm('n', 'n', 3, v, 3, 1.0f, _v, 3, _x, 3, 1.0f, _v0, 3);
    // x <- x + w phi^T (phi's rows are columns of an N x V matrix).
    _api->sgemm('n', 'n', 3, v, n, 1.0f, _w, 3, _phi, n, 1.0f, _x, 3);
    _api->saxpy(3 * v, 1.0f, _v0, 1, _x, 1);
    if (_destination &&
        _api->getVector(3 * v, sizeof(float), _x, 1, &_destination->front(), 1) != 0)
        report("!!!! device access error (read delta)");
    if (_destination)
        _destination->dirty();
}

CublasDeformation::CublasDeformation(CudaLibraries libraries) : _context(std::move(libraries)) {}

void CublasDeformation::deform(DeformationInterpolator& interpolator, const osg::Geometry& geometry,
                               const osg::Vec3Array& source, osg::Vec3Array& target)
{
    const std::size_t n = std::size_t(interpolator.nodeCount());
    if (source.empty() || n == 0 || target.size() != source.size())
        return;
    const std::vector<float>& kernel = interpolator.kernelArray(&geometry, source);
    _context.reserve(source.size(), n);
    _context.upload(kernel.data(), interpolator.c(), interpolator.weights().data(), source,
                    interpolator.lx(), interpolator.ly(), interpolator.lz(), target);
    _context.compute();
}
