#pragma once
// Makes the geodes below a node transparent, or opaque again.
//
// Whole-node mode gives each geode's own state set alpha blending, the
// transparent render bin and a read-only depth test; it suits flat things
// (head-up display faces) that have no back faces to sort.
//
// Per-drawable mode (the default) draws a closed transparent body in two
// passes so that its far side shows through its near side in the right
// order: every drawable draws only its back faces first (bin 11, normals
// negated so that the inside is lit), and a deep copy of it, sharing its
// vertices and tagged as a transparency copy, draws only the front faces
// after it (bin 12). A geode that already holds such copies is skipped, so
// running it twice adds the copies once. A drawable tagged shared is left as
// it is: the geode draws a pair of passes made once from it and shared by
// every transparent geode that drew it.
//
// The opaque restore removes the copies, switches depth writes and back-face
// culling back on and turns the normals back. Drawables that a flexible body
// deforms (tag bit DEFORM_SOURCE) are left as they are. Blending and the
// render-bin details stay; with a material alpha of 1 they draw opaque.
//
// Threading: GUI thread only.

#include <osg/NodeVisitor>

class TransparencyVisitor : public osg::NodeVisitor
{
public:
    TransparencyVisitor();

    void setWholeNode(bool wholeNode) { _wholeNode = wholeNode; }
    // True (the default) makes transparent; false restores opaque drawing.
    void setTransparent(bool transparent) { _transparent = transparent; }

    using osg::NodeVisitor::apply;
    void apply(osg::Geode& geode) override;

private:
    void makeGeodeTransparent(osg::Geode& geode);
    void makeDrawablesTransparent(osg::Geode& geode);
    void restoreOpaque(osg::Geode& geode);

    bool _wholeNode = false;
    bool _transparent = true;
};
