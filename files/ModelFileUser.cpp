#include "files/ModelFileUser.h"

#include <algorithm>

#include <osg/NodeCallback>
#include <osg/NodeVisitor>

#include "gnp2/Packet.h"

class ModelFileUser::RetryCallback : public osg::NodeCallback
{
public:
    explicit RetryCallback(ModelFileUser& user) : _user(user) {}

    void operator()(osg::Node* node, osg::NodeVisitor* visitor) override
    {
        _user.retryFromFrame();
        traverse(node, visitor);
    }

private:
    // Only called while the owner, which holds the user, is traversed.
    ModelFileUser& _user;
};

ModelFileUser::ModelFileUser(FileSource* files, osg::Node& owner, std::function<void()> rebuild)
    : _files(files), _owner(owner), _rebuild(std::move(rebuild)), _retry(new RetryCallback(*this))
{
}

ModelFileUser::~ModelFileUser()
{
    if (holds())
        _files->releaseFile(_usedName);
}

std::string ModelFileUser::fileName(const GNP2::Packet& packet, int item)
{
    std::string name = packet.getString(item);
    name.resize(std::min(name.size(), name.find('\0')));
    return name;
}

osg::ref_ptr<osg::Node> ModelFileUser::request(const std::string& name)
{
    if (holds())
        return nullptr;
    _name = name;
    osg::ref_ptr<osg::Node> node = _files ? _files->loadOrCloneFile(name) : nullptr;
    if (node)
        _usedName = name;
    setRetrying(!node && _files && _files->fileState(name) != FileSource::FileState::Failed);
    return node;
}

void ModelFileUser::retryFromFrame()
{
    const FileSource::FileState state =
        _files ? _files->fileState(_name) : FileSource::FileState::Failed;
    if (holds() || state == FileSource::FileState::Failed) {
        setRetrying(false);
        return;
    }
    if (state != FileSource::FileState::Loading)
        _rebuild();
}

void ModelFileUser::setRetrying(bool retrying)
{
    // _retry keeps the callback alive when it removes itself mid-call.
    osg::Callback* wanted = retrying ? _retry.get() : nullptr;
    if (_owner.getUpdateCallback() != wanted)
        _owner.setUpdateCallback(wanted);
}
