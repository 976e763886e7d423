#include "objects/VisHUDObject.h"

#include <algorithm>
#include <cstdio>
#include <locale>
#include <sstream>

#include "files/FindFile.h"
#include "objects/PacketText.h"
#include "objects/hud/HUDButton.h"
#include "objects/hud/HUDElements.h"
#include "objects/hud/HUDGraph.h"
#include "scene/ColorVisitor.h"
#include "scene/Colour.h"

VisHUDObject::VisHUDObject(const ObjectContext& context) : VisObject(context) {}

VisHUDObject::~VisHUDObject() = default;

HUDBaseClass* VisHUDObject::element() const
{
    return getNumChildren() > 0 ? dynamic_cast<HUDBaseClass*>(const_cast<osg::Node*>(getChild(0)))
                                : nullptr;
}

std::string VisHUDObject::valueText(const std::string& text, float value)
{
    std::ostringstream label;
    label.imbue(std::locale::classic());
    label << text << ' ' << value;
    return label.str();
}

bool VisHUDObject::build(const GNP2::Packet&)
{
    const GNP2::Packet& state = statePacket();
    const int kind = intItem(state, item::hud::Element)[0];
    osg::ref_ptr<HUDBaseClass> made = makeElement(kind);
    if (!made)
        return true; // an unknown kind: the object stays empty
    const std::span<const float> position = floatItem(state, item::hud::Position, 2);
    const float angle = floatItem(state, item::hud::Rotation)[0];
    made->setPosition(position[0], position[1], 0.f, angle);
    addChild(made.get());
    return true;
}

osg::ref_ptr<HUDBaseClass> VisHUDObject::makeElement(int kind)
{
    const GNP2::Packet& state = statePacket();
    const auto points = [&](int count) {
        return floatItem(state, item::hud::Points, 2 * std::size_t(std::max(0, count)));
    };
    switch (kind) {
    case LINE: {
        const int count = intItem(state, item::hud::PointCount)[0];
        osg::ref_ptr<HUDLine> line = new HUDLine(count, points(count), {0.f, 0.f, 0.f, 0.f});
        if (state.hasItem(item::hud::Colour))
            line->setColor(stateColour(1.f));
        if (state.hasItem(item::hud::Size))
            line->setWidth(floatItem(state, item::hud::Size)[0]);
        return line;
    }
    case TEXT:
    case VALUE_TEXT: {
        const std::string fontName = stringItem(state, item::hud::FileName);
        const float height = floatItem(state, item::hud::Size)[0];
        const std::string text = stringItem(state, item::hud::Text);
        std::string font = fontFile(fontName);
        if (font.empty()) {
            std::printf("VisHUDObject: no font file \"%s\"; the text uses %s\n", fontName.c_str(),
                        LABEL_FONT);
            std::fflush(stdout);
            font = fontFile(LABEL_FONT);
        }
        osg::ref_ptr<HUDText> label = new HUDText(height, font);
        label->setText(text);
        return label;
    }
    case PICTURE: {
        const std::span<const float> size = floatItem(state, item::hud::Size, 2);
        const std::string name = stringItem(state, item::hud::FileName);
        return new HUDPicture(size[0], size[1], findFile(name));
    }
    case BAR: {
        const std::span<const float> size = floatItem(state, item::hud::Size, 2);
        return new HUDBar(size[0], size[1]);
    }
    case GRAPH: {
        const std::span<const float> size = floatItem(state, item::hud::Size, 2);
        // The graph is this object's child and is only sampled from apply,
        // while this object lives.
        return new HUDGraph(
            size[0], size[1], [this] { return double(getTime()); }, fontFile(LABEL_FONT));
    }
    case FACE: {
        const int count = intItem(state, item::hud::PointCount)[0];
        osg::ref_ptr<HUDFace> face = new HUDFace(count, points(count), {1.f, 1.f, 1.f, 1.f});
        if (state.hasItem(item::hud::Colour) || state.hasItem(item::hud::Value))
            face->setColor(faceColour(face->colour()));
        return face;
    }
    case BUTTON: {
        const std::span<const float> size = floatItem(state, item::hud::Size, 2);
        const bool visible = floatItem(state, item::hud::Value)[0] != 0.f;
        return new HUDButton(size[0], size[1], visible, this);
    }
    default:
        return nullptr;
    }
}

