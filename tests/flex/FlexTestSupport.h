#pragma once
// What the flexible-body tests share: a beam-shaped geometry, a file source
// that hands out one model, node arrays, the planar items of a body's
// packets, and a settings store of the tests' own.

#include <initializer_list>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <osg/Array>
#include <osg/Geode>
#include <osg/Geometry>
#include <osg/ref_ptr>

#include "flex/DeformationInterpolator.h"
#include "gnp2/Packet.h"
#include "scene/ObjectServices.h"

namespace flextest {

// A box-section beam along x from 0 to `length`, `segments` slices, cross
// section 2h x 2h centred on the x axis; separate vertices per face (as
// model files have them) with each face's normal.
osg::ref_ptr<osg::Geometry> makeBeam(float length = 4.0f, int segments = 8, float h = 0.1f);
osg::ref_ptr<osg::Geode> beamGeode(float length = 4.0f, int segments = 8);

// A file source whose one model is loaded already: every request hands out
// that very node (shared, as the file manager hands out large files), or
// nothing while `loading` is set.
class OneModel : public FileSource
{
public:
    explicit OneModel(osg::ref_ptr<osg::Node> node) : model(std::move(node)) {}
    osg::ref_ptr<osg::Node> loadOrCloneFile(const std::string& name) override
    {
        requested.push_back(name);
        return loading ? nullptr : model;
    }
    void releaseFile(const std::string& name) override { released.push_back(name); }
    FileState fileState(const std::string&) const override
    {
        return loading ? FileState::Loading : FileState::Loaded;
    }
    osg::ref_ptr<osg::Node> createTerrainNode(UserMessages*) override { return nullptr; }

    osg::ref_ptr<osg::Node> model;
    bool loading = false;
    std::vector<std::string> requested;
    std::vector<std::string> released;
};

osg::ref_ptr<osg::Vec3Array> points(std::initializer_list<osg::Vec3> list);
// `count` points uniformly in [-1, 1]^3 (scaled), from a fixed seed.
osg::ref_ptr<osg::Vec3Array> randomPoints(std::size_t count, unsigned seed, float scale = 1.0f);

// Nodes as planar items: the x components, then the y, then the z.
std::vector<float> planar(const osg::Vec3Array& nodes);

// A fitted field over random nodes and a geometry of random vertices.
struct RandomBody
{
    osg::ref_ptr<osg::Vec3Array> nodes, displacements, vertices;
    std::unique_ptr<DeformationInterpolator> field;
    osg::ref_ptr<osg::Geometry> geometry;
};
RandomBody randomBody(std::size_t vertices, std::size_t nodes, unsigned seed,
                      float displacement = 0.2f);
// `actual` holds what the processor back-end makes of the body, within
// single-precision rounding of the terms summed (in any order).
void expectProcessorResult(RandomBody& body, const osg::Vec3Array& actual);

// Points the settings store at a folder of this process and empties it.
void useTestSettings();

} // namespace flextest
