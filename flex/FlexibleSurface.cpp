#include "flex/FlexibleSurface.h"

#include <algorithm>
#include <filesystem>

#include <osg/LightModel>
#include <osg/Texture2D>
#include <osgDB/ReadFile>
#include <osgDB/Registry>

#include "files/FindFile.h"
#include "log/Log.h"

namespace {

bool isFile(const std::string& name)
{
    std::error_code error;
    return std::filesystem::is_regular_file(name, error);
}

} // namespace

FlexibleSurface::FlexibleSurface(int rows, int columns, const float* x, const float* y,
                                 const float* z, bool twoSided, const std::string& textureFile)
    : _rows(std::max(rows, 0)), _columns(std::max(columns, 0)),
      _vertices(new osg::Vec3Array(vertexCount())), _normals(new osg::Vec3Array(vertexCount())),
      _colors(new osg::Vec4Array(vertexCount())), _geometry(new osg::Geometry)
{
    if (!x || !y || !z) {
        console::writeLine(console::LEVEL_2,
                           "FlexibleSurface() constructor has failed miserably because X, Y, Z "
                           "or color pointer are NULL!");
        return;
    }

    _geometry->setUseDisplayList(false);
    _geometry->setUseVertexBufferObjects(true);
    _geometry->setDataVariance(osg::Object::DYNAMIC);
    writeVertices(x, y, z);
    _geometry->setVertexArray(_vertices.get());
    _geometry->setNormalArray(_normals.get(), osg::Array::BIND_PER_VERTEX);

    std::fill(_colors->begin(), _colors->end(), osg::Vec4(1.0f, 1.0f, 1.0f, 1.0f));
    _geometry->setColorArray(_colors.get(), osg::Array::BIND_PER_VERTEX);

    // One strip per row pair; the index pair a cell shares with the next is
    // repeated, which only adds zero-area quads between the cells.
    for (int r = 0; r + 1 < _rows; ++r) {
        osg::ref_ptr<osg::DrawElementsUInt> strip =
            new osg::DrawElementsUInt(osg::PrimitiveSet::QUAD_STRIP);
        strip->reserve(std::size_t(4 * (_columns - 1)));
        for (int c = 0; c + 1 < _columns; ++c) {
            const unsigned k = unsigned(r * _columns + c);
            const unsigned below = k + unsigned(_columns);
            strip->push_back(k);
            strip->push_back(below);
            strip->push_back(k + 1);
            strip->push_back(below + 1);
        }
        _geometry->addPrimitiveSet(strip.get());
    }

    if (twoSided) {
        osg::ref_ptr<osg::LightModel> lightModel = new osg::LightModel;
        lightModel->setTwoSided(true);
        _geometry->getOrCreateStateSet()->setAttributeAndModes(lightModel.get());
    }
    attachTexture(textureFile);

    _vertices->dirty();
    addDrawable(_geometry.get());
}

FlexibleSurface::~FlexibleSurface() = default;

void FlexibleSurface::attachTexture(const std::string& textureFile)
{
    if (textureFile.empty() || textureFile == " ")
        return;
    std::string path = textureFile;
    if (!isFile(path)) {
        path = findFile(textureFile);
        if (path.empty())
            return;
    }
    osg::ref_ptr<osg::Image> image =
        osgDB::readImageFile(path, osgDB::Registry::instance()->getOptions());
    if (!image)
        return;
    osg::ref_ptr<osg::Texture2D> texture = new osg::Texture2D(image.get());
    texture->setDataVariance(osg::Object::DYNAMIC);

    // Rows run along the first texture coordinate, columns along the second,
    // in vertex order whatever the grid's proportions.
    osg::ref_ptr<osg::Vec2Array> coordinates = new osg::Vec2Array(vertexCount());
    for (int r = 0; r < _rows; ++r)
        for (int c = 0; c < _columns; ++c)
            (*coordinates)[std::size_t(r * _columns + c)].set(float(r) / float(_rows - 1),
                                                              float(c) / float(_columns - 1));
    _geometry->setTexCoordArray(0, coordinates.get(), osg::Array::BIND_PER_VERTEX);
    getOrCreateStateSet()->setTextureAttributeAndModes(0, texture.get(), osg::StateAttribute::ON);
    _textured = true;
}

void FlexibleSurface::writeVertices(const float* x, const float* y, const float* z)
{
    // One pass over the rows, reading the coordinate arrays directly (not
    // the vertices just written), so that each row's positions and normals
    // are written while its data is in the cache.
    if (_vertices->empty())
        return;
    osg::Vec3* p = &_vertices->front();
    osg::Vec3* n = &_normals->front();
    if (_rows < MIN_SIZE || _columns < MIN_SIZE) {
        // No neighbouring row or column: positions only, normals stay 0.
        for (std::size_t k = 0; k < vertexCount(); ++k)
            p[k].set(x[k], y[k], z[k]);
        return;
    }
    const std::size_t columns = std::size_t(_columns);
    const std::size_t lastRow = std::size_t(_rows - 1);
    for (std::size_t r = 0; r <= lastRow; ++r) {
        const std::size_t row = r * columns;
        // The column direction runs to the next row, backwards in the last.
        const std::size_t from = r < lastRow ? row : row - columns;
        const std::size_t to = r < lastRow ? row + columns : row;
        const float *xr = x + row, *yr = y + row, *zr = z + row;
        const float *xf = x + from, *yf = y + from, *zf = z + from;
        const float *xt = x + to, *yt = y + to, *zt = z + to;
        osg::Vec3* pr = p + row;
        osg::Vec3* nr = n + row;
        const auto normal = [&](std::size_t c, std::size_t g0, std::size_t g1) {
            const float dx = xt[c] - xf[c], dy = yt[c] - yf[c], dz = zt[c] - zf[c];
            const float gx = xr[g1] - xr[g0], gy = yr[g1] - yr[g0], gz = zr[g1] - zr[g0];
            nr[c].set(dy * gz - dz * gy, dz * gx - dx * gz, dx * gy - dy * gx);
        };
        for (std::size_t c = 0; c + 1 < columns; ++c) {
            pr[c].set(xr[c], yr[c], zr[c]);
            normal(c, c, c + 1);
        }
        const std::size_t c = columns - 1;
        pr[c].set(xr[c], yr[c], zr[c]);
        normal(c, c - 1, c);
    }
    _normals->dirty();
}

void FlexibleSurface::setVertices(const float* x, const float* y, const float* z)
{
    if (!x || !y || !z || _vertices->empty())
        return;
    writeVertices(x, y, z);
    _vertices->dirty();
    _geometry->dirtyBound();
}

void FlexibleSurface::setVerticesAndColors(const float* x, const float* y, const float* z,
                                           const int* colors)
{
    setVertices(x, y, z);
    if (!colors || _colors->empty())
        return;
    osg::Vec4* out = &_colors->front();
    const std::size_t count = vertexCount();
    for (std::size_t k = 0; k < count; ++k)
        out[k] = unpackColor(colors[k]);
    _colors->dirty();
}

osg::Vec4 FlexibleSurface::unpackColor(int packed)
{
    const auto component = [](int value) { return float(std::clamp(value, 0, 255)) / 255.0f; };
    const int v = std::max(packed, 0);
    return {component(v / 1000000), component(v % 1000000 / 1000), component(v % 1000), 1.0f};
}
