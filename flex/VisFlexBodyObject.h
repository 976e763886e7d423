#pragma once
// The flexible body (type code 10): a model file whose shape the simulation
// bends at run time. The simulation sends once the positions of N reference
// nodes in the model's own coordinates, and then a displacement per node in
// any later packet; every vertex of the model follows the smooth field that
// interpolates the node displacements (DeformationInterpolator), evaluated
// by the back-end chosen in the settings when the body was made.
//
// Items of its own:
//   12  text   the model file name (through the file source)
//   71  float  3N node displacements, planar: the N x, then the N y, then
//              the N z components
//   73  float  3N reference node positions, planar like item 71
//   74  int    N, the number of nodes (at least 1)
//   85  any    present: the normals are recomputed after this update's
//              deformation
// Items 71 and 73 shorter than 3N, and N below 1, are rejected like missing
// items. Items 1, 3, 4 and the appearance items keep their meaning.
//
// The model comes from the file source, which shares its cache between
// users: the body hangs a deep copy of it under its transform and bends only
// that. Until the file source delivers the model the body stays unbuilt and
// asks again with every packet and, while the file loads, in the frame's
// update traversal.
//
// Every update of a built body bends it again from the current
// displacements (an update without item 71 gives the same shape). A packet
// error in an update is reported and skipped; a field that cannot be solved
// keeps the previous shape and is reported once until a solve succeeds.
//
// Threading: GUI thread only (packets and the update traversal).

#include <string>

#include <osg/Array>
#include <osg/ref_ptr>

#include "files/ModelFileUser.h"
#include "flex/DeformationVisitor.h"
#include "scene/Vis3DObject.h"

class VisFlexBodyObject : public Vis3DObject
{
public:
    // The back-end is the services' deformation choice, asked here once: a
    // later change affects only bodies made afterwards.
    explicit VisFlexBodyObject(const ObjectContext& context);
    // With the back-end given (tests and tools).
    VisFlexBodyObject(const ObjectContext& context, DeformationMode mode);

    const char* className() const override { return "VisFlexBodyObject"; }

    int nodeCount() const { return _nodeCount; }
    const osg::Vec3Array* referenceNodes() const { return _reference.get(); }
    const osg::Vec3Array* displacements() const { return _displacements.get(); }
    // The body's own copy of the model under the transform, or null.
    osg::Node* model() const { return _model.get(); }
    const DeformationVisitor& deformation() const { return _deformation; }

protected:
    ~VisFlexBodyObject() override;

    Skeleton skeleton() const override { return {.guardUpdate = true}; }
    // False while the model file loads.
    bool build(const GNP2::Packet& packet) override;
    void apply(const GNP2::Packet& arrived) override;

private:
    // The planar item's `count` nodes into `into`; throws the packet
    // exception (leaving `into` as it was) when the item is missing, not
    // floats, or shorter than 3 x count.
    static void unpackNodes(const GNP2::Packet& packet, int item, int count, osg::Vec3Array& into);
    void bend();
    // Built from the frame once the file has loaded: no packet brings the
    // state's items then, so they are applied from the state.
    void buildFromFrame();

    ModelFileUser _file;
    osg::ref_ptr<osg::Node> _model;
    int _nodeCount = 0;
    osg::ref_ptr<osg::Vec3Array> _reference;
    osg::ref_ptr<osg::Vec3Array> _displacements;
    DeformationVisitor _deformation;
    bool _failureSaid = false;
};
