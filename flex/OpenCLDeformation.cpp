#include "flex/OpenCLDeformation.h"

#define CL_TARGET_OPENCL_VERSION 120
#define CL_USE_DEPRECATED_OPENCL_1_2_APIS
#include <CL/cl.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include <osg/Geometry>

#include "dynlib/GpuLibraries.h"
#include "dynlib/SharedLibrary.h"
#include "files/ProgramPaths.h"
#include "flex/DeformationInterpolator.h"

// The OpenCL entry points used, looked up by name in the loaded library.
struct OpenCLMatVecContext::Api
{
    decltype(&clGetPlatformIDs) getPlatformIDs = nullptr;
    decltype(&clGetDeviceIDs) getDeviceIDs = nullptr;
    decltype(&clCreateContextFromType) createContextFromType = nullptr;
    decltype(&clGetContextInfo) getContextInfo = nullptr;
    decltype(&clGetDeviceInfo) getDeviceInfo = nullptr;
    decltype(&clCreateCommandQueue) createCommandQueue = nullptr;
    decltype(&clCreateProgramWithSource) createProgramWithSource = nullptr;
    decltype(&clBuildProgram) buildProgram = nullptr;
    decltype(&clGetProgramBuildInfo) getProgramBuildInfo = nullptr;
    decltype(&clCreateBuffer) createBuffer = nullptr;
    decltype(&clEnqueueWriteBuffer) enqueueWriteBuffer = nullptr;
    decltype(&clCreateKernel) createKernel = nullptr;
    decltype(&clSetKernelArg) setKernelArg = nullptr;
    decltype(&clEnqueueNDRangeKernel) enqueueNDRangeKernel = nullptr;
    decltype(&clEnqueueReadBuffer) enqueueReadBuffer = nullptr;
    decltype(&clReleaseEvent) releaseEvent = nullptr;
    decltype(&clReleaseKernel) releaseKernel = nullptr;
    decltype(&clReleaseProgram) releaseProgram = nullptr;
    decltype(&clReleaseCommandQueue) releaseCommandQueue = nullptr;
    decltype(&clReleaseContext) releaseContext = nullptr;
    decltype(&clReleaseMemObject) releaseMemObject = nullptr;

    // Every entry point resolved; false when one is missing.
    bool bind(const dynlib::SharedLibrary& library)
    {
        bool all = true;
        const auto get = [&](auto& function, const char* name) {
            function = library.function<std::remove_reference_t<decltype(function)>>(name);
            all = all && function;
        };
        get(getPlatformIDs, "clGetPlatformIDs");
        get(getDeviceIDs, "clGetDeviceIDs");
        get(createContextFromType, "clCreateContextFromType");
        get(getContextInfo, "clGetContextInfo");
        get(getDeviceInfo, "clGetDeviceInfo");
        get(createCommandQueue, "clCreateCommandQueue");
        get(createProgramWithSource, "clCreateProgramWithSource");
        get(buildProgram, "clBuildProgram");
        get(getProgramBuildInfo, "clGetProgramBuildInfo");
        get(createBuffer, "clCreateBuffer");
        get(enqueueWriteBuffer, "clEnqueueWriteBuffer");
        get(createKernel, "clCreateKernel");
        get(setKernelArg, "clSetKernelArg");
        get(enqueueNDRangeKernel, "clEnqueueNDRangeKernel");
        get(enqueueReadBuffer, "clEnqueueReadBuffer");
        get(releaseEvent, "clReleaseEvent");
        get(releaseKernel, "clReleaseKernel");
        get(releaseProgram, "clReleaseProgram");
        get(releaseCommandQueue, "clReleaseCommandQueue");
        get(releaseContext, "clReleaseContext");
        get(releaseMemObject, "clReleaseMemObject");
        return all;
    }
};

