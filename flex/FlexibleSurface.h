#pragma once
// A grid of R rows of C vertices drawn as one geometry: a quad strip per
// pair of adjacent rows over vertex, normal and colour arrays that live in a
// vertex buffer object. Vertex k = r C + c is row r, column c. The arrays
// keep their size for the surface's life; every rewrite marks them dirty
// instead of rebuilding anything.
//
// The normal at P(r, c) is d x g, unnormalised (the owning object enables
// normalisation), with d = P(r+1, c) - P(r, c) and g = P(r, c+1) - P(r, c),
// taken backwards (P(r, c) - P(r-1, c), P(r, c) - P(r, c-1)) in the last
// row and column. Colours come packed as red 1000000 + green 1000 + blue,
// each component 0 ... 255.
//
// Threading: GUI thread (the scene update traversal).

#include <cstddef>
#include <string>
#include <vector>

#include <osg/Array>
#include <osg/Geode>
#include <osg/Geometry>
#include <osg/ref_ptr>

class FlexibleSurface : public osg::Geode
{
public:
    // The smallest grid: normals read the neighbouring row and column.
    static constexpr int MIN_SIZE = 2;

    // Builds the grid from the coordinate arrays (R C values each). With
    // any array null it says so on the console and stays empty. The texture
    // name, unless empty or one blank, names an image found directly or in
    // the model search directories; one that is not found gives no texture.
    FlexibleSurface(int rows, int columns, const float* x, const float* y, const float* z,
                    bool twoSided, const std::string& textureFile);

    // Rewrites the vertices from R C values per coordinate and recomputes
    // the normals.
    void setVertices(const float* x, const float* y, const float* z);
    // As setVertices, then the colours from R C packed values.
    void setVerticesAndColors(const float* x, const float* y, const float* z, const int* colors);

    int rows() const { return _rows; }
    int columns() const { return _columns; }
    std::size_t vertexCount() const { return std::size_t(_rows) * std::size_t(_columns); }
    const osg::Vec3Array& vertices() const { return *_vertices; }
    const osg::Vec3Array& normals() const { return *_normals; }
    const osg::Vec4Array& colors() const { return *_colors; }
    osg::Geometry* geometry() const { return _geometry.get(); }
    // Whether a texture image was found and attached.
    bool hasTexture() const { return _textured; }

    // A packed colour as red, green, blue (each component clamped to
    // 0 ... 255) and alpha 1.
    static osg::Vec4 unpackColor(int packed);

protected:
    ~FlexibleSurface() override;

private:
    // The vertices and their normals from the coordinate arrays.
    void writeVertices(const float* x, const float* y, const float* z);
    void attachTexture(const std::string& textureFile);
    // The normals of one row of columns points r (coordinate arrays xr, yr,
    // zr) as d x g, d = t - f, into three component arrays.
    static void rowNormals(const float* xr, const float* yr, const float* zr, const float* xt,
                           const float* yt, const float* zt, const float* xf, const float* yf,
                           const float* zf, std::size_t columns, float* nx, float* ny, float* nz);
    // Writes count points given as three coordinate arrays as x, y, z
    // triples.
    static void interleave(const float* x, const float* y, const float* z, std::size_t count,
                           float* out);

    const int _rows;
    const int _columns;
    osg::ref_ptr<osg::Vec3Array> _vertices;
    osg::ref_ptr<osg::Vec3Array> _normals;
    osg::ref_ptr<osg::Vec4Array> _colors;
    osg::ref_ptr<osg::Geometry> _geometry;
    // Three rows of scratch for the normal pass (one array per component).
    std::vector<float> _scratch;
    bool _textured = false;
};
