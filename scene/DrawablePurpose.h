#pragma once
// A drawable's purpose tag: a reference-counted word of flag bits stored as
// the drawable's user data. Visitors that add drawables to a geode or change
// them in place mark them, so that a later pass can recognise its own work
// (skip a geode already made transparent, remove the copies it added, turn
// reversed normals back) and leave alone what another part of the program
// owns (the geometry a flexible body deforms).
//
// Threading: GUI thread only, like the drawables it is attached to.

#include <cstdint>

#include <osg/Referenced>

namespace osg {
class Drawable;
}

class DrawablePurpose : public osg::Referenced
{
public:
    enum Bit : std::uint32_t
    {
        // Source geometry of a flexible body: hidden, its deformed copy is
        // drawn; the opaque restore leaves it alone.
        DEFORM_SOURCE = 1,
        // Copy that the flexible-body deformation writes.
        DEFORMED_COPY = 2,
        // Normals currently negated for the back-face pass of transparency.
        NORMALS_REVERSED = 4,
        // Front-face copy added for transparency.
        TRANSPARENCY_COPY = 8,
        // Drawn by several geodes (objects of the same kind and size): never
        // changed in place; an object that needs it changed takes a copy.
        SHARED = 16,
    };

    explicit DrawablePurpose(std::uint32_t flags = 0) : _flags(flags) {}

    std::uint32_t flags() const { return _flags; }
    void setFlags(std::uint32_t flags) { _flags = flags; }

    // The drawable's tag, or null when it has none (no user data, or user
    // data of another kind).
    static DrawablePurpose* of(const osg::Drawable& drawable);
    static bool has(const osg::Drawable& drawable, std::uint32_t bit);
    // ORs the bit into the drawable's tag; a drawable without a tag gets a
    // new one holding only that bit (replacing user data of another kind).
    static void mark(osg::Drawable& drawable, std::uint32_t bit);
    // Clears the bit; a drawable without a tag is left as it is.
    static void unmark(osg::Drawable& drawable, std::uint32_t bit);

protected:
    ~DrawablePurpose() override = default;

private:
    std::uint32_t _flags;
};
