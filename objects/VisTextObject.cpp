#include "objects/VisTextObject.h"

#include <algorithm>
#include <cstdio>
#include <locale>
#include <span>
#include <sstream>

#include <osg/StateSet>
#include <osgText/Font>

#include "objects/PacketText.h"
#include "scene/Colour.h"

namespace {

// The font of a font file, or null when there is no file or it cannot be
// read. The reader keeps what it has read, so labels share their fonts.
osg::ref_ptr<osgText::Font> loadFont(const std::string& path)
{
    return path.empty() ? nullptr : osgText::readRefFontFile(path);
}

} // namespace

VisTextObject::VisTextObject(const ObjectContext& context) : Vis3DObject(context)
{
    setIntersectable(false);
}

VisTextObject::~VisTextObject() = default;

std::string VisTextObject::labelOf(const GNP2::Packet& packet)
{
    const bool showNumber = intItem(packet, item::text::ShowValue)[0] != 0;
    std::ostringstream label;
    label.imbue(std::locale::classic());
    label << stringItem(packet, item::text::Text);
    if (showNumber)
        label << floatItem(packet, item::text::Value)[0];
    return label.str();
}

osgText::TextBase::AxisAlignment VisTextObject::alignmentOf(int value)
{
    switch (value) {
    case 1:
        return osgText::TextBase::XY_PLANE;
    case 2:
        return osgText::TextBase::XZ_PLANE;
    case 3:
        return osgText::TextBase::YZ_PLANE;
    default:
        return osgText::TextBase::SCREEN;
    }
}

bool VisTextObject::build(const GNP2::Packet&)
{
    const std::string fontName = stringItem(statePacket(), item::text::Font);

    osg::ref_ptr<osgText::Text> text = new osgText::Text;
    osg::ref_ptr<osgText::Font> font = loadFont(fontFile(fontName));
    if (!font) {
        std::printf("%s\n", FONT_ERROR);
        std::fflush(stdout);
        font = loadFont(fontFile(DEFAULT_FONT));
        if (!font)
            font = osgText::Font::getDefaultFont();
    }
    text->setFont(font);
    text->setFontResolution(FONT_RESOLUTION, FONT_RESOLUTION);
    text->setDataVariance(osg::Object::DYNAMIC);

    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(text.get());
    // The hint first: it sets bin details of its own, which the bin
    // number and name then replace.
    osg::StateSet* stateSet = text->getOrCreateStateSet();
    stateSet->setRenderingHint(osg::StateSet::TRANSPARENT_BIN);
    stateSet->setRenderBinDetails(TEXT_BIN, "RenderBin", osg::StateSet::USE_RENDERBIN_DETAILS);

    osg::MatrixTransform* transform = getTransform();
    if (_geode)
        transform->removeChild(_geode.get());
    transform->addChild(geode.get());
    _geode = geode;
    _text = text;
    return true;
}

void VisTextObject::apply(const GNP2::Packet& arrived)
{
    const GNP2::Packet& state = statePacket();

    const std::string label = labelOf(state);
    const int alignment = intItem(state, item::text::Alignment)[0];
    _text->setText(label);
    _text->setAxisAlignment(alignmentOf(alignment));

    if (arrived.hasItem(item::text::Colour) || arrived.hasItem(item::text::Opacity)) {
        const std::span<const int> rgb = intItem(state, item::text::Colour, 3);
        // A colour sent without any opacity is opaque rather than an error
        // repeated at every update.
        const float alpha =
            state.hasItem(item::text::Opacity) ? floatItem(state, item::text::Opacity)[0] : 1.0f;
        _text->setColor(colour::fromBytes(rgb[0], rgb[1], rgb[2], alpha));
    }
    if (arrived.hasItem(item::text::Height))
        _text->setCharacterSize(floatItem(arrived, item::text::Height)[0], 1.0f);
    applyTransformItems(arrived, false);
}
