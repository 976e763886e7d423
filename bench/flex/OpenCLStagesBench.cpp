// Where the OpenCL back-end's time goes. One product of the flexible-body
// deformation (a V x N kernel array times N weights, V = 100,000, N = 256
// and 1,000) is taken apart into the steps the back-end runs for each of
// the three axes on every update, each step finished (clFinish) before the
// clock stops:
//   Setup     the three buffers made anew and the kernel created, arguments
//             set, and the upload below into those new buffers (devices
//             allocate a buffer's memory when it is first written, so the
//             two are timed together, as the back-end runs them);
//   Upload    the same writes into buffers already written once: the
//             kernel array (V x N floats), the vector and the zeroed result;
//   Kernel    "MatVecMulCoalesced3" on resident buffers, with the launch
//             geometry of the back-end (compute units x 512, groups of 256);
//   ReadBack  the V results read back.
// Processor is the same product on the processor (one thread, the sums in
// node order), the baseline for the ratios. Multiply a step by three for
// one update of a body.

#include <CL/cl.h>

#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr std::size_t VERTICES = 100000;
constexpr std::size_t LOCAL_SIZE = 256;
constexpr std::size_t ITEMS_PER_COMPUTE_UNIT = 512;

struct Product
{
    std::vector<float> matrix, vector, result;
    explicit Product(std::size_t n) : matrix(VERTICES * n), vector(n), result(VERTICES)
    {
        std::mt19937 rng(7);
        std::uniform_real_distribution<float> u(-1.0f, 1.0f);
        for (float& m : matrix)
            m = u(rng);
        for (float& w : vector)
            w = u(rng);
    }
};

// A context, queue and built program on the first device found (a GPU
// where there is one), and the buffers of one product.
struct Device
{
    cl_context context = nullptr;
    cl_command_queue queue = nullptr;
    cl_program program = nullptr;
    cl_uint computeUnits = 0;
    cl_mem matrix = nullptr, vector = nullptr, result = nullptr;
    cl_kernel kernel = nullptr;
    std::string error;

    Device()
    {
        cl_platform_id platforms[8];
        cl_uint platformCount = 0;
        if (clGetPlatformIDs(8, platforms, &platformCount) != CL_SUCCESS || platformCount == 0) {
            error = "no OpenCL platform";
            return;
        }
        cl_device_id device = nullptr;
        for (cl_device_type type :
             {cl_device_type(CL_DEVICE_TYPE_GPU), cl_device_type(CL_DEVICE_TYPE_ALL)})
            for (cl_uint p = 0; p < platformCount && !device; ++p)
                if (clGetDeviceIDs(platforms[p], type, 1, &device, nullptr) != CL_SUCCESS)
                    device = nullptr;
        if (!device) {
            error = "no OpenCL device";
            return;
        }
        clGetDeviceInfo(device, CL_DEVICE_MAX_COMPUTE_UNITS, sizeof computeUnits, &computeUnits,
                        nullptr);
        cl_int status = CL_SUCCESS;
        context = clCreateContext(nullptr, 1, &device, nullptr, nullptr, &status);
        queue = clCreateCommandQueueWithProperties(context, device, nullptr, &status);
        std::ifstream in(ORVANE_KERNEL_SOURCE, std::ios::binary);
        const std::string source((std::istreambuf_iterator<char>(in)),
                                 std::istreambuf_iterator<char>());
        const char* text = source.c_str();
        const std::size_t length = source.size();
        program = clCreateProgramWithSource(context, 1, &text, &length, &status);
        if (source.empty() || status != CL_SUCCESS ||
            clBuildProgram(program, 1, &device, "-cl-mad-enable", nullptr, nullptr) != CL_SUCCESS)
            error = "the kernel source " ORVANE_KERNEL_SOURCE " does not build";
    }

    ~Device()
    {
        releaseProduct();
        if (program)
            clReleaseProgram(program);
        if (queue)
            clReleaseCommandQueue(queue);
        if (context)
            clReleaseContext(context);
    }

    void setUp(const Product& product)
    {
        const std::size_t n = product.vector.size();
        matrix = clCreateBuffer(context, CL_MEM_READ_ONLY, VERTICES * n * sizeof(float), nullptr,
                                nullptr);
        vector = clCreateBuffer(context, CL_MEM_READ_ONLY, n * sizeof(float), nullptr, nullptr);
        result =
            clCreateBuffer(context, CL_MEM_WRITE_ONLY, VERTICES * sizeof(float), nullptr, nullptr);
        kernel = clCreateKernel(program, "MatVecMulCoalesced3", nullptr);
        const cl_uint width = cl_uint(n), height = cl_uint(VERTICES);
        clSetKernelArg(kernel, 0, sizeof(cl_mem), &matrix);
        clSetKernelArg(kernel, 1, sizeof(cl_mem), &vector);
        clSetKernelArg(kernel, 2, sizeof(cl_uint), &width);
        clSetKernelArg(kernel, 3, sizeof(cl_uint), &height);
        clSetKernelArg(kernel, 4, sizeof(cl_mem), &result);
        clSetKernelArg(kernel, 5, LOCAL_SIZE * sizeof(float), nullptr);
    }

