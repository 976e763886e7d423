#include "GlErrorCollector.h"

#include <osg/ref_ptr>

namespace testsupport {

void GlErrorCollector::notify(osg::NotifySeverity severity, const char* message)
{
    _print.notify(severity, message);
    const std::string line(message);
    // Matches both "OpenGL error" and the shorter "GL error".
    if (line.find("GL error") == std::string::npos)
        return;
    std::lock_guard lock(_mutex);
    _errors.push_back(line);
}

std::vector<std::string> GlErrorCollector::errors() const
{
    std::lock_guard lock(_mutex);
    return _errors;
}

void GlErrorCollector::clear()
{
    std::lock_guard lock(_mutex);
    _errors.clear();
}

void GlErrorCollector::add(std::string error)
{
    std::lock_guard lock(_mutex);
    _errors.push_back(std::move(error));
}

GlErrorCollector& glErrorCollector()
{
    static osg::ref_ptr<GlErrorCollector> collector = [] {
        osg::ref_ptr<GlErrorCollector> made = new GlErrorCollector;
        osg::setNotifyHandler(made.get());
        return made;
    }();
    return *collector;
}

} // namespace testsupport