namespace {

std::vector<std::string> standardKernelFiles()
{
    std::vector<std::string> files{std::string("./") + OpenCLMatVecContext::KERNEL_FILE};
    for (const std::string& folder : programpaths::dataDirectories())
        files.push_back(folder + "/kernels/" + OpenCLMatVecContext::KERNEL_FILE);
    return files;
}

// The whole file, or nothing when it cannot be read.
bool readWhole(const std::string& name, std::string& text)
{
    std::ifstream in(name, std::ios::binary);
    if (!in)
        return false;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

} // namespace

OpenCLMatVecContext::OpenCLMatVecContext(std::vector<std::string> kernelFiles)
    : _kernelFiles(kernelFiles.empty() ? standardKernelFiles() : std::move(kernelFiles)),
      _api(std::make_unique<Api>())
{
}

OpenCLMatVecContext::~OpenCLMatVecContext()
{
    // A context whose set-up failed has been cleaned up (and said so).
    if (_library)
        cleanUp();
}

bool OpenCLMatVecContext::fail(const std::string& what, int status)
{
    _error = what + (status ? " (OpenCL error " + std::to_string(status) + ")" : "");
    cleanUp();
    return false;
}

bool OpenCLMatVecContext::initOpenCL()
{
    const dynlib::GpuLibraryNames names = dynlib::GpuLibraryNames::standard();
    dynlib::OpenResult opened =
        dynlib::Registry::instance().openFirst(names.openCL, false, "clGetPlatformIDs");
    if (!opened.library)
        return fail("the OpenCL library cannot be loaded", 0);
    _library = std::move(opened.library);
    if (!_api->bind(*_library))
        return fail("the OpenCL library lacks an entry point", 0);

    // A GPU when there is one, else any device. Devices are probed first: a
    // context asked for a type no platform has is not to be trusted.
    cl_uint platformCount = 0;
    cl_int status = _api->getPlatformIDs(0, nullptr, &platformCount);
    if (status != CL_SUCCESS || platformCount == 0)
        return fail("no OpenCL platform", status);
    std::vector<cl_platform_id> platforms(platformCount);
    _api->getPlatformIDs(platformCount, platforms.data(), nullptr);
    cl_platform_id chosen = nullptr;
    cl_device_type type = CL_DEVICE_TYPE_GPU;
    for (cl_device_type wanted :
         {cl_device_type(CL_DEVICE_TYPE_GPU), cl_device_type(CL_DEVICE_TYPE_ALL)}) {
        for (cl_platform_id platform : platforms) {
            cl_uint count = 0;
            if (_api->getDeviceIDs(platform, wanted, 0, nullptr, &count) == CL_SUCCESS && count) {
                chosen = platform;
                type = wanted;
                break;
            }
        }
        if (chosen)
            break;
    }
    if (!chosen)
        return fail("no OpenCL device", 0);

    const cl_context_properties properties[] = {CL_CONTEXT_PLATFORM, cl_context_properties(chosen),
                                                0};
    cl_context context = _api->createContextFromType(properties, type, nullptr, nullptr, &status);
    if (status != CL_SUCCESS)
        return fail("no OpenCL context", status);
    _context = context;

    std::size_t size = 0;
    status = _api->getContextInfo(context, CL_CONTEXT_DEVICES, 0, nullptr, &size);
    if (status != CL_SUCCESS || size < sizeof(cl_device_id))
        return fail("the OpenCL context has no device", status);
    _devices.assign(size / sizeof(cl_device_id), nullptr);
    status = _api->getContextInfo(context, CL_CONTEXT_DEVICES, size, _devices.data(), nullptr);
    if (status != CL_SUCCESS)
        return fail("the OpenCL devices cannot be listed", status);
    const auto device = static_cast<cl_device_id>(_devices[0]);
    cl_uint units = 0;
    status =
        _api->getDeviceInfo(device, CL_DEVICE_MAX_COMPUTE_UNITS, sizeof units, &units, nullptr);
    if (status != CL_SUCCESS || units == 0)
        return fail("the OpenCL device has no compute units", status);
    _computeUnits = units;
    _queue = _api->createCommandQueue(context, device, 0, &status);
    if (status != CL_SUCCESS)
        return fail("no OpenCL command queue", status);

    std::string used;
    for (const std::string& name : _kernelFiles)
        if (readWhole(name, _source)) {
            used = name;
            break;
        }
    if (used.empty())
        return fail(std::string("the kernel source ") + KERNEL_FILE + " cannot be read", 0);

    const char* text = _source.c_str();
    const std::size_t length = _source.size();
    _program = _api->createProgramWithSource(context, 1, &text, &length, &status);
    if (status != CL_SUCCESS)
        return fail("the kernel source " + used + " gives no program", status);
    status = _api->buildProgram(static_cast<cl_program>(_program), 0, nullptr, "-cl-mad-enable",
                                nullptr, nullptr);
    if (status != CL_SUCCESS) {
        std::string log(4096, '\0');
        std::size_t logSize = 0;
        _api->getProgramBuildInfo(static_cast<cl_program>(_program), device, CL_PROGRAM_BUILD_LOG,
                                  log.size(), log.data(), &logSize);
        log.resize(std::min(logSize, log.size()));
        return fail("the kernel " + used + " does not build: " + log, status);
    }
    _ready = true;
    _error.clear();
    return true;
}

bool OpenCLMatVecContext::createBuffers(const float* matrix, const float* vector, float* result,
                                        unsigned height, unsigned width)
{
    if (!_ready)
        return false;
    releaseBuffers();
    _matrix = matrix;
    _vector = vector;
    _result = result;
    _height = height;
    _width = width;
    const auto context = static_cast<cl_context>(_context);
    cl_int a = CL_SUCCESS, b = CL_SUCCESS, c = CL_SUCCESS;
    const std::size_t floats = sizeof(float);
    _matrixBuffer = _api->createBuffer(context, CL_MEM_READ_ONLY,
                                       std::size_t(height) * width * floats, nullptr, &a);
    _vectorBuffer = _api->createBuffer(context, CL_MEM_READ_ONLY, width * floats, nullptr, &b);
    _resultBuffer = _api->createBuffer(context, CL_MEM_WRITE_ONLY, height * floats, nullptr, &c);
    if (a != CL_SUCCESS || b != CL_SUCCESS || c != CL_SUCCESS) {
        _error = "the OpenCL buffers cannot be made (OpenCL error " +
                 std::to_string(a != CL_SUCCESS   ? a
                                : b != CL_SUCCESS ? b
                                                  : c) +
                 ")";
        releaseBuffers();
        return false;
    }
    return true;
}

bool OpenCLMatVecContext::runMatVec()
{
    if (!_ready || !_matrixBuffer)
        return false;
    const auto queue = static_cast<cl_command_queue>(_queue);
    const auto matrix = static_cast<cl_mem>(_matrixBuffer);
    const auto vector = static_cast<cl_mem>(_vectorBuffer);
    const auto result = static_cast<cl_mem>(_resultBuffer);
    const std::size_t matrixBytes = std::size_t(_height) * _width * sizeof(float);
    const auto check = [&](cl_int status, const char* what) {
        if (status != CL_SUCCESS)
            _error = std::string(what) + " failed (OpenCL error " + std::to_string(status) + ")";
        return status == CL_SUCCESS;
    };

    // The in-order queue runs the writes before the kernel; the blocking
    // read at the end waits for all of it, so the host arrays stay valid.
    if (!check(_api->enqueueWriteBuffer(queue, matrix, CL_FALSE, 0, matrixBytes, _matrix, 0,
                                        nullptr, nullptr),
               "writing the matrix") ||
        !check(_api->enqueueWriteBuffer(queue, vector, CL_FALSE, 0, _width * sizeof(float), _vector,
                                        0, nullptr, nullptr),
               "writing the vector"))
        return false;
    std::fill(_result, _result + _height, 0.0f);
    if (!check(_api->enqueueWriteBuffer(queue, result, CL_FALSE, 0, _height * sizeof(float),
                                        _result, 0, nullptr, nullptr),
               "writing the result"))
        return false;

    if (_kernel)
        _api->releaseKernel(static_cast<cl_kernel>(_kernel));
    cl_int status = CL_SUCCESS;
    _kernel = _api->createKernel(static_cast<cl_program>(_program), KERNEL_NAME, &status);
    if (!check(status, "creating the kernel"))
        return false;
    const auto kernel = static_cast<cl_kernel>(_kernel);
    const cl_uint width = _width, height = _height;
    if (!check(_api->setKernelArg(kernel, 0, sizeof(cl_mem), &matrix), "argument 0") ||
        !check(_api->setKernelArg(kernel, 1, sizeof(cl_mem), &vector), "argument 1") ||
        !check(_api->setKernelArg(kernel, 2, sizeof(cl_uint), &width), "argument 2") ||
        !check(_api->setKernelArg(kernel, 3, sizeof(cl_uint), &height), "argument 3") ||
        !check(_api->setKernelArg(kernel, 4, sizeof(cl_mem), &result), "argument 4") ||
        !check(_api->setKernelArg(kernel, 5, LOCAL_SIZE * sizeof(float), nullptr), "argument 5"))
        return false;

    const std::size_t global = std::size_t(_computeUnits) * ITEMS_PER_COMPUTE_UNIT;
    const std::size_t local = LOCAL_SIZE;
    cl_event event = nullptr;
    if (!check(_api->enqueueNDRangeKernel(queue, kernel, 1, nullptr, &global, &local, 0, nullptr,
                                          &event),
               "launching the kernel"))
        return false;
    _event = event;
    const bool read =
        check(_api->enqueueReadBuffer(queue, result, CL_TRUE, 0, _height * sizeof(float), _result,
                                      0, nullptr, nullptr),
              "reading the result");
    _api->releaseEvent(event);
    _event = nullptr;
    return read;
}

void OpenCLMatVecContext::releaseBuffers()
{
    for (void** buffer : {&_matrixBuffer, &_vectorBuffer, &_resultBuffer}) {
        if (*buffer)
            _api->releaseMemObject(static_cast<cl_mem>(*buffer));
        *buffer = nullptr;
    }
}

void OpenCLMatVecContext::cleanUp()
{
    std::printf("Cleaning up... \n");
    std::fflush(stdout);
    _ready = false;
    _devices.clear();
    _source.clear();
    if (!_library)
        return;
    if (_event)
        _api->releaseEvent(static_cast<cl_event>(_event));
    if (_kernel)
        _api->releaseKernel(static_cast<cl_kernel>(_kernel));
    if (_program)
        _api->releaseProgram(static_cast<cl_program>(_program));
    if (_queue)
        _api->releaseCommandQueue(static_cast<cl_command_queue>(_queue));
    releaseBuffers();
    if (_context)
        _api->releaseContext(static_cast<cl_context>(_context));
    _event = _kernel = _program = _queue = _context = nullptr;
    _library.reset();
}

OpenCLDeformation::OpenCLDeformation(std::vector<std::string> kernelFiles)
    : _context(std::move(kernelFiles))
{
}

bool OpenCLDeformation::start()
{
    return _context.initOpenCL();
}

void OpenCLDeformation::deform(DeformationInterpolator& interpolator, const osg::Geometry& geometry,
                               const osg::Vec3Array& source, osg::Vec3Array& target)
{
    const std::size_t count = std::min(source.size(), target.size());
    const std::size_t n = std::size_t(interpolator.nodeCount());
    if (!_fellBack && _context.ready() && count > 0 && n > 0) {
        const std::vector<float>& kernel = interpolator.kernelArray(&geometry, source);
        const std::vector<float>& w = interpolator.weights();
        bool done = true;
        for (int a = 0; a < 3 && done; ++a) {
            _weights[a].resize(n);
            for (std::size_t j = 0; j < n; ++j)
                _weights[a][j] = w[3 * j + std::size_t(a)];
            _results[a].resize(source.size());
            done = _context.createBuffers(kernel.data(), _weights[a].data(), _results[a].data(),
                                          unsigned(source.size()), unsigned(n)) &&
                   _context.runMatVec();
            _context.releaseBuffers();
        }
        if (done) {
            const osg::Vec3f lx = interpolator.lx(), ly = interpolator.ly(), lz = interpolator.lz(),
                             c = interpolator.c();
            for (std::size_t v = 0; v < count; ++v) {
                const osg::Vec3f& p = source[v];
                const osg::Vec3f sum(_results[0][v], _results[1][v], _results[2][v]);
                target[v] = p + (sum + lx * p.x() + ly * p.y() + lz * p.z() + c);
            }
            return;
        }
        std::printf("Flexible bodies: the OpenCL back-end failed (%s); deforming on the "
                    "processor.\n",
                    _context.error().c_str());
        std::fflush(stdout);
        _fellBack = true;
    }
    _processor.deform(interpolator, geometry, source, target);
}
