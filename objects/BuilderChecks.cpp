#include "objects/BuilderChecks.h"

#include <cmath>
#include <iostream>

namespace builder {

void reportRejected(const char* shape, const std::string& what)
{
    std::cout << shape << ": " << what << std::endl;
}

bool allFinite(const osg::Vec3Array& vertices)
{
    for (const osg::Vec3& v : vertices)
        if (!std::isfinite(v.x()) || !std::isfinite(v.y()) || !std::isfinite(v.z()))
            return false;
    return true;
}

osg::Vec3 safeNormal(const osg::Vec3& v, const osg::Vec3& fallback)
{
    const float length = v.length();
    if (length > 1e-12f && std::isfinite(length))
        return v / length;
    const float fallbackLength = fallback.length();
    if (fallbackLength > 1e-12f && std::isfinite(fallbackLength))
        return fallback / fallbackLength;
    return osg::Vec3(0.f, 0.f, 1.f);
}

} // namespace builder
