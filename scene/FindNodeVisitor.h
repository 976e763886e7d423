#pragma once
// Finds the scene object with a given node name below a node: the first
// VisObject met in traversal order whose name equals the wanted one. Once
// found, the search goes no deeper and later matches are ignored. An empty
// name finds nothing, so unnamed objects are never matched by accident.
//
// Threading: GUI thread only.

#include <string>

#include <osg/NodeVisitor>

class VisObject;

class FindNodeVisitor : public osg::NodeVisitor
{
public:
    explicit FindNodeVisitor(std::string name);

    // The object found, or null.
    VisObject* getFound() const { return _found; }

    using osg::NodeVisitor::apply;
    void apply(osg::Node& node) override;

private:
    std::string _name;
    VisObject* _found = nullptr; // not owned: the scene graph holds it
};
