#pragma once
// The processor back-end: every vertex is moved by all N node influences in
// one fused pass that computes |p - x_j|^3 on the fly (no V x N kernel array
// is kept: the pass reads only the vertices and 6N floats of node data, so
// it runs from the cache instead of streaming V x N x 4 bytes of memory).
// The node loop is vectorised (AVX-512 or AVX2 with FMA when the processor
// has them, chosen once at run time, else plain code) and large geometries
// are split across the processor's cores.
//
// Results equal the formula evaluated in single precision up to rounding
// (the sums are taken in another order).
//
// Threading: deform runs on the calling thread and, for large work, on
// short-lived helper threads it joins before returning.

#include <cstddef>
#include <vector>

#include <osg/Vec3f>

#include "flex/DeformationBackend.h"

namespace flex {

// The field as the fused pass reads it: node positions and weights one
// array per coordinate, padded to a multiple of LANES with copies of node 0
// that weigh nothing.
struct FieldNodes
{
    static constexpr std::size_t LANES = 16;

    std::vector<float> x, y, z, wx, wy, wz;
    std::size_t count = 0; // N, before padding
    osg::Vec3f lx, ly, lz, c;

    void assign(const DeformationInterpolator& interpolator);
};

// Moves `count` vertices from `source` to `target` by the field, on up to
// `threads` threads (0: as many as deformationThreads suggests).
void deformFused(const FieldNodes& field, const osg::Vec3f* source, osg::Vec3f* target,
                 std::size_t count, unsigned threads = 0);

// The threads worth using for `vertices` x `nodes` pairs: one per two
// million pairs, at most one per core.
unsigned deformationThreads(std::size_t vertices, std::size_t nodes);

// The formula as written, one vertex after the other, over a precomputed
// kernel array (row v: K(v, 0 ... N-1)) with the sums taken in node order:
// the reference the fused pass is tested and measured against.
void deformWithKernel(const float* kernel, const DeformationInterpolator& interpolator,
                      const osg::Vec3f* source, osg::Vec3f* target, std::size_t count);

// Which code the fused pass runs on this processor: "avx512", "avx2" or
// "plain".
const char* fusedInstructionSet();

} // namespace flex

class ProcessorDeformation : public DeformationBackend
{
public:
    void deform(DeformationInterpolator& interpolator, const osg::Geometry& geometry,
                const osg::Vec3Array& source, osg::Vec3Array& target) override;

private:
    flex::FieldNodes _field;
};
