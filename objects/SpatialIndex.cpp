#include "objects/SpatialIndex.h"

#include <algorithm>

#include <osg/Geometry>
#include <osg/UserDataContainer>

namespace {

constexpr const char* INDEX_NAME = "orvane.SpatialIndex";
// Entries of freed drawables are dropped every this many calls.
constexpr std::size_t SWEEP_EVERY = 4096;

// The triangles of a geometry as vertex index triples, cut up exactly as the
// scene library's segment test cuts primitives (strips with every other
// triangle turned round, fans and polygons from their first vertex, a quad
// (0, 1, 2, 3) as (0, 1, 3) and (1, 2, 3), a quad strip's quads as
// (0, 1, 3, 2)), so that a tree's triangles, and the normals of their hits,
// are the same as an exhaustive test's. Points and lines are left out.
class TriangleCollector : public osg::PrimitiveIndexFunctor
{
public:
    std::vector<GLuint> triangles;

    void setVertexArray(unsigned, const osg::Vec2*) override {}
    void setVertexArray(unsigned, const osg::Vec3*) override {}
    void setVertexArray(unsigned, const osg::Vec4*) override {}
    void setVertexArray(unsigned, const osg::Vec2d*) override {}
    void setVertexArray(unsigned, const osg::Vec3d*) override {}
    void setVertexArray(unsigned, const osg::Vec4d*) override {}

    void drawArrays(GLenum mode, GLint first, GLsizei count) override
    {
        _scratch.resize(std::size_t(std::max(count, 0)));
        for (GLsizei i = 0; i < count; ++i)
            _scratch[std::size_t(i)] = GLuint(first + i);
        collect(mode, _scratch.data(), count);
    }
    void drawElements(GLenum mode, GLsizei count, const GLubyte* indices) override
    {
        widen(mode, count, indices);
    }
    void drawElements(GLenum mode, GLsizei count, const GLushort* indices) override
    {
        widen(mode, count, indices);
    }
    void drawElements(GLenum mode, GLsizei count, const GLuint* indices) override
    {
        collect(mode, indices, count);
    }

private:
    template <typename Index> void widen(GLenum mode, GLsizei count, const Index* indices)
    {
        _scratch.assign(indices, indices + std::max(count, 0));
        collect(mode, _scratch.data(), count);
    }
    void triangle(GLuint a, GLuint b, GLuint c) { triangles.insert(triangles.end(), {a, b, c}); }
    void quad(GLuint a, GLuint b, GLuint c, GLuint d)
    {
        triangle(a, b, d);
        triangle(b, c, d);
    }
    void collect(GLenum mode, const GLuint* i, GLsizei count)
    {
        if (!i || count <= 0)
            return;
        switch (mode) {
        case GL_TRIANGLES:
            for (GLsizei k = 2; k < count; k += 3)
                triangle(i[k - 2], i[k - 1], i[k]);
            break;
        case GL_TRIANGLE_STRIP:
            for (GLsizei k = 2; k < count; ++k) {
                if (k % 2)
                    triangle(i[k - 2], i[k], i[k - 1]);
                else
                    triangle(i[k - 2], i[k - 1], i[k]);
            }
            break;
        case GL_QUADS:
            for (GLsizei k = 3; k < count; k += 4)
                quad(i[k - 3], i[k - 2], i[k - 1], i[k]);
            break;
        case GL_QUAD_STRIP:
            for (GLsizei k = 3; k < count; k += 2)
                quad(i[k - 3], i[k - 2], i[k], i[k - 1]);
            break;
        case GL_POLYGON:
        case GL_TRIANGLE_FAN:
            for (GLsizei k = 2; k < count; ++k)
                triangle(i[0], i[k - 1], i[k]);
            break;
        default:
            break;
        }
    }

    std::vector<GLuint> _scratch;
};

} // namespace

