#pragma once
// The flexible surface (type code 11): a grid of R rows of C vertices whose
// coordinates the simulation sends in full with every packet (a sheet, a
// membrane, a water surface, a computed field). The whole grid is rewritten
// at every update.
//
// Items of its own (vertex k = r C + c):
//   45  int    colour mode: 0 the common colour items colour the surface;
//              otherwise the per-vertex colours of item 73
//   70  float  R C x coordinates
//   71  float  R C y coordinates
//   72  float  R C z coordinates
//   73  int    R C packed colours (red 1000000 + green 1000 + blue), read in
//              a colour mode other than 0
//   76  text   texture image file name; empty or one blank: none
//   77  int    two-sided lighting when non-zero
//   78  int    R, the number of rows (at least 2)
//   79  int    C, the vertices in a row (at least 2)
// R and C are fixed when the surface is built. R or C below 2, and items
// 70 to 73 shorter than R C, are rejected like missing items: the build is
// reported and retried with the next packet; an update is reported and
// skipped. Without item 45 the colour mode is 0. Items 1, 3, 4 and the
// appearance items keep their meaning (the appearance items only in colour
// mode 0, acting when they change).
//
// Threading: GUI thread only.

#include <osg/ref_ptr>

#include "flex/FlexibleSurface.h"
#include "scene/Vis3DObject.h"

class VisFlexSurfaceObject : public Vis3DObject
{
public:
    explicit VisFlexSurfaceObject(const ObjectContext& context);

    const char* className() const override { return "VisFlexSurfaceObject"; }

    // The surface under the transform, or null before the build.
    FlexibleSurface* surface() const { return _surface.get(); }

protected:
    ~VisFlexSurfaceObject() override;

    Skeleton skeleton() const override { return {.guardUpdate = true}; }
    bool build(const GNP2::Packet& packet) override;
    void apply(const GNP2::Packet& arrived) override;

private:
    // The grid size the packet gives; throws for values below 2.
    static int gridSize(const GNP2::Packet& packet, int item);
    // Item 45, 0 when absent.
    static int colorMode(const GNP2::Packet& packet);

    osg::ref_ptr<FlexibleSurface> _surface;
};