    void upload(Product& product)
    {
        clEnqueueWriteBuffer(queue, matrix, CL_FALSE, 0, product.matrix.size() * sizeof(float),
                             product.matrix.data(), 0, nullptr, nullptr);
        clEnqueueWriteBuffer(queue, vector, CL_FALSE, 0, product.vector.size() * sizeof(float),
                             product.vector.data(), 0, nullptr, nullptr);
        std::fill(product.result.begin(), product.result.end(), 0.0f);
        clEnqueueWriteBuffer(queue, result, CL_FALSE, 0, VERTICES * sizeof(float),
                             product.result.data(), 0, nullptr, nullptr);
        clFinish(queue);
    }

    bool run()
    {
        const std::size_t global = std::size_t(computeUnits) * ITEMS_PER_COMPUTE_UNIT;
        const std::size_t local = LOCAL_SIZE;
        const bool launched = clEnqueueNDRangeKernel(queue, kernel, 1, nullptr, &global, &local, 0,
                                                     nullptr, nullptr) == CL_SUCCESS;
        clFinish(queue);
        return launched;
    }

    void readBack(Product& product)
    {
        clEnqueueReadBuffer(queue, result, CL_TRUE, 0, VERTICES * sizeof(float),
                            product.result.data(), 0, nullptr, nullptr);
    }

    void releaseProduct()
    {
        if (kernel)
            clReleaseKernel(kernel);
        for (cl_mem buffer : {matrix, vector, result})
            if (buffer)
                clReleaseMemObject(buffer);
        kernel = nullptr;
        matrix = vector = result = nullptr;
    }
};

void counters(benchmark::State& state, std::size_t n)
{
    state.counters["pairs/s"] = benchmark::Counter(double(VERTICES) * double(n),
                                                   benchmark::Counter::kIsIterationInvariantRate);
}

void processor(benchmark::State& state)
{
    const std::size_t n = std::size_t(state.range(0));
    Product product(n);
    for (auto _ : state) {
        for (std::size_t i = 0; i < VERTICES; ++i) {
            const float* row = product.matrix.data() + i * n;
            float sum = 0.0f;
            for (std::size_t j = 0; j < n; ++j)
                sum += row[j] * product.vector[j];
            product.result[i] = sum;
        }
        benchmark::DoNotOptimize(product.result.data());
    }
    counters(state, n);
}

// Times one step; the steps before it run once, untimed, so that it works
// on what they left.
enum class Stage
{
    Setup,
    Upload,
    Kernel,
    ReadBack
};

void stage(benchmark::State& state, Stage timed)
{
    const std::size_t n = std::size_t(state.range(0));
    Device device;
    if (!device.error.empty()) {
        state.SkipWithError(device.error.c_str());
        return;
    }
    Product product(n);
    device.setUp(product);
    device.upload(product);
    // The first launch compiles the kernel for the device (PoCL does it
    // then); that belongs to no update after the first.
    if (!device.run()) {
        state.SkipWithError("the kernel did not launch");
        return;
    }
    for (auto _ : state) {
        switch (timed) {
        case Stage::Setup:
            device.releaseProduct();
            device.setUp(product);
            device.upload(product);
            break;
        case Stage::Upload:
            device.upload(product);
            break;
        case Stage::Kernel:
            if (!device.run())
                state.SkipWithError("the kernel did not launch");
            break;
        case Stage::ReadBack:
            device.readBack(product);
            break;
        }
        benchmark::ClobberMemory();
    }
    counters(state, n);
}

void nodeCounts(benchmark::internal::Benchmark* b)
{
    b->Arg(256)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();
}

} // namespace

BENCHMARK(processor)->Name("OpenCLStages/Processor")->Apply(nodeCounts);
BENCHMARK_CAPTURE(stage, setup, Stage::Setup)->Name("OpenCLStages/Setup")->Apply(nodeCounts);
BENCHMARK_CAPTURE(stage, upload, Stage::Upload)->Name("OpenCLStages/Upload")->Apply(nodeCounts);
BENCHMARK_CAPTURE(stage, kernel, Stage::Kernel)->Name("OpenCLStages/Kernel")->Apply(nodeCounts);
BENCHMARK_CAPTURE(stage, readBack, Stage::ReadBack)
    ->Name("OpenCLStages/ReadBack")
    ->Apply(nodeCounts);
