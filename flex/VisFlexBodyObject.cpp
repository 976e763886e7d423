#include "flex/VisFlexBodyObject.h"

#include <cstdio>

#include <osgUtil/SmoothingVisitor>

#include "scene/ColorCorrectionVisitor.h"

namespace {

DeformationMode chosenMode(const ObjectServices& services)
{
    return services.deformation ? deformationMode(services.deformation->deformationMode())
                                : DeformationMode::Processor;
}

} // namespace

VisFlexBodyObject::VisFlexBodyObject(const ObjectContext& context)
    : VisFlexBodyObject(context, chosenMode(context.services))
{
}

VisFlexBodyObject::VisFlexBodyObject(const ObjectContext& context, DeformationMode mode)
    : Vis3DObject(context), _file(context.services.files, *this, [this] { buildFromFrame(); }),
      _deformation(mode)
{
}

VisFlexBodyObject::~VisFlexBodyObject() = default;

void VisFlexBodyObject::unpackNodes(const GNP2::Packet& packet, int item, int count,
                                    osg::Vec3Array& into)
{
    const std::size_t n = std::size_t(count);
    const std::span<const float> values = floatItem(packet, item, 3 * n);
    into.resize(n);
    for (std::size_t k = 0; k < n; ++k)
        into[k].set(values[k], values[n + k], values[2 * n + k]);
}

bool VisFlexBodyObject::build(const GNP2::Packet& packet)
{
    // Every item is checked before anything is kept, so a packet that lacks
    // one leaves the body as it was.
    const std::string name = ModelFileUser::fileName(packet, item::flex_body::FileName);
    const int count = intItem(packet, item::flex_body::NodeCount)[0];
    if (count < 1)
        throw GNP2::GNP2Exception(GNP2::ACCESSOR_ERROR, item::flex_body::NodeCount);
    osg::ref_ptr<osg::Vec3Array> reference = new osg::Vec3Array;
    unpackNodes(packet, item::flex_body::Nodes, count, *reference);

    if (!_model) {
        osg::ref_ptr<osg::Node> node = _file.request(name);
        if (!node)
            return false;
        // The file source may hand out a node that other users share: the
        // body colours and bends a deep copy of its own.
        _model = static_cast<osg::Node*>(node->clone(osg::CopyOp::DEEP_COPY_ALL));
        _model->setDataVariance(osg::Object::DYNAMIC);
        ColorCorrectionVisitor colorCorrection;
        _model->accept(colorCorrection);
        getTransform()->addChild(_model.get());
    }

    _nodeCount = count;
    _reference = reference;
    _displacements = new osg::Vec3Array(std::size_t(count));
    _deformation.setNodeArrays(_reference, _displacements);
    // The copies are made now, undeformed, so that the appearance (and the
    // transparency's front-pass copies) covers them from the start.
    _deformation.deform(*this);
    updateAppearance(statePacket(), true, false);
    return true;
}

void VisFlexBodyObject::apply(const GNP2::Packet& arrived)
{
    applyTransformItems(arrived);
    if (arrived.hasItem(item::flex_body::Displacements))
        unpackNodes(arrived, item::flex_body::Displacements, _nodeCount, *_displacements);
    updateAppearance(statePacket(), true, false);
    bend();
    if (arrived.hasItem(item::flex_body::RecomputeNormals)) {
        osgUtil::SmoothingVisitor smoothing;
        accept(smoothing);
    }
}

void VisFlexBodyObject::bend()
{
    if (_deformation.deform(*this)) {
        _failureSaid = false;
        return;
    }
    if (!_failureSaid) {
        std::printf("VisFlexBodyObject: the node displacements give no finite deformation; "
                    "the previous shape is kept.\n");
        std::fflush(stdout);
    }
    _failureSaid = true;
}

void VisFlexBodyObject::buildFromFrame()
{
    initialize(statePacket());
    if (isInitialized())
        guarded(Phase::Updating, className(), [this] { apply(statePacket()); });
}
