#pragma once
// Kd-trees of the scene's larger geometries, so that a segment test visits a
// few dozen triangles of a model instead of all of them.
//
// The index never changes the scene: the trees live here, keyed by drawable,
// and each is used only while the geometry it was built from is unchanged.
// "Unchanged" is read from what every writer of vertices in this program does
// after writing (dirty() on the array, which counts the modification): the
// vertex array (object, size, modification count) and every primitive set
// (object, index count, modification count) are the geometry's fingerprint.
// A drawable whose fingerprint differs from the one its tree was built from
// is tested triangle by triangle until it has stayed the same for a while, so
// geometry that moves every step (flexible bodies and surfaces, lines) is
// always hit where it is now and never pays for trees it would throw away.
// The wait doubles with every change seen (2, 4, 8, ... tests, at most 8192):
// still geometry gets its tree on its third test, and geometry that changes
// between most tests soon stops asking for one.
//
// Geometries below MIN_VERTICES vertices and drawables that are not
// osg::Geometry (texts, particle systems) get no tree.
//
// One index serves every intersector below the same scene root (forScene),
// so many line-of-sight tests share one set of trees.
//
// Threading: the thread that applies packets (the scene update traversal).

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include <osg/Drawable>
#include <osg/KdTree>
#include <osg/Object>
#include <osg/observer_ptr>
#include <osg/ref_ptr>

class SpatialIndex : public osg::Object
{
public:
    static constexpr unsigned MIN_VERTICES = 64;
    static constexpr unsigned MAX_WAIT = 8192;

    SpatialIndex() = default;
    SpatialIndex(const SpatialIndex& other, const osg::CopyOp& copy) : osg::Object(other, copy) {}
    META_Object(orvane, SpatialIndex)

        // The index shared by the intersectors below `root`, made on first use
        // and kept in the root's user data container.
        static SpatialIndex* forScene(osg::Node& root);

    // A tree of the drawable's geometry as it is now, or null: test the
    // drawable triangle by triangle (small, not a geometry, changed lately,
    // or a tree could not be built). Each call counts as one test of the
    // drawable.
    const osg::KdTree* treeFor(osg::Drawable& drawable);

    // How many trees are held, and how many were built since the start.
    std::size_t treeCount() const;
    std::size_t treesBuilt() const { return _built; }

private:
    struct Fingerprint
    {
        const void* vertices = nullptr;
        std::uint64_t vertexCount = 0;
        unsigned vertexModified = 0;
        std::vector<std::uint64_t> primitives; // object, index count, modification count

        bool operator==(const Fingerprint&) const = default;
    };
    struct Entry
    {
        osg::observer_ptr<osg::Drawable> drawable;
        Fingerprint fingerprint;
        osg::ref_ptr<osg::KdTree> tree;
        unsigned stableTests = 0; // tests since the fingerprint last changed
        unsigned changes = 0;     // fingerprint changes seen
        bool buildFailed = false; // for this fingerprint
    };

    static void fingerprintOf(const osg::Geometry& geometry, Fingerprint& into);
    unsigned wantedStableTests(const Entry& entry) const;
    // Drops the entries of drawables that no longer exist.
    void sweep();

    std::unordered_map<const osg::Drawable*, Entry> _entries;
    Fingerprint _scratch;
    std::size_t _calls = 0;
    std::size_t _built = 0;
};
