#include "files/terrain/HeightfieldMesh.h"

#include <algorithm>

#include <osg/Image>
#include <osg/PrimitiveSet>

namespace terrain {

HeightSamples samplesFromImage(const osg::Image& image)
{
    HeightSamples samples;
    samples.width = image.s();
    samples.height = image.t();
    samples.values.reserve(std::size_t(samples.width) * std::size_t(samples.height));
    for (int t = 0; t < samples.height; ++t) {
        for (int s = 0; s < samples.width; ++s) {
            const osg::Vec4 colour = image.getColor(unsigned(s), unsigned(t));
            const float grey = (colour.r() + colour.g() + colour.b()) / 3.0f;
            samples.values.push_back(std::clamp(grey, 0.0f, 1.0f));
        }
    }
    return samples;
}

std::vector<int> sampledIndices(int count, int step)
{
    std::vector<int> indices;
    step = std::max(step, 1);
    for (int i = 0; i < count; i += step)
        indices.push_back(i);
    if (count > 0 && indices.back() != count - 1)
        indices.push_back(count - 1);
    return indices;
}

osg::ref_ptr<osg::Geometry> buildHeightfield(const TerrainDescription& description,
                                             const HeightSamples& samples, int step)
{
    if (samples.width < 2 || samples.height < 2 ||
        samples.values.size() != std::size_t(samples.width) * std::size_t(samples.height))
        return nullptr;
    const std::vector<int> columns = sampledIndices(samples.width, step);
    const std::vector<int> rows = sampledIndices(samples.height, step);
    const auto nx = unsigned(columns.size());
    const auto ny = unsigned(rows.size());

    const float dx = description.size[0] / float(samples.width - 1);
    const float dy = description.size[1] / float(samples.height - 1);
    const float range = description.highHeight - description.lowHeight;
    const osg::Vec4 low(description.lowColour[0], description.lowColour[1],
                        description.lowColour[2], 1.0f);
    const osg::Vec4 high(description.highColour[0], description.highColour[1],
                         description.highColour[2], 1.0f);
    const auto z = [&](int column, int row) {
        return description.lowHeight + range * samples.at(column, row);
    };

    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec3Array> normals = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
    vertices->reserve(nx * ny);
    normals->reserve(nx * ny);
    colours->reserve(nx * ny);
    for (unsigned j = 0; j < ny; ++j) {
        for (unsigned i = 0; i < nx; ++i) {
            const int c = columns[i], r = rows[j];
            vertices->push_back(osg::Vec3(description.origin[0] + dx * float(c),
                                          description.origin[1] + dy * float(r), z(c, r)));
            // Slopes from the neighbouring sampled points (one-sided at the edges).
            const int c0 = columns[i == 0 ? 0 : i - 1], c1 = columns[i + 1 == nx ? i : i + 1];
            const int r0 = rows[j == 0 ? 0 : j - 1], r1 = rows[j + 1 == ny ? j : j + 1];
            const float slopeX = (z(c1, r) - z(c0, r)) / (dx * float(c1 - c0));
            const float slopeY = (z(c, r1) - z(c, r0)) / (dy * float(r1 - r0));
            osg::Vec3 normal(-slopeX, -slopeY, 1.0f);
            normal.normalize();
            normals->push_back(normal);
            const float v = samples.at(c, r);
            colours->push_back(low * (1.0f - v) + high * v);
        }
    }

    osg::ref_ptr<osg::DrawElementsUInt> triangles = new osg::DrawElementsUInt(GL_TRIANGLES);
    triangles->reserve(std::size_t(nx - 1) * (ny - 1) * 6);
    for (unsigned j = 0; j + 1 < ny; ++j) {
        for (unsigned i = 0; i + 1 < nx; ++i) {
            const unsigned a = j * nx + i, b = a + 1, c = a + nx, d = c + 1;
            // Counter-clockwise seen from above.
            for (const unsigned index : {a, b, d, a, d, c})
                triangles->push_back(index);
        }
    }

    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    geometry->setUseVertexBufferObjects(true);
    geometry->setVertexArray(vertices.get());
    geometry->setNormalArray(normals.get(), osg::Array::BIND_PER_VERTEX);
    geometry->setColorArray(colours.get(), osg::Array::BIND_PER_VERTEX);
    geometry->addPrimitiveSet(triangles.get());
    return geometry;
}

} // namespace terrain
