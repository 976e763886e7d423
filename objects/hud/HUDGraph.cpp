#include "objects/hud/HUDGraph.h"

#include <array>
#include <cmath>
#include <locale>
#include <sstream>
#include <utility>

#include <osgText/Text>

namespace {

constexpr unsigned FONT_RESOLUTION = 128;
const osg::Vec4 FRAME_COLOUR(0.5f, 0.5f, 0.5f, 0.5f);
const osg::Vec4 FIRST_POINT_COLOUR(1.f, 1.f, 1.f, 1.f);
const osg::Vec4 GRID_COLOUR(0.3f, 0.3f, 0.3f, 1.0f);

std::string timeLabel(double time)
{
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << float(time);
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
    if (time - _lastSample > 0.0) {
        scroll(float(_rate * (time - _lastSample) * UNITS_PER_SECOND));
        // A sample that is not a number would poison the line's bound: the
        // chart scrolls on without it.
        if (std::isfinite(sample))
            _data->addPoint(osg::Vec3(_width, _height / 2.f + _height * sample / 2.f, 0.f),
                            _newPointColour);
        const osg::Vec3Array& points = _data->vertices();
        std::size_t gone = 0;
        while (gone < points.size() && points[gone].x() < 0.f)
            ++gone;
        _data->removeFirstPoints(gone);
    }
    _lastSample = time;
    if (std::abs(time - _lastGrid) >= 1.0 / _rate) {
        addGridMark(time);
        _lastGrid = time;
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

void HUDGraph::addGridMark(double time)
{
    const std::string text = timeLabel(time);
    osg::ref_ptr<osgText::Text> label = new osgText::Text;
    label->setFont(_labelFont.get());
    label->setFontResolution(FONT_RESOLUTION, FONT_RESOLUTION);
    label->setCharacterSize(LABEL_SIZE);
    label->setText(text);
    label->setPosition(
        osg::Vec3(_width - LABEL_CHARACTER_WIDTH * float(text.size()), -LABEL_DROP, 0.f));
    label->setDataVariance(osg::Object::DYNAMIC);
    _labels->addDrawable(label.get());

    osg::ref_ptr<osgLine::DynamicLine> line =
        new osgLine::DynamicLine(osg::Vec3(_width, 0.f, 0.f), GRID_COLOUR);
    line->addPoint(osg::Vec3(_width, _height, 0.f), GRID_COLOUR);
    _grid->addChild(line.get());
}
