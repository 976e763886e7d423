#include "objects/hud/HUDGraph.h"

#include <array>
#include <algorithm>
#include <cmath>
#include <iomanip>
#include <locale>
#include <sstream>
#include <utility>

#include <osgText/Text>

namespace {

const osg::Vec4 FRAME_COLOUR(0.5f, 0.5f, 0.5f, 0.5f);
const osg::Vec4 FIRST_POINT_COLOUR(1.f, 1.f, 1.f, 1.f);
const osg::Vec4 GRID_COLOUR(0.3f, 0.3f, 0.3f, 1.0f);

// The time written with as many decimals as marks `spacing` seconds apart
// need to read apart: whole seconds for a spacing of a second or more.
std::string timeLabel(double time, double spacing)
{
    const int decimals = spacing >= 1.0 ? 0 : int(std::ceil(-std::log10(spacing) - 1e-9));
    const double scale = std::pow(10.0, decimals);
    double rounded = std::round(time * scale) / scale;
    if (rounded == 0.0)
        rounded = 0.0; // no "-0"
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << std::fixed << std::setprecision(decimals) << rounded;
    return text.str();
}

} // namespace

HUDGraph::HUDGraph(float width, float height, Clock clock, const std::string& labelFont)
    : _width(width), _height(height), _clock(std::move(clock)),
      _frame(new osgLine::SimpleLine(osg::Vec3(0.f, 0.f, 0.f), FRAME_COLOUR)),
      _data(new osgLine::DynamicLine(osg::Vec3(width, height / 2.f, 0.f), FIRST_POINT_COLOUR)),
      _labels(new osg::Geode), _grid(new osg::Group), _lastSample(_clock())
{
    if (!labelFont.empty())
        _labelFont = osgText::readRefFontFile(labelFont);
    if (!_labelFont)
        _labelFont = osgText::Font::getDefaultFont();

    _frame->addPoint(osg::Vec3(0.f, height, 0.f), FRAME_COLOUR);
    _frame->addPoint(osg::Vec3(width, height, 0.f), FRAME_COLOUR);
    _frame->addPoint(osg::Vec3(width, 0.f, 0.f), FRAME_COLOUR);
    _frame->addPoint(osg::Vec3(0.f, 0.f, 0.f), FRAME_COLOUR);

    const std::array<osg::Node*, 4> parts{_frame.get(), _data.get(), _labels.get(), _grid.get()};
    for (osg::Node* part : parts) {
        part->getOrCreateStateSet()->setMode(GL_LIGHTING, osg::StateAttribute::OFF);
        addChild(part);
    }
}

HUDGraph::~HUDGraph() = default;

void HUDGraph::addValue(float sample)
{
    const double time = _clock();
    // A clock that ran back, or skipped samples this graph was shown before
    // (a replay scrubbed or jumped), makes the chart show what belongs to the
    // new time instead of scrolling on from the old one.
    const bool jumped = time < _lastSample || knownBetween(_lastSample, time);
    remember(time, sample);
    if (jumped) {
        redraw(time);
        _lastSample = time;
        return;
    }
    if (time - _lastSample > 0.0) {
        scroll(float(_rate * (time - _lastSample) * UNITS_PER_SECOND));
        // A sample that is not a number would poison the line's bound: the
        // chart scrolls on without it.
        if (std::isfinite(sample))
            _data->addPoint(osg::Vec3(_width, pointHeight(sample), 0.f), _newPointColour);
        const osg::Vec3Array& points = _data->vertices();
        std::size_t gone = 0;
        while (gone < points.size() && points[gone].x() < 0.f)
            ++gone;
        _data->removeFirstPoints(gone);
    }
    _lastSample = time;
    if (std::abs(time - _lastGrid) >= 1.0 / _rate) {
        addGridMark(time, _width);
        _lastGrid = time;
    }
}

float HUDGraph::pointHeight(float sample) const
{
    return _height / 2.f + _height * sample / 2.f;
}

bool HUDGraph::knownBetween(double after, double before) const
{
    const auto next = std::upper_bound(_history.begin(), _history.end(), after,
                                       [](double t, const Sample& s) { return t < s.time; });
    return next != _history.end() && next->time < before;
}

void HUDGraph::remember(double time, float sample)
{
    if (!std::isfinite(sample))
        return;
    if (_history.empty() || _history.back().time < time) {
        _history.push_back({time, sample});
    } else {
        const auto at = std::lower_bound(_history.begin(), _history.end(), time,
                                         [](const Sample& s, double t) { return s.time < t; });
        if (at->time == time)
            at->value = sample;
        else
            _history.insert(at, {time, sample});
    }
    if (_history.size() > HISTORY_LIMIT)
        _history.pop_front();
}

void HUDGraph::redraw(double time)
{
    _data->clear();
    _labels->removeDrawables(0, _labels->getNumDrawables());
    _grid->removeChildren(0, _grid->getNumChildren());
    _lastGrid = FIRST_GRID_TIME;

    const double perSecond = _rate * UNITS_PER_SECOND;
    const double shown = double(_width) / perSecond;
    auto it = std::lower_bound(_history.begin(), _history.end(), time - shown,
                               [](const Sample& s, double t) { return s.time < t; });
    for (; it != _history.end() && it->time <= time; ++it) {
        const float x = float(double(_width) - (time - it->time) * perSecond);
        _data->addPoint(osg::Vec3(x, pointHeight(it->value), 0.f), _newPointColour);
        if (std::abs(it->time - _lastGrid) >= 1.0 / _rate) {
            addGridMark(it->time, x);
            _lastGrid = it->time;
        }
    }
}

void HUDGraph::scroll(float distance)
{
    const osg::Vec3 left(-distance, 0.f, 0.f);
    _data->movePoints(left);

    for (unsigned i = _labels->getNumDrawables(); i-- > 0;) {
        auto* label = static_cast<osgText::Text*>(_labels->getDrawable(i));
        const osg::Vec3 moved = label->getPosition() + left;
        if (moved.x() < 0.f)
            _labels->removeDrawables(i, 1);
        else
            label->setPosition(moved);
    }
    for (unsigned i = _grid->getNumChildren(); i-- > 0;) {
        auto* line = static_cast<osgLine::DynamicLine*>(_grid->getChild(i));
        line->movePoints(left);
        if (line->pointCount() == 0 || line->vertices()[0].x() < 0.f)
            _grid->removeChildren(i, 1);
    }
}

void HUDGraph::addGridMark(double time, float x)
{
    osg::ref_ptr<osgText::Text> label = new osgText::Text;
    label->setFont(_labelFont.get());
    label->setFontResolution(FONT_RESOLUTION, FONT_RESOLUTION);
    label->setCharacterSize(LABEL_SIZE);
    label->setText(timeLabel(time, 1.0 / _rate));
    // The label ends at its line, so that the newest one stays inside the
    // chart's right edge; one that would start left of the chart is left out,
    // as scrolling removes it there.
    const osg::BoundingBox& extent = label->getBoundingBox();
    const float left = x - (extent.valid() ? extent.xMax() : 0.f);
    label->setPosition(osg::Vec3(left, -LABEL_DROP, 0.f));
    label->setDataVariance(osg::Object::DYNAMIC);
    if (left >= 0.f)
        _labels->addDrawable(label.get());

    osg::ref_ptr<osgLine::DynamicLine> line =
        new osgLine::DynamicLine(osg::Vec3(x, 0.f, 0.f), GRID_COLOUR);
    line->addPoint(osg::Vec3(x, _height, 0.f), GRID_COLOUR);
    _grid->addChild(line.get());
}
