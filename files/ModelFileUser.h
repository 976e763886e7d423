#pragma once
// One scene object's use of a model file from the file source: the request
// while the file loads, the one usage reference of the node it got, given
// back when the object goes, and the asking again from the frame. A model
// that the simulation sends only once still appears when it has loaded:
// while the file loads, the owner's update callback looks at the file in
// every frame and, once the file is no longer loading, runs the owner's
// rebuild (which requests it again). A file that failed for good is not
// looked at from the frame; a later packet still asks for it.
//
// Threading: GUI thread only (packets and the update traversal); the only
// locking is inside the file source.

#include <functional>
#include <string>

#include <osg/Callback>
#include <osg/Node>
#include <osg/ref_ptr>

#include "scene/ObjectServices.h"

namespace GNP2 {
class Packet;
}

class ModelFileUser
{
public:
    // `owner` is the object whose update callback asks again while the file
    // loads, and which holds this user; `rebuild` is what asking again means
    // to it. Without a file source every request stays null.
    ModelFileUser(FileSource* files, osg::Node& owner, std::function<void()> rebuild);
    // Gives back the usage reference, when one is held.
    ~ModelFileUser();
    ModelFileUser(const ModelFileUser&) = delete;
    ModelFileUser& operator=(const ModelFileUser&) = delete;

    // The file name of a packet's text item; a name sent as a C string may
    // carry its terminating zero, which is cut off with what follows it.
    static std::string fileName(const GNP2::Packet& packet, int item);

    // The node for this user, holding one usage reference of it; null while
    // the file loads (the frame then asks again), when it failed, or without
    // a file source. Called once a node is held, it returns null and asks
    // for nothing.
    osg::ref_ptr<osg::Node> request(const std::string& name);
    bool holds() const { return !_usedName.empty(); }

private:
    class RetryCallback;

    void retryFromFrame();
    void setRetrying(bool retrying);

    FileSource* const _files;
    osg::Node& _owner;
    const std::function<void()> _rebuild;
    // The name last requested, and the one whose usage reference is held
    // (empty when none).
    std::string _name;
    std::string _usedName;
    osg::ref_ptr<osg::Callback> _retry;
};
