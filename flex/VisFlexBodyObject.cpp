#include "flex/VisFlexBodyObject.h"

#include <algorithm>
#include <cstdio>

#include <osg/NodeCallback>
#include <osgUtil/SmoothingVisitor>

#include "scene/ColorCorrectionVisitor.h"
#include "settings/Settings.h"

namespace {

DeformationMode storedMode()
{
    return deformationMode(settings::mendedInteger(settings::openSettings(),
                                                   settings::SettingKey::HardwareAcceleration));
}

} // namespace

class VisFlexBodyObject::RetryCallback : public osg::NodeCallback
{
public:
    void operator()(osg::Node* node, osg::NodeVisitor* visitor) override
    {
        static_cast<VisFlexBodyObject*>(node)->retryFromFrame();
        traverse(node, visitor);
    }
};

VisFlexBodyObject::VisFlexBodyObject(const ObjectContext& context)
    : VisFlexBodyObject(context, storedMode())
{
}

VisFlexBodyObject::VisFlexBodyObject(const ObjectContext& context, DeformationMode mode)
    : Vis3DObject(context), _files(context.services.files), _deformation(mode),
      _retry(new RetryCallback)
{
}

VisFlexBodyObject::~VisFlexBodyObject()
{
    if (!_usedName.empty())
        _files->releaseFile(_usedName);
}

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
    std::string name = packet.getString(item::flex_body::FileName);
    name.resize(std::min(name.size(), name.find('\0')));
    const int count = intItem(packet, item::flex_body::NodeCount)[0];
    if (count < 1)
        throw GNP2::GNP2Exception(GNP2::ACCESSOR_ERROR, item::flex_body::NodeCount);
    osg::ref_ptr<osg::Vec3Array> reference = new osg::Vec3Array;
    unpackNodes(packet, item::flex_body::Nodes, count, *reference);
    _fileName = name;

    if (!_model) {
        osg::ref_ptr<osg::Node> node = _files ? _files->loadOrCloneFile(name) : nullptr;
        if (!node) {
            setRetrying(_files && _files->fileState(name) != FileSource::FileState::Failed);
            return false;
        }
        _usedName = name;
        setRetrying(false);
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

void VisFlexBodyObject::retryFromFrame()
{
    if (isInitialized() || _model || !_files ||
        _files->fileState(_fileName) == FileSource::FileState::Failed) {
        setRetrying(false);
        return;
    }
    if (_files->fileState(_fileName) == FileSource::FileState::Loading)
        return;
    // Built from the frame: no packet brings the state's items, so they are
    // applied from the state.
    initialize(statePacket());
    if (isInitialized())
        guarded(Phase::Updating, className(), [this] { apply(statePacket()); });
}

void VisFlexBodyObject::setRetrying(bool retrying)
{
    // _retry keeps the callback alive when it removes itself mid-call.
    osg::Callback* wanted = retrying ? _retry.get() : nullptr;
    if (getUpdateCallback() != wanted)
        setUpdateCallback(wanted);
}
