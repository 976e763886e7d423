#pragma once
// Terrain geometry from a grid of height samples: one vertex per sample
// (every step-th sample, the last row and column always included, so the
// terrain keeps its extent at any step), two triangles per grid cell facing
// up, normals from the neighbouring heights and colours from the low and
// high colours of the description by height.
//
// Threading: plain values in, a new geometry out.

#include <vector>

#include <osg/Geometry>
#include <osg/ref_ptr>

#include "files/terrain/TerrainDescription.h"

namespace osg {
class Image;
}

namespace terrain {

// Heights from 0 (lowest) to 1 (highest), row by row from the bottom row
// (smallest y) up, `width` samples a row.
struct HeightSamples
{
    int width = 0;
    int height = 0;
    std::vector<float> values;

    float at(int column, int row) const
    {
        return values[std::size_t(row) * std::size_t(width) + std::size_t(column)];
    }
};

// The samples of an image: the mean of its red, green and blue (a grey
// image gives its grey), scaled to 0..1 whatever the pixel type. The scene
// library keeps images bottom row first, which is the row of smallest y.
HeightSamples samplesFromImage(const osg::Image& image);

// The sample positions along one axis of `count` samples at `step`.
std::vector<int> sampledIndices(int count, int step);

// The mesh; needs at least 2 x 2 samples (null otherwise).
osg::ref_ptr<osg::Geometry> buildHeightfield(const TerrainDescription& description,
                                             const HeightSamples& samples, int step);

} // namespace terrain
