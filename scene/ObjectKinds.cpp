#include "scene/ObjectKinds.h"

#include <cassert>

#include "scene/VisObject.h"

const ObjectKind* findObjectKind(int code)
{
    if (code < MIN_TYPE_CODE || code > MAX_TYPE_CODE)
        return nullptr;
    return &OBJECT_KINDS[std::size_t(code - MIN_TYPE_CODE)];
}

void ObjectFactory::add(int code, Create create)
{
    assert(code > TYPE_TimePacket && code <= MAX_TYPE_CODE);
    if (code > TYPE_TimePacket && code <= MAX_TYPE_CODE)
        _create[std::size_t(code)] = std::move(create);
}

bool ObjectFactory::has(int code) const
{
    return code > TYPE_TimePacket && code <= MAX_TYPE_CODE && _create[std::size_t(code)];
}

VisObject* ObjectFactory::create(int code, const ObjectContext& context) const
{
    return has(code) ? _create[std::size_t(code)](context) : nullptr;
}
