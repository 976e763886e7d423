#pragma once
// The smooth displacement field of a flexible body: a cubic radial-basis
// function with a linear polynomial term, fitted per axis to the node
// displacements. Along axis a,
//   d_a(p) = sum_j w_j.a |p - x_j|^3 + C.a + Lx.a p.x + Ly.a p.y + Lz.a p.z
// reproduces node j's displacement at x_j, and the weights are orthogonal
// to constants and to the linear terms. The fit is the square system
//   [Phi P; P^T 0] [w; C, L] = [d; 0],  Phi(i, j) = |x_i - x_j|^3,
// P = [1 x y z], of N+4 unknowns, solved in the least-squares sense (the
// minimal-length solution when the nodes leave it singular, as when they
// all lie in a plane).
//
// The matrix depends on the reference nodes only, so it is factorised once,
// when the interpolator is made (O(N^3)); each solve then costs O(N^2) per
// axis. The solution equals a fresh solve of the whole system (fillSystem)
// by the constrained least-squares routine to rounding.
//
// A solve whose result is not finite (a displacement or a node that is not
// a number) keeps the previous field, so the body keeps its previous shape.
//
// Both node arrays are shared with the flexible body, which overwrites the
// displacements in place between solves.
//
// Threading: the scene update thread only.

#include <cstddef>
#include <map>
#include <vector>

#include <osg/Array>
#include <osg/ref_ptr>

#include "flex/solver/LeastSquaresFactor.h"

namespace osg {
class Geometry;
}

class DeformationInterpolator
{
public:
    DeformationInterpolator(osg::ref_ptr<const osg::Vec3Array> reference,
                            osg::ref_ptr<const osg::Vec3Array> displacements);

    int nodeCount() const { return _n; }
    const osg::Vec3Array& reference() const { return *_reference; }

    // Phi(i, j) = |x_i - x_j|^3, the distance taken in single precision.
    double phi(int i, int j) const
    {
        return _phi[std::size_t(j) * std::size_t(_n) + std::size_t(i)];
    }
    // P(i, k): 1, x_i, y_i, z_i for k = 0 ... 3.
    double p(int i, int k) const { return _p[std::size_t(k) * std::size_t(_n) + std::size_t(i)]; }

    // The whole system of one axis (0 x, 1 y, 2 z) as the constrained
    // least-squares routine takes it: (N+4) x (N+5), column-major with
    // leading dimension N+4, the right-hand side in the last column.
    void fillSystem(int axis, std::vector<double>& w) const;

    // Fits the field to the current displacements, x, y and z in turn.
    // False when the result is not finite: the previous field stays.
    bool solve();

    // The field of the last successful solve (zero before the first).
    // Weights interleaved: (w_j.x, w_j.y, w_j.z) for j = 0 ... N-1.
    const std::vector<float>& weights() const { return _weights; }
    // Lx.a is the coefficient of a point's x in the displacement along axis
    // a, likewise Ly and Lz; C.a the constant term along a.
    const osg::Vec3f& lx() const { return _lx; }
    const osg::Vec3f& ly() const { return _ly; }
    const osg::Vec3f& lz() const { return _lz; }
    const osg::Vec3f& c() const { return _c; }
    // The unknowns of the last solve (the z axis): w_0 ... w_(N-1), C, Lx,
    // Ly, Lz.
    const std::vector<double>& solution() const { return _x; }

    // The V x N kernel array of a geometry's vertices, row v holding
    // |p_v - x_j|^3 in single precision: computed on the first request for
    // the geometry and kept. The processor back-end computes the kernel on
    // the fly instead; this is for back-ends that upload it to a device.
    const std::vector<float>& kernelArray(const osg::Geometry* source,
                                          const osg::Vec3Array& vertices);

private:
    osg::ref_ptr<const osg::Vec3Array> _reference;
    osg::ref_ptr<const osg::Vec3Array> _displacements;
    int _n = 0;
    std::vector<double> _phi; // N x N, column-major
    std::vector<double> _p;   // N x 4, column-major
    flex::LeastSquaresFactor _factor;
    std::vector<double> _side; // N+4
    std::vector<double> _x;    // N+4
    std::vector<double> _solved[3];
    std::vector<float> _weights;
    osg::Vec3f _lx, _ly, _lz, _c;
    std::map<const osg::Geometry*, std::vector<float>> _kernels;
};

// |a - b|^3 with the distance taken in single precision, as the field uses it.
float cubedDistance(const osg::Vec3f& a, const osg::Vec3f& b);
