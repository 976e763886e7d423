#include "scene/FindNodeVisitor.h"

#include "scene/VisObject.h"

FindNodeVisitor::FindNodeVisitor(std::string name)
    : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN), _name(std::move(name))
{
}

void FindNodeVisitor::apply(osg::Node& node)
{
    if (_found)
        return;
    if (!_name.empty() && node.getName() == _name) {
        if (auto* object = dynamic_cast<VisObject*>(&node)) {
            _found = object;
            return;
        }
    }
    traverse(node);
}
