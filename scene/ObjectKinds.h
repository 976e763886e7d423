#pragma once
// The type-code table: which scene object class a creating packet makes
// (header bits 24-31) and which group the new object joins. The rows come
// from protocol/ObjectKinds.def, generated from the list of kinds and items;
// the classes themselves live in the modules above the scene layer, which
// enter their factories into an ObjectFactory at start-up.
//
// Threading: an ObjectFactory is filled before the object manager starts and
// only read afterwards (on the GUI thread).

#include <array>
#include <functional>
#include <string_view>

#include "scene/ObjectServices.h"

namespace GNP2 {
class Packet;
}
namespace osg {
class Group;
}
class VisObject;

enum class ObjectParent
{
    None,
    SceneRoot,
    HudRoot,
};

// Type codes, named after the class they create.
enum ObjectTypeCode : int
{
#define OBJECT_KIND(code, name, parent) TYPE_##name = code,
#include "protocol/ObjectKinds.def"
#undef OBJECT_KIND
};

struct ObjectKind
{
    int code;
    std::string_view className;
    ObjectParent parent;
};

// The generator numbers the kinds from 1 up without gaps, so the highest
// code is the number of rows.
constexpr int MIN_TYPE_CODE = 1;
constexpr int MAX_TYPE_CODE = 0
#define OBJECT_KIND(code, name, parent) +1
#include "protocol/ObjectKinds.def"
#undef OBJECT_KIND
    ;

// All rows of the table, in code order.
inline constexpr std::array<ObjectKind, MAX_TYPE_CODE> OBJECT_KINDS = {{
#define OBJECT_KIND(code, name, parent) {code, #name, ObjectParent::parent},
#include "protocol/ObjectKinds.def"
#undef OBJECT_KIND
}};

// The row of a type code, or null for 0 and codes above MAX_TYPE_CODE.
const ObjectKind* findObjectKind(int code);

class ObjectFactory
{
public:
    using Create = std::function<VisObject*(const ObjectContext&)>;

    // Enters the class of a type code. Codes outside 2..MAX_TYPE_CODE are not accepted
    // (1 is the time packet, which creates nothing).
    void add(int code, Create create);
    bool has(int code) const;
    // A new object of the code's class, or null when the code has no class
    // (yet, or at all).
    VisObject* create(int code, const ObjectContext& context) const;

private:
    std::array<Create, MAX_TYPE_CODE + 1> _create{};
};
