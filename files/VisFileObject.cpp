#include "files/VisFileObject.h"

#include <algorithm>

#include <osg/NodeCallback>
#include <osgUtil/SmoothingVisitor>

#include "files/FindFile.h"
#include "scene/ColorCorrectionVisitor.h"

namespace {

constexpr std::size_t EXTENSION_LENGTH = 3;

} // namespace

class VisFileObject::RetryCallback : public osg::NodeCallback
{
public:
    void operator()(osg::Node* node, osg::NodeVisitor* visitor) override
    {
        static_cast<VisFileObject*>(node)->retryFromFrame();
        traverse(node, visitor);
    }
};

VisFileObject::VisFileObject(const ObjectContext& context)
    : Vis3DObject(context), _files(context.services.files), _retry(new RetryCallback)
{
}

VisFileObject::~VisFileObject()
{
    if (!_usedName.empty())
        _files->releaseFile(_usedName);
    if (_terrain) {
        _terrain->shutdown();
        _terrain = nullptr;
    }
}

std::string VisFileObject::extensionOf(std::string_view name)
{
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return {};
    return std::string(name.substr(dot + 1, EXTENSION_LENGTH));
}

bool VisFileObject::isTerrainName(std::string_view name)
{
    const std::string extension = extensionOf(name);
    return extension == "bb" || extension == "wb";
}

std::string VisFileObject::withoutExtension(std::string_view name)
{
    return std::string(name.substr(0, name.rfind('.')));
}

bool VisFileObject::build(const GNP2::Packet& packet)
{
    // A name sent as a C string may carry its terminating zero.
    std::string name = packet.getString(item::model_file::FileName);
    name.resize(std::min(name.size(), name.find('\0')));
    _fileName = name;
    // Placed by the whole state: a model that loads between packets is built
    // from the frame, where no packet brings the placement.
    applyTransformItems(statePacket());

    if (isTerrainName(name)) {
        buildTerrain();
        return true;
    }
    if (!_model) {
        osg::ref_ptr<osg::Node> node = _files ? _files->loadOrCloneFile(name) : nullptr;
        if (!node) {
            setRetrying(_files && _files->fileState(name) != FileSource::FileState::Failed);
            return false;
        }
        _usedName = name;
        _model = node;
        node->setDataVariance(osg::Object::DYNAMIC);
        ColorCorrectionVisitor colorCorrection;
        node->accept(colorCorrection);
        getTransform()->addChild(node.get());
        setRetrying(false);
    }
    updateAppearance(statePacket(), true, false);
    if (statePacket().hasItem(item::model_file::SmoothNormals) &&
        intItem(statePacket(), item::model_file::SmoothNormals)[0] != 0) {
        osgUtil::SmoothingVisitor smoothing;
        _model->accept(smoothing);
    }
    return true;
}

void VisFileObject::buildTerrain()
{
    // Null when the module is missing (the error box has been shown once):
    // the object stays empty.
    osg::ref_ptr<osg::Node> node =
        _files ? _files->createTerrainNode(services().messages) : nullptr;
    _terrain = dynamic_cast<stravik::TerrainNode*>(node.get());
    if (!_terrain)
        return;
    // The base name of the file that findFile resolves, so that terrains are
    // found in the search directory and the program's data folder like models.
    const std::string path = findFile(_fileName);
    _terrain->load(withoutExtension(path.empty() ? _fileName : path), TERRAIN_LOAD_FLAGS);
    getTransform()->addChild(_terrain.get());
}

void VisFileObject::apply(const GNP2::Packet& arrived)
{
    applyTransformItems(arrived);
    updateAppearance(statePacket(), false, false);
}

void VisFileObject::retryFromFrame()
{
    if (isInitialized() || _model || !_files ||
        _files->fileState(_fileName) == FileSource::FileState::Failed) {
        setRetrying(false);
        return;
    }
    if (_files->fileState(_fileName) != FileSource::FileState::Loading)
        initialize(statePacket());
}

void VisFileObject::setRetrying(bool retrying)
{
    // _retry keeps the callback alive when it removes itself mid-call.
    osg::Callback* wanted = retrying ? _retry.get() : nullptr;
    if (getUpdateCallback() != wanted)
        setUpdateCallback(wanted);
}
