#pragma once
// The one collector of OpenGL errors the GL test programs share: the scene
// graph reports the errors its states find (when they check for them) as
// notify messages, and the tests fail on any that were collected.

#include <mutex>
#include <string>
#include <vector>

#include <osg/Notify>

namespace testsupport {

// A notify handler that keeps every message naming an OpenGL error and
// passes every message on to the standard handler, so the terminal still
// shows them. Messages come from any thread (draw threads included): the
// list is protected by _mutex.
class GlErrorCollector : public osg::NotifyHandler
{
public:
    void notify(osg::NotifySeverity severity, const char* message) override;

    // The errors collected since the last clear, oldest first.
    std::vector<std::string> errors() const;
    void clear();
    // Records an error the test found itself (a state check of its own).
    void add(std::string error);

private:
    osg::StandardNotifyHandler _print;
    mutable std::mutex _mutex;
    std::vector<std::string> _errors;
};

// The process's collector, installed as the scene graph's notify handler on
// the first call. The notify level stays as the caller sets it.
GlErrorCollector& glErrorCollector();

} // namespace testsupport
