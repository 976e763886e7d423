#pragma once
// A scrolling strip chart W x H HUD units large with its lower left corner at
// the element's origin. New samples enter at the right edge, at height
// H/2 + H·v/2 (−1 on the bottom edge, +1 on the top), and everything scrolls
// left by 100 units per second of the clock that drives it (the process-wide
// simulation time in the program, any clock in tests). Points, time labels
// and grid lines that scroll past the left edge are removed, so a graph
// sampled every Δt seconds holds about W / (100·Δt) points.
//
// A sample whose time repeats the previous sample's time neither scrolls the
// chart nor adds a point (the simulation sent two values at one instant).
// Once a second (and at the first sample) a grid mark is added at the right
// edge: a vertical line over the whole height and the time as a label below,
// rounded to whole seconds and ending at the line.
//
// The graph remembers the samples it was given (the last HISTORY_LIMIT of
// them). When the clock runs back, or jumps over samples it remembers (a
// replay scrubbed back and forth), the chart is drawn anew from them: it
// shows the samples up to the new time, not those of the time it came from.
//
// addValue walks every point, label and grid line once: its cost is linear
// in the number of points shown.
//
// Threading: GUI thread only.

#include <deque>
#include <functional>
#include <string>

#include <osg/Geode>
#include <osg/Group>
#include <osg/Vec4>
#include <osg/ref_ptr>
#include <osgText/Font>

#include "objects/builders/Lines.h"
#include "objects/hud/HUDBaseClass.h"

class HUDGraph : public HUDBaseClass
{
public:
    // Seconds; read at construction (the time of the "previous" sample) and
    // at every sample.
    using Clock = std::function<double()>;

    static constexpr double UNITS_PER_SECOND = 100.0;
    static constexpr double FIRST_GRID_TIME = -10.0;
    static constexpr float LABEL_SIZE = 15.f;
    static constexpr float LABEL_DROP = 20.f; // labels sit this far below the chart
    static constexpr std::size_t HISTORY_LIMIT = std::size_t(1) << 18;

    // `labelFont` is the path of the labels' font file; empty: the default font.
    HUDGraph(float width, float height, Clock clock, const std::string& labelFont = {});

    const char* className() const override { return "HUDGraph"; }

    void addValue(float sample);
    // The colour of the points added from now on.
    void setNewPointColor(const osg::Vec4& colour) { _newPointColour = colour; }
    const osg::Vec4& newPointColor() const { return _newPointColour; }

    float width() const { return _width; }
    float height() const { return _height; }
    osgLine::SimpleLine* frame() const { return _frame.get(); }
    osgLine::DynamicLine* data() const { return _data.get(); }
    osg::Geode* labels() const { return _labels.get(); }
    osg::Group* grid() const { return _grid.get(); }
    double lastSampleTime() const { return _lastSample; }
    double lastGridTime() const { return _lastGrid; }

protected:
    ~HUDGraph() override;

private:
    struct Sample
    {
        double time;
        float value;
    };

    float pointHeight(float sample) const;
    // Whether a remembered sample lies strictly between the two times.
    bool knownBetween(double after, double before) const;
    void remember(double time, float sample);
    void redraw(double time);
    void scroll(float distance);
    // A grid line at x and, when it fits, the time as a label ending there.
    void addGridMark(double time, float x);

    const float _width;
    const float _height;
    const Clock _clock;
    osg::ref_ptr<osgText::Font> _labelFont;
    osg::ref_ptr<osgLine::SimpleLine> _frame;
    osg::ref_ptr<osgLine::DynamicLine> _data;
    osg::ref_ptr<osg::Geode> _labels;
    osg::ref_ptr<osg::Group> _grid;
    double _lastSample;
    double _lastGrid = FIRST_GRID_TIME;
    double _rate = 1.0;
    std::deque<Sample> _history; // ordered by time
    // White: a graph that is never coloured still shows its samples.
    osg::Vec4 _newPointColour{1.f, 1.f, 1.f, 1.f};
};