void VisHUDObject::apply(const GNP2::Packet& arrived)
{
    if (!element())
        return;
    applyKind(intItem(statePacket(), item::hud::Element)[0], arrived);
    applyPosition(arrived);
}

void VisHUDObject::applyKind(int kind, const GNP2::Packet& arrived)
{
    const GNP2::Packet& state = statePacket();
    HUDBaseClass* const made = element();
    switch (kind) {
    case LINE: {
        auto* line = static_cast<HUDLine*>(made);
        if (state.isChanged(item::hud::Colour))
            line->setColor(stateColour(1.f));
        if (state.isChanged(item::hud::Points))
            line->setPoints(
                floatItem(state, item::hud::Points, 2 * std::size_t(line->pointCount())));
        if (state.isChanged(item::hud::Size))
            line->setWidth(floatItem(state, item::hud::Size)[0]);
        break;
    }
    case TEXT:
    case VALUE_TEXT: {
        auto* label = static_cast<HUDText*>(made);
        const bool newText =
            kind == TEXT ? arrived.hasItem(item::hud::Text)
                         : arrived.hasItem(item::hud::Text) || arrived.hasItem(item::hud::Value);
        if (newText) {
            const std::string text = stringItem(state, item::hud::Text);
            // A value text whose value has not come yet shows its text alone.
            if (kind == VALUE_TEXT && state.hasItem(item::hud::Value))
                label->setText(valueText(text, floatItem(state, item::hud::Value)[0]));
            else
                label->setText(text);
        }
        if (arrived.hasItem(item::hud::Colour))
            label->setColor(stateColour(1.f));
        break;
    }
    case BAR:
    case GRAPH: {
        if (arrived.hasItem(item::hud::Value)) {
            const float value = floatItem(state, item::hud::Value)[0];
            if (kind == BAR)
                made->setScale(value, 1.f, 1.f);
            else
                static_cast<HUDGraph*>(made)->addValue(value);
        }
        if (arrived.hasItem(item::hud::Colour)) {
            const osg::Vec4 colour = stateColour(1.f);
            ColorVisitor colouring;
            colouring.setColor(colour.r(), colour.g(), colour.b());
            accept(colouring);
            if (kind == GRAPH)
                static_cast<HUDGraph*>(made)->setNewPointColor(colour);
        }
        break;
    }
    case FACE: {
        auto* face = static_cast<HUDFace*>(made);
        if (state.isChanged(item::hud::Value) || state.isChanged(item::hud::Colour))
            face->setColor(faceColour(face->colour()));
        if (state.isChanged(item::hud::Points))
            face->setPoints(
                floatItem(state, item::hud::Points, 2 * std::size_t(face->pointCount())));
        break;
    }
    default: // pictures and buttons change only their place
        break;
    }
}

void VisHUDObject::applyPosition(const GNP2::Packet& arrived)
{
    if (!arrived.hasItem(item::hud::Position) && !arrived.hasItem(item::hud::Rotation))
        return;
    const GNP2::Packet& state = statePacket();
    // The creating packet's two values come again with the update that
    // follows initialize (and in every replayed record): the element is
    // already there.
    if (state.hasItem(item::hud::Position) && state.count(item::hud::Position) < 3 &&
        !state.isChanged(item::hud::Position) && !state.isChanged(item::hud::Rotation))
        return;
    const std::span<const float> position = floatItem(state, item::hud::Position, 3);
    const float angle = floatItem(state, item::hud::Rotation)[0];
    element()->setPosition(position[0], position[1], position[2], angle);
}

osg::Vec4 VisHUDObject::stateColour(float alpha)
{
    const std::span<const int> rgb = intItem(statePacket(), item::hud::Colour, 3);
    return colour::fromBytes(rgb[0], rgb[1], rgb[2], alpha);
}

osg::Vec4 VisHUDObject::faceColour(const osg::Vec4& current)
{
    const GNP2::Packet& state = statePacket();
    const float alpha =
        state.hasItem(item::hud::Value) ? 1.f - floatItem(state, item::hud::Value)[0] : 1.f;
    if (!state.hasItem(item::hud::Colour))
        return {current.r(), current.g(), current.b(), alpha};
    return stateColour(alpha);
}
