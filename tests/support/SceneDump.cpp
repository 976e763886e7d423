#include "SceneDump.h"

#include <cstdio>
#include <sstream>

#include <osg/Drawable>
#include <osg/Material>
#include <osg/NodeVisitor>

#include "gnp2/Packet.h"
#include "scene/RootnodeUpdateCallback.h"
#include "scene/Vis3DObject.h"
#include "scene/VisObject.h"

namespace testsupport {

namespace {

// Enough digits to read the value back exactly.
std::string number(float value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", double(value));
    return text;
}

std::string number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// The diffuse colours of the materials on the nodes and drawables below a
// node, in traversal order.
class MaterialColours : public osg::NodeVisitor
{
public:
    MaterialColours() : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN) {}

    void apply(osg::Node& node) override
    {
        add(node.getStateSet());
        traverse(node);
    }
    void apply(osg::Drawable& drawable) override { add(drawable.getStateSet()); }

    std::string text;

private:
    void add(const osg::StateSet* stateSet)
    {
        const auto* material = stateSet ? dynamic_cast<const osg::Material*>(
                                              stateSet->getAttribute(osg::StateAttribute::MATERIAL))
                                        : nullptr;
        if (!material)
            return;
        const osg::Vec4& c = material->getDiffuse(osg::Material::FRONT);
        text += (text.empty() ? "" : "; ") + number(c.r()) + " " + number(c.g()) + " " +
                number(c.b()) + " " + number(c.a());
    }
};

std::string itemText(const GNP2::Packet& packet, int index)
{
    const GNP2::Item& item = packet.item(index);
    std::string values;
    switch (item.type) {
    case GNP2::TYPE_FLOAT:
        for (float v : packet.getFloatVector(index))
            values += (values.empty() ? "" : " ") + number(v);
        return std::to_string(index) + "=f[" + values + "]";
    case GNP2::TYPE_INT:
        for (int v : packet.getIntVector(index))
            values += (values.empty() ? "" : " ") + std::to_string(v);
        return std::to_string(index) + "=i[" + values + "]";
    case GNP2::TYPE_CHAR:
        return std::to_string(index) + "=s[" + packet.getString(index) + "]";
    default:
        // Other element types: the bytes as they are.
        for (std::size_t i = 0; i < item.byteSize(); ++i) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02x", item.data[i]);
            values += hex;
        }
        return std::to_string(index) + "=t" + std::to_string(item.type) + "[" + values + "]";
    }
}

} // namespace

std::string dumpObject(int connection, int objectNumber, VisObject& object)
{
    std::ostringstream out;
    out << "object " << connection << "/" << objectNumber << " " << object.className() << "\n";

    out << "  matrix";
    if (auto* placed = dynamic_cast<Vis3DObject*>(&object)) {
        const osg::Matrixd& m = placed->getTransform()->getMatrix();
        for (int i = 0; i < 16; ++i)
            out << " " << number(m.ptr()[i]);
    } else {
        out << " -";
    }
    out << "\n";

    MaterialColours colours;
    object.accept(colours);
    out << "  colours " << (colours.text.empty() ? "-" : colours.text) << "\n";

    out << "  state";
    const GNP2::Packet& state = object.getPacket();
    for (int i = 0; i < GNP2::ITEM_COUNT; ++i)
        if (state.hasItem(i))
            out << " " << itemText(state, i);
    out << "\n";
    return out.str();
}

std::string dumpScene(const rootnodeUpdateCallback& objects)
{
    // The callback answers by (connection, object number) only: look at every
    // object number of the header (12 bits) on each connection until all its
    // objects are found. Connections are numbered from 0 without gaps but may
    // hold no objects, so a few empty ones in a row end the search.
    constexpr int OBJECT_NUMBERS = 4096;
    constexpr int EMPTY_CONNECTIONS_TO_END = 8;
    std::string text;
    std::size_t found = 0;
    int emptyInARow = 0;
    for (int connection = 0;
         found < objects.objectCount() && emptyInARow < EMPTY_CONNECTIONS_TO_END; ++connection) {
        bool any = false;
        for (int number = 0; number < OBJECT_NUMBERS; ++number)
            if (VisObject* object = objects.findObject(connection, number)) {
                text += dumpObject(connection, number, *object);
                ++found;
                any = true;
            }
        emptyInARow = any ? 0 : emptyInARow + 1;
    }
    if (found < objects.objectCount())
        text += "(" + std::to_string(objects.objectCount() - found) + " objects not found)\n";
    return text;
}

} // namespace testsupport
