#include "files/VisFileObject.h"

#include <osgUtil/SmoothingVisitor>

#include "files/FindFile.h"
#include "scene/ColorCorrectionVisitor.h"

namespace {

constexpr std::size_t EXTENSION_LENGTH = 3;

} // namespace

VisFileObject::VisFileObject(const ObjectContext& context)
    : Vis3DObject(context),
      _file(context.services.files, *this, [this] { initialize(statePacket()); })
{
}

VisFileObject::~VisFileObject()
{
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
    const std::string name = ModelFileUser::fileName(packet, item::model_file::FileName);
    _fileName = name;
    // Placed by the whole state: a model that loads between packets is built
    // from the frame, where no packet brings the placement.
    applyTransformItems(statePacket());

    if (isTerrainName(name)) {
        buildTerrain();
        return true;
    }
    if (!_model) {
        osg::ref_ptr<osg::Node> node = _file.request(name);
        if (!node)
            return false;
        _model = node;
        node->setDataVariance(osg::Object::DYNAMIC);
        ColorCorrectionVisitor colorCorrection;
        node->accept(colorCorrection);
        getTransform()->addChild(node.get());
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
    FileSource* files = services().files;
    osg::ref_ptr<osg::Node> node = files ? files->createTerrainNode(services().messages) : nullptr;
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