SpatialIndex* SpatialIndex::forScene(osg::Node& root)
{
    osg::UserDataContainer* container = root.getOrCreateUserDataContainer();
    const unsigned index = container->getUserObjectIndex(INDEX_NAME);
    if (index < container->getNumUserObjects())
        if (auto* found = dynamic_cast<SpatialIndex*>(container->getUserObject(index)))
            return found;
    osg::ref_ptr<SpatialIndex> made = new SpatialIndex;
    made->setName(INDEX_NAME);
    container->addUserObject(made.get());
    return made.get();
}

void SpatialIndex::fingerprintOf(const osg::Geometry& geometry, Fingerprint& into)
{
    const osg::Array* vertices = geometry.getVertexArray();
    into.vertices = vertices;
    into.vertexCount = vertices ? vertices->getNumElements() : 0;
    into.vertexModified = vertices ? vertices->getModifiedCount() : 0;
    into.primitives.clear();
    for (unsigned i = 0; i < geometry.getNumPrimitiveSets(); ++i) {
        const osg::PrimitiveSet* set = geometry.getPrimitiveSet(i);
        into.primitives.push_back(reinterpret_cast<std::uintptr_t>(set));
        into.primitives.push_back(set ? set->getNumIndices() : 0);
        into.primitives.push_back(set ? set->getModifiedCount() : 0);
    }
}

unsigned SpatialIndex::wantedStableTests(const Entry& entry) const
{
    return std::min(MAX_WAIT, 2u << std::min(entry.changes, 12u));
}

const osg::KdTree* SpatialIndex::treeFor(osg::Drawable& drawable)
{
    if (++_calls % SWEEP_EVERY == 0)
        sweep();
    osg::Geometry* geometry = drawable.asGeometry();
    if (!geometry || !geometry->getVertexArray() ||
        geometry->getVertexArray()->getNumElements() < MIN_VERTICES)
        return nullptr;

    fingerprintOf(*geometry, _scratch);
    auto [it, isNew] = _entries.try_emplace(&drawable);
    Entry& entry = it->second;
    osg::ref_ptr<osg::Drawable> alive;
    if (isNew || !entry.drawable.lock(alive) || alive.get() != &drawable) {
        // A new drawable, or another one made where a freed one was.
        entry = Entry{};
        entry.drawable = &drawable;
        entry.fingerprint = _scratch;
        return nullptr;
    }
    if (!(entry.fingerprint == _scratch)) {
        std::swap(entry.fingerprint, _scratch);
        entry.tree = nullptr;
        entry.stableTests = 0;
        entry.buildFailed = false;
        ++entry.changes;
        return nullptr;
    }
    if (entry.tree)
        return entry.tree.get();
    if (entry.buildFailed || ++entry.stableTests < wantedStableTests(entry))
        return nullptr;

    // The tree is built over a stand-in holding the geometry's own vertex
    // array and its triangles as a plain list (see TriangleCollector).
    TriangleCollector collector;
    geometry->accept(collector);
    osg::ref_ptr<osg::Geometry> triangles = new osg::Geometry;
    triangles->setVertexArray(geometry->getVertexArray());
    triangles->addPrimitiveSet(new osg::DrawElementsUInt(GL_TRIANGLES, collector.triangles.begin(),
                                                         collector.triangles.end()));
    osg::ref_ptr<osg::KdTree> tree = new osg::KdTree;
    osg::KdTree::BuildOptions options;
    if (collector.triangles.empty() || !tree->build(options, triangles.get()) ||
        tree->getNodes().empty()) {
        entry.buildFailed = true;
        return nullptr;
    }
    entry.tree = tree;
    ++_built;
    return entry.tree.get();
}

std::size_t SpatialIndex::treeCount() const
{
    return std::size_t(std::count_if(_entries.begin(), _entries.end(),
                                     [](const auto& entry) { return entry.second.tree.valid(); }));
}

void SpatialIndex::sweep()
{
    std::erase_if(_entries, [](const auto& entry) { return !entry.second.drawable.valid(); });
}
