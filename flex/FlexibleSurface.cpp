#include "flex/FlexibleSurface.h"

#include <algorithm>
#include <filesystem>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <osg/LightModel>
#include <osg/Texture2D>
#include <osgDB/ReadFile>
#include <osgDB/Registry>

#include "files/FindFile.h"
#include "log/Log.h"

namespace {

// One component step. Multiplying by it gives 255 exactly 1 and keeps the
// colour pass free of divisions.
constexpr float COMPONENT_SCALE = 1.0f / 255.0f;

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

static_assert(sizeof(osg::Vec3) == 3 * sizeof(float), "vertices are packed x, y, z triples");

void FlexibleSurface::writeVertices(const float* x, const float* y, const float* z)
{
    // Row by row: the normals' components are first computed into three
    // contiguous scratch rows (straight loops over the coordinate arrays
    // that the compiler turns into vector code), then interleaved with the
    // positions into the vertex and normal arrays while the row is in the
    // cache. The coordinate arrays are read, not the vertices just written.
    if (_vertices->empty())
        return;
    float* p = &_vertices->front()[0];
    float* n = &_normals->front()[0];
    const std::size_t count = vertexCount();
    if (_rows < MIN_SIZE || _columns < MIN_SIZE) {
        // No neighbouring row or column: positions only, normals stay 0.
        interleave(x, y, z, count, p);
        return;
    }
    const std::size_t columns = std::size_t(_columns);
    const std::size_t lastRow = std::size_t(_rows - 1);
    _scratch.resize(3 * columns);
    for (std::size_t r = 0; r <= lastRow; ++r) {
        const std::size_t row = r * columns;
        // The column direction d runs to the next row, backwards in the last.
        const std::size_t from = r < lastRow ? row : row - columns;
        const std::size_t to = r < lastRow ? row + columns : row;
        rowNormals(x + row, y + row, z + row, x + to, y + to, z + to, x + from, y + from, z + from,
                   columns, _scratch.data(), _scratch.data() + columns,
                   _scratch.data() + 2 * columns);
        interleave(x + row, y + row, z + row, columns, p + 3 * row);
        interleave(_scratch.data(), _scratch.data() + columns, _scratch.data() + 2 * columns,
                   columns, n + 3 * row);
    }
    _normals->dirty();
}

void FlexibleSurface::rowNormals(const float* __restrict xr, const float* __restrict yr,
                                 const float* __restrict zr, const float* __restrict xt,
                                 const float* __restrict yt, const float* __restrict zt,
                                 const float* __restrict xf, const float* __restrict yf,
                                 const float* __restrict zf, std::size_t columns,
                                 float* __restrict nx, float* __restrict ny, float* __restrict nz)
{
    // d = t - f; the row direction g runs to the next column, backwards in
    // the last; n = d x g.
    const auto cross = [&](std::size_t c, std::size_t g0, std::size_t g1) {
        const float dx = xt[c] - xf[c], dy = yt[c] - yf[c], dz = zt[c] - zf[c];
        const float gx = xr[g1] - xr[g0], gy = yr[g1] - yr[g0], gz = zr[g1] - zr[g0];
        nx[c] = dy * gz - dz * gy;
        ny[c] = dz * gx - dx * gz;
        nz[c] = dx * gy - dy * gx;
    };
    for (std::size_t c = 0; c + 1 < columns; ++c)
        cross(c, c, c + 1);
    cross(columns - 1, columns - 2, columns - 1);
}

void FlexibleSurface::interleave(const float* __restrict x, const float* __restrict y,
                                 const float* __restrict z, std::size_t count,
                                 float* __restrict out)
{
    std::size_t k = 0;
#if defined(__SSE2__)
    // Four points at a time: x0 y0 z0 x1 | y1 z1 x2 y2 | z2 x3 y3 z3. The
    // compiler does not vectorise a three-way interleave for plain SSE2.
    for (; k + 4 <= count; k += 4) {
        const __m128 vx = _mm_loadu_ps(x + k), vy = _mm_loadu_ps(y + k), vz = _mm_loadu_ps(z + k);
        const __m128 low = _mm_unpacklo_ps(vx, vy);  // x0 y0 x1 y1
        const __m128 high = _mm_unpackhi_ps(vx, vy); // x2 y2 x3 y3
        const __m128 z0x1 = _mm_shuffle_ps(vz, low, _MM_SHUFFLE(2, 2, 0, 0));
        const __m128 y1z1 = _mm_shuffle_ps(low, vz, _MM_SHUFFLE(1, 1, 3, 3));
        const __m128 z2x3 = _mm_shuffle_ps(vz, high, _MM_SHUFFLE(2, 2, 2, 2));
        const __m128 y3z3 = _mm_shuffle_ps(high, vz, _MM_SHUFFLE(3, 3, 3, 3));
        float* o = out + 3 * k;
        _mm_storeu_ps(o, _mm_shuffle_ps(low, z0x1, _MM_SHUFFLE(2, 0, 1, 0)));
        _mm_storeu_ps(o + 4, _mm_shuffle_ps(y1z1, high, _MM_SHUFFLE(1, 0, 2, 0)));
        _mm_storeu_ps(o + 8, _mm_shuffle_ps(z2x3, y3z3, _MM_SHUFFLE(2, 0, 2, 0)));
    }
#endif
    for (; k < count; ++k) {
        out[3 * k] = x[k];
        out[3 * k + 1] = y[k];
        out[3 * k + 2] = z[k];
    }
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
    // Unsigned arithmetic (division by a constant becomes a multiplication
    // the vector unit has) and conditional expressions rather than
    // std::min/max, whose branches keep the compiler from vectorising the
    // loop; the same components as unpackColor.
    static_assert(sizeof(osg::Vec4) == 4 * sizeof(float));
    float* __restrict out = &_colors->front()[0];
    const int* __restrict packed = colors;
    const std::size_t count = vertexCount();
    for (std::size_t k = 0; k < count; ++k) {
        const unsigned v = packed[k] < 0 ? 0u : unsigned(packed[k]);
        const unsigned thousands = v / 1000u;
        const unsigned red = v / 1000000u, green = thousands - red * 1000u,
                       blue = v - thousands * 1000u;
        out[4 * k] = float(red < 255u ? red : 255u) * COMPONENT_SCALE;
        out[4 * k + 1] = float(green < 255u ? green : 255u) * COMPONENT_SCALE;
        out[4 * k + 2] = float(blue < 255u ? blue : 255u) * COMPONENT_SCALE;
        out[4 * k + 3] = 1.0f;
    }
    _colors->dirty();
}

osg::Vec4 FlexibleSurface::unpackColor(int packed)
{
    const auto component = [](int value) {
        return float(std::clamp(value, 0, 255)) * COMPONENT_SCALE;
    };
    const int v = std::max(packed, 0);
    return {component(v / 1000000), component(v % 1000000 / 1000), component(v % 1000), 1.0f};
}
