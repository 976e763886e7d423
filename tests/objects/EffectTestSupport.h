#pragma once
// The particle and weather object tests' packets (the shared item tables)
// and the names of their table rows.

#include <string>

#include <gtest/gtest.h>

#include <osg/ref_ptr>

#include "objects/VisParticleEffectObject.h"
#include "objects/VisWeatherObject.h"
#include "tests/support/Packets.h"

namespace effecttest {

using testsupport::create;
using testsupport::deliver;
using testsupport::Items;
using testsupport::send;

// Test names of table rows: the row's `name`.
struct RowName
{
    template <typename Row> std::string operator()(const ::testing::TestParamInfo<Row>& row) const
    {
        return row.param.name;
    }
};

} // namespace effecttest
