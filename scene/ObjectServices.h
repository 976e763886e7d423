#pragma once
// The services a scene object may use beyond its own nodes, as interfaces
// the application fills once at start-up: the view host (views register
// with it), the model files, the user's message boxes, the font lookup, the
// event handler every view puts first (the console) and the user's choice of
// deformation back-end.
// They reach every object the same way: the object factory hands them over
// in the ObjectContext, and VisObject keeps them. A service left null
// falls back to a plain default (see each one), so tests and tools set only
// what they look at.
//
// Threading: the services are set before the object manager starts and are
// used on the GUI thread.

#include <string>

#include <osg/Node>
#include <osg/ref_ptr>

class PacketSink;
class ViewHost;
namespace osgGA {
class EventHandler;
}

// Modal messages to the user. Default when absent: "<caption>: <text>" on
// standard output.
class UserMessages
{
public:
    virtual ~UserMessages() = default;
    // Called inside the scene's update traversal: an implementation that
    // runs a nested event loop there would re-enter the frame, so it should
    // queue the box to open after the frame.
    virtual void showMessage(const std::string& caption, const std::string& text) = 0;
};

// Font names as packets give them ("TIMES.TTF") to font files. Default when
// absent: the installed fonts (fonts/FontMap.h).
class FontLookup
{
public:
    virtual ~FontLookup() = default;
    // The path of an existing font file for the name; empty when none exists.
    virtual std::string fontFile(const std::string& name) const = 0;
};

// Model files, loaded in the background and shared or copied per user, and
// terrains from the terrain module. Default when absent: no files (every
// load stays empty).
class FileSource
{
public:
    enum class FileState
    {
        Absent,  // never requested, or unloaded
        Loading, // requested, result not yet stored
        Failed,  // the load gave no node; it is not tried again
        Loaded,  // cached
    };

    virtual ~FileSource() = default;
    // The node for one user of the file: null while it loads or when it
    // failed; the first call starts the load. Each non-null result is one
    // usage, given back with releaseFile.
    virtual osg::ref_ptr<osg::Node> loadOrCloneFile(const std::string& name) = 0;
    virtual void releaseFile(const std::string& name) = 0;
    virtual FileState fileState(const std::string& name) const = 0;
    // A new node of the terrain module, which is bound on first use. Null
    // when the module cannot be bound (the user is told once, through
    // `messages` when given) or makes none.
    virtual osg::ref_ptr<osg::Node> createTerrainNode(UserMessages* messages) = 0;
};

// The compute back-end a flexible body deforms with, as the user chose it:
// 0 processor, 1 OpenCL, 2 CUDA; any other value is the processor. A body
// asks once, when it is made, so a new choice reaches the bodies made after
// it. Default when absent: the processor.
class DeformationChoice
{
public:
    virtual ~DeformationChoice() = default;
    virtual int deformationMode() const = 0;
};

struct ObjectServices
{
    ViewHost* viewHost = nullptr;
    FileSource* files = nullptr;
    UserMessages* messages = nullptr;
    const FontLookup* fonts = nullptr;
    // Added to every view before its other handlers, so that it takes its
    // keys first (the console). Default when absent: none.
    osgGA::EventHandler* viewEvents = nullptr;
    const DeformationChoice* deformation = nullptr;
};

// What the factory gives a new object: the services, and where its answers
// to the simulation go (the send ring's sink while a simulation is
// connected, null in replay).
struct ObjectContext
{
    PacketSink* sendQueue = nullptr;
    ObjectServices services;
};
