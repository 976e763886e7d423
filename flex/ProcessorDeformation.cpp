#include "flex/ProcessorDeformation.h"

#include <algorithm>
#include <cmath>
#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ORVANE_FLEX_X86 1
#endif

#include "flex/DeformationInterpolator.h"

namespace flex {
namespace {

// Below this many vertex-node pairs per thread a helper costs more than it saves.
constexpr std::size_t PAIRS_PER_THREAD = std::size_t(2) << 20;

// p + (Lx.a p.x + Ly.a p.y + Lz.a p.z + sum + C.a), in that order.
inline osg::Vec3f moved(const osg::Vec3f& p, const osg::Vec3f& sum, const osg::Vec3f& lx,
                        const osg::Vec3f& ly, const osg::Vec3f& lz, const osg::Vec3f& c)
{
    osg::Vec3f result;
    for (int a = 0; a < 3; ++a)
        result[a] = p[a] + (lx[a] * p.x() + ly[a] * p.y() + lz[a] * p.z() + sum[a] + c[a]);
    return result;
}

using Pass = void (*)(const FieldNodes&, const osg::Vec3f*, osg::Vec3f*, std::size_t);

void plainPass(const FieldNodes& f, const osg::Vec3f* source, osg::Vec3f* target, std::size_t count)
{
    for (std::size_t v = 0; v < count; ++v) {
        const osg::Vec3f& p = source[v];
        float sx = 0.0f, sy = 0.0f, sz = 0.0f;
        for (std::size_t j = 0; j < f.count; ++j) {
            const float dx = p.x() - f.x[j], dy = p.y() - f.y[j], dz = p.z() - f.z[j];
            const float r2 = dx * dx + dy * dy + dz * dz;
            const float k = r2 * std::sqrt(r2);
            sx += k * f.wx[j];
            sy += k * f.wy[j];
            sz += k * f.wz[j];
        }
        target[v] = moved(p, {sx, sy, sz}, f.lx, f.ly, f.lz, f.c);
    }
}

#ifdef ORVANE_FLEX_X86

// GCC 12 takes the deliberately undefined first operand inside the AVX-512
// sqrt and reduction intrinsics for an uninitialised variable.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

// One vertex at a time against 16 nodes per step: three independent
// accumulator chains, the node data read from the cache.
__attribute__((target("avx512f"))) void avx512Pass(const FieldNodes& f, const osg::Vec3f* source,
                                                   osg::Vec3f* target, std::size_t count)
{
    const std::size_t padded = f.x.size();
    for (std::size_t v = 0; v < count; ++v) {
        const osg::Vec3f& p = source[v];
        const __m512 px = _mm512_set1_ps(p.x()), py = _mm512_set1_ps(p.y()),
                     pz = _mm512_set1_ps(p.z());
        __m512 sx = _mm512_setzero_ps(), sy = _mm512_setzero_ps(), sz = _mm512_setzero_ps();
        for (std::size_t j = 0; j < padded; j += 16) {
            const __m512 dx = _mm512_sub_ps(px, _mm512_loadu_ps(&f.x[j]));
            const __m512 dy = _mm512_sub_ps(py, _mm512_loadu_ps(&f.y[j]));
            const __m512 dz = _mm512_sub_ps(pz, _mm512_loadu_ps(&f.z[j]));
            const __m512 r2 =
                _mm512_fmadd_ps(dz, dz, _mm512_fmadd_ps(dy, dy, _mm512_mul_ps(dx, dx)));
            const __m512 k = _mm512_mul_ps(r2, _mm512_sqrt_ps(r2));
            sx = _mm512_fmadd_ps(k, _mm512_loadu_ps(&f.wx[j]), sx);
            sy = _mm512_fmadd_ps(k, _mm512_loadu_ps(&f.wy[j]), sy);
            sz = _mm512_fmadd_ps(k, _mm512_loadu_ps(&f.wz[j]), sz);
        }
        const osg::Vec3f sum(_mm512_reduce_add_ps(sx), _mm512_reduce_add_ps(sy),
                             _mm512_reduce_add_ps(sz));
        target[v] = moved(p, sum, f.lx, f.ly, f.lz, f.c);
    }
}

#pragma GCC diagnostic pop

__attribute__((target("avx2,fma"))) inline float horizontalSum(__m256 v)
{
    const __m128 half = _mm_add_ps(_mm256_castps256_ps128(v), _mm256_extractf128_ps(v, 1));
    const __m128 pairs = _mm_add_ps(half, _mm_movehl_ps(half, half));
    return _mm_cvtss_f32(_mm_add_ss(pairs, _mm_shuffle_ps(pairs, pairs, 1)));
}

__attribute__((target("avx2,fma"))) void avx2Pass(const FieldNodes& f, const osg::Vec3f* source,
                                                  osg::Vec3f* target, std::size_t count)
{
    const std::size_t padded = f.x.size();
    for (std::size_t v = 0; v < count; ++v) {
        const osg::Vec3f& p = source[v];
        const __m256 px = _mm256_set1_ps(p.x()), py = _mm256_set1_ps(p.y()),
                     pz = _mm256_set1_ps(p.z());
        __m256 sx = _mm256_setzero_ps(), sy = _mm256_setzero_ps(), sz = _mm256_setzero_ps();
        for (std::size_t j = 0; j < padded; j += 8) {
            const __m256 dx = _mm256_sub_ps(px, _mm256_loadu_ps(&f.x[j]));
            const __m256 dy = _mm256_sub_ps(py, _mm256_loadu_ps(&f.y[j]));
            const __m256 dz = _mm256_sub_ps(pz, _mm256_loadu_ps(&f.z[j]));
            const __m256 r2 =
                _mm256_fmadd_ps(dz, dz, _mm256_fmadd_ps(dy, dy, _mm256_mul_ps(dx, dx)));
            const __m256 k = _mm256_mul_ps(r2, _mm256_sqrt_ps(r2));
            sx = _mm256_fmadd_ps(k, _mm256_loadu_ps(&f.wx[j]), sx);
            sy = _mm256_fmadd_ps(k, _mm256_loadu_ps(&f.wy[j]), sy);
            sz = _mm256_fmadd_ps(k, _mm256_loadu_ps(&f.wz[j]), sz);
        }
        const osg::Vec3f sum(horizontalSum(sx), horizontalSum(sy), horizontalSum(sz));
        target[v] = moved(p, sum, f.lx, f.ly, f.lz, f.c);
    }
}

#endif

struct Choice
{
    Pass pass;
    const char* name;
};

Choice choosePass()
{
#ifdef ORVANE_FLEX_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f"))
        return {avx512Pass, "avx512"};
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"))
        return {avx2Pass, "avx2"};
#endif
    return {plainPass, "plain"};
}

const Choice& chosen()
{
    static const Choice choice = choosePass();
    return choice;
}

} // namespace

void FieldNodes::assign(const DeformationInterpolator& interpolator)
{
    count = std::size_t(interpolator.nodeCount());
    const std::size_t padded = std::max<std::size_t>((count + LANES - 1) / LANES * LANES, LANES);
    // Padding sits on node 0, so its kernel stays finite wherever node 0's
    // does, and weighs nothing.
    const osg::Vec3Array& nodes = interpolator.reference();
    const osg::Vec3f pad = count ? nodes[0] : osg::Vec3f();
    for (std::vector<float>* column : {&x, &y, &z, &wx, &wy, &wz})
        column->assign(padded, 0.0f);
    const std::vector<float>& weights = interpolator.weights();
    for (std::size_t j = 0; j < padded; ++j) {
        const osg::Vec3f& node = j < count ? nodes[j] : pad;
        x[j] = node.x();
        y[j] = node.y();
        z[j] = node.z();
        if (j < count) {
            wx[j] = weights[3 * j];
            wy[j] = weights[3 * j + 1];
            wz[j] = weights[3 * j + 2];
        }
    }
    lx = interpolator.lx();
    ly = interpolator.ly();
    lz = interpolator.lz();
    c = interpolator.c();
}

unsigned deformationThreads(std::size_t vertices, std::size_t nodes)
{
    const std::size_t pairs = vertices * std::max<std::size_t>(nodes, 1);
    const std::size_t wanted = std::max<std::size_t>(pairs / PAIRS_PER_THREAD, 1);
    const std::size_t cores = std::max(std::thread::hardware_concurrency(), 1u);
    return unsigned(std::min({wanted, cores, std::max<std::size_t>(vertices, 1)}));
}

void deformFused(const FieldNodes& field, const osg::Vec3f* source, osg::Vec3f* target,
                 std::size_t count, unsigned threads)
{
    const Pass pass = chosen().pass;
    if (threads == 0)
        threads = deformationThreads(count, field.count);
    threads = unsigned(std::clamp<std::size_t>(threads, 1, std::max<std::size_t>(count, 1)));
    if (threads == 1) {
        pass(field, source, target, count);
        return;
    }
    std::vector<std::thread> helpers;
    helpers.reserve(threads - 1);
    const std::size_t share = (count + threads - 1) / threads;
    for (unsigned t = 1; t < threads; ++t) {
        const std::size_t begin = std::min(count, share * t);
        const std::size_t end = std::min(count, begin + share);
        helpers.emplace_back(pass, std::cref(field), source + begin, target + begin, end - begin);
    }
    pass(field, source, target, std::min(count, share));
    for (std::thread& helper : helpers)
        helper.join();
}

void deformWithKernel(const float* kernel, const DeformationInterpolator& interpolator,
                      const osg::Vec3f* source, osg::Vec3f* target, std::size_t count)
{
    const std::size_t n = std::size_t(interpolator.nodeCount());
    const std::vector<float>& w = interpolator.weights();
    for (std::size_t v = 0; v < count; ++v) {
        const float* row = kernel + v * n;
        osg::Vec3f sum;
        for (int a = 0; a < 3; ++a) {
            float s = 0.0f;
            for (std::size_t j = 0; j < n; ++j)
                s += row[j] * w[3 * j + std::size_t(a)];
            sum[a] = s;
        }
        target[v] = moved(source[v], sum, interpolator.lx(), interpolator.ly(), interpolator.lz(),
                          interpolator.c());
    }
}

const char* fusedInstructionSet()
{
    return chosen().name;
}

} // namespace flex

void ProcessorDeformation::deform(DeformationInterpolator& interpolator, const osg::Geometry&,
                                  const osg::Vec3Array& source, osg::Vec3Array& target)
{
    _field.assign(interpolator);
    const std::size_t count = std::min(source.size(), target.size());
    if (count == 0)
        return;
    flex::deformFused(_field, &source.front(), &target.front(), count);
}
