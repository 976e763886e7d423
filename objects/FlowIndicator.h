#pragma once
// One flow indicator of a flow pipe: a small cone (radius 1, height 1, axis
// +z, centred at the origin) under a matrix transform that the chain's first
// pipe sets on every update to place, turn and size it.
//
// Its phase is where it sits in the chain's row of indicators: the first pipe
// places it at flow coordinate (flow position · r_in − phase), so indicators
// made at phases 0, −step, −2·step, … follow each other one step apart.
//
// Threading: GUI thread only (the scene update traversal).

#include <osg/Geode>
#include <osg/MatrixTransform>
#include <osg/Vec4>
#include <osg/ref_ptr>

class FlowIndicator : public osg::MatrixTransform
{
public:
    explicit FlowIndicator(double phase);

    double phase() const { return _phase; }
    osg::Geode* geode() const { return _geode.get(); }

    // Gives the cone the colour (alpha 1) through the colour visitor. The
    // visitor runs only when the colour differs from the one the cone has,
    // so placing an indicator in the pipe it already was in costs nothing.
    void setColour(const osg::Vec4& rgb);
    const osg::Vec4& colour() const { return _colour; }

protected:
    ~FlowIndicator() override;

private:
    double _phase;
    osg::ref_ptr<osg::Geode> _geode;
    osg::Vec4 _colour;
    bool _coloured = false;
};
