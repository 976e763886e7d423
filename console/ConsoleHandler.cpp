#include "console/ConsoleHandler.h"

#include "fonts/FontMap.h"
#include "console/CustomConsoleHandler.h"
#include "log/Log.h"

#include <osg/BlendFunc>
#include <osg/FrameStamp>
#include <osg/Geometry>
#include <osg/PolygonMode>
#include <osgText/Text>
#include <osgViewer/View>
#include <osgViewer/ViewerBase>

#include <algorithm>
#include <cmath>

namespace console {

osg::Vec4 levelColour(int level)
{
    switch (level) {
    case LEVEL_1:
        return {0.2f, 0.7f, 0.2f, 1.0f};
    case LEVEL_2:
        return {0.0f, 1.0f, 0.0f, 1.0f};
    case LEVEL_8:
        // A light blue: the deep blue (0.2, 0.2, 1) all but vanishes on the
        // translucent panel over a dark blue background.
        return {0.5f, 0.65f, 1.0f, 1.0f};
    case LEVEL_16:
        return {0.1f, 0.1f, 0.1f, 1.0f};
    case LEVEL_32:
        return {1.0f, 0.0f, 0.0f, 1.0f};
    default:
        return {1.0f, 1.0f, 1.0f, 1.0f};
    }
}

ConsoleHandler& ConsoleHandler::instance()
{
    static ConsoleHandler* const console = [] {
        auto* handler = new ConsoleHandler;
        handler->ref(); // held for the life of the process
        handler->setCommandHandler(std::make_shared<CustomConsoleHandler>());
        return handler;
    }();
    return *console;
}

ConsoleHandler::ConsoleHandler() : _signals(std::make_shared<Signals>())
{
    const std::string file = fonts::resolveFontFile(kConsoleFont);
    if (!file.empty())
        _font = osgText::readRefFontFile(file);
    if (!_font) {
        // The built-in font still draws every line; the log says why it looks different.
        _font = osgText::Font::getDefaultFont();
        Log::instance().writeLine(LEVEL_32,
                                  std::string("[Console] Cannot load font: ") + kConsoleFont);
    }
    // Glyphs rendered at 128 pixels are drawn about 15 pixels high; the small
    // mipmap levels of the shared glyph texture blend neighbouring glyphs into
    // smudges, so the texture is sampled without mipmaps.
    _font->setMinFilterHint(osg::Texture::LINEAR);
    // Texts are placed by their base line, the row's top lying one ascent
    // above it, so that every row's letters line up whatever they contain.
    _ascent = makeText("Hdl|[", LEVEL_4)->getBoundingBox().yMax();
    buildScene();

    std::weak_ptr<Signals> weak = _signals;
    Log::instance().setChangedListener([weak] {
        if (auto signals = weak.lock())
            signals->dirty = true;
    });
    Log::instance().setShowListener([weak] {
        if (auto signals = weak.lock())
            signals->showRequested = true;
    });
}

ConsoleHandler::~ConsoleHandler() = default;

void ConsoleHandler::setCommandHandler(std::shared_ptr<CommandHandler> handler)
{
    _input.setCommandHandler(std::move(handler));
}

void ConsoleHandler::buildScene()
{
    _camera = new osg::Camera;
    _camera->setRenderOrder(osg::Camera::POST_RENDER, 10);
    _camera->setProjectionMatrix(osg::Matrix::ortho2D(0.0, kScreenSize, 0.0, kScreenSize));
    // The 1000 x 1000 space always covers the whole window, whatever its shape.
    _camera->setProjectionResizePolicy(osg::Camera::FIXED);
    _camera->setReferenceFrame(osg::Transform::ABSOLUTE_RF);
    _camera->setViewMatrix(osg::Matrix::identity());
    _camera->setClearMask(0);
    _camera->setAllowEventFocus(false);
    // A slave takes its master's cull settings every frame unless told
    // otherwise. The default view's cull mask is 0 while simulation views
    // draw, and the console must still be drawn over them; its clearing is
    // its own too (none). Draw and read buffers still follow the window.
    _camera->setInheritanceMask(osg::CullSettings::ALL_VARIABLES &
                                ~(osg::CullSettings::CULL_MASK | osg::CullSettings::CULL_MASK_LEFT |
                                  osg::CullSettings::CULL_MASK_RIGHT |
                                  osg::CullSettings::CLEAR_COLOR | osg::CullSettings::CLEAR_MASK));

    _switch = new osg::Switch;
    _switch->setNewChildDefaultValue(false);
    osg::StateSet* state = _switch->getOrCreateStateSet();
    state->setMode(GL_LIGHTING, osg::StateAttribute::OFF);
    state->setMode(GL_BLEND, osg::StateAttribute::ON);
    state->setAttributeAndModes(
        new osg::BlendFunc(osg::BlendFunc::SRC_ALPHA, osg::BlendFunc::ONE_MINUS_SRC_ALPHA));
    state->setMode(GL_DEPTH_TEST, osg::StateAttribute::OFF);
    state->setAttributeAndModes(
        new osg::PolygonMode(osg::PolygonMode::FRONT_AND_BACK, osg::PolygonMode::FILL),
        osg::StateAttribute::ON | osg::StateAttribute::PROTECTED);
    _camera->addChild(_switch);

    // The image: the panel's translucent black with the texts over it, kept
    // with premultiplied alpha, so that one blend puts it over the scene as
    // the panel and then the texts blended over it would.
    _image = new osg::Texture2D;
    _image->setDataVariance(osg::Object::DYNAMIC);
    _image->setInternalFormat(GL_RGBA8);
    _image->setSourceFormat(GL_RGBA);
    _image->setSourceType(GL_UNSIGNED_BYTE);
    _image->setTextureSize(1, 1);
    _image->setResizeNonPowerOfTwoHint(false);
    // One texel per pixel: filtering would only blur the glyphs.
    _image->setFilter(osg::Texture::MIN_FILTER, osg::Texture::NEAREST);
    _image->setFilter(osg::Texture::MAG_FILTER, osg::Texture::NEAREST);
    _image->setWrap(osg::Texture::WRAP_S, osg::Texture::CLAMP_TO_EDGE);
    _image->setWrap(osg::Texture::WRAP_T, osg::Texture::CLAMP_TO_EDGE);

    const float bottom = kPanelTop - kPanelHeight;
    const float right = kPanelLeft + kPanelWidth;
    _imageCamera = new osg::Camera;
    _imageCamera->setDataVariance(osg::Object::DYNAMIC);
    _imageCamera->setRenderOrder(osg::Camera::PRE_RENDER);
    _imageCamera->setRenderTargetImplementation(osg::Camera::FRAME_BUFFER_OBJECT);
    _imageCamera->attach(osg::Camera::COLOR_BUFFER, _image.get());
    _imageCamera->setReferenceFrame(osg::Transform::ABSOLUTE_RF);
    _imageCamera->setProjectionMatrix(osg::Matrix::ortho2D(kPanelLeft, right, bottom, kPanelTop));
    _imageCamera->setViewMatrix(osg::Matrix::identity());
    _imageCamera->setComputeNearFarMode(osg::CullSettings::DO_NOT_COMPUTE_NEAR_FAR);
    _imageCamera->setClearColor({0.0f, 0.0f, 0.0f, kPanelAlpha});
    _imageCamera->setClearMask(GL_COLOR_BUFFER_BIT);
    _imageCamera->setViewport(new osg::Viewport(0, 0, 1, 1));
    _imageCamera->setAllowEventFocus(false);
    _imageCamera->setNodeMask(0); // drawn only in the frames that need it
    _switch->addChild(_imageCamera);

    _texts = new osg::Geode;
    // Colour blended as usual; alpha gathers coverage, which keeps the image
    // premultiplied.
    _texts->getOrCreateStateSet()->setAttributeAndModes(
        new osg::BlendFunc(osg::BlendFunc::SRC_ALPHA, osg::BlendFunc::ONE_MINUS_SRC_ALPHA,
                           osg::BlendFunc::ONE, osg::BlendFunc::ONE_MINUS_SRC_ALPHA),
        osg::StateAttribute::ON | osg::StateAttribute::OVERRIDE);
    _imageCamera->addChild(_texts);

    osg::ref_ptr<osg::Vec3Array> corners = new osg::Vec3Array;
    corners->push_back({kPanelLeft, bottom, 0.0f});
    corners->push_back({right, bottom, 0.0f});
    corners->push_back({right, kPanelTop, 0.0f});
    corners->push_back({kPanelLeft, kPanelTop, 0.0f});
    osg::ref_ptr<osg::Vec2Array> texels = new osg::Vec2Array;
    texels->push_back({0.0f, 0.0f});
    texels->push_back({1.0f, 0.0f});
    texels->push_back({1.0f, 1.0f});
    texels->push_back({0.0f, 1.0f});
    osg::ref_ptr<osg::Vec4Array> white = new osg::Vec4Array;
    white->push_back({1.0f, 1.0f, 1.0f, 1.0f});
    osg::ref_ptr<osg::Geometry> quad = new osg::Geometry;
    quad->setVertexArray(corners);
    quad->setTexCoordArray(0, texels);
    quad->setColorArray(white, osg::Array::BIND_OVERALL);
    quad->addPrimitiveSet(new osg::DrawArrays(GL_QUADS, 0, 4));
    _panel = new osg::Geode;
    _panel->addDrawable(quad);
    osg::StateSet* panelState = _panel->getOrCreateStateSet();
    panelState->setTextureAttributeAndModes(0, _image.get(), osg::StateAttribute::ON);
    panelState->setAttributeAndModes(
        new osg::BlendFunc(osg::BlendFunc::ONE, osg::BlendFunc::ONE_MINUS_SRC_ALPHA));
    _switch->addChild(_panel);
}

bool ConsoleHandler::panelOn() const
{
    return _switch->getValue(0);
}

void ConsoleHandler::setPanelOn(bool on)
{
    if (on)
        _switch->setAllChildrenOn();
    else
        _switch->setAllChildrenOff();
}

bool ConsoleHandler::attach(osgViewer::View& view)
{
    osgViewer::ViewerBase* viewer = view.getViewerBase();
    if (!viewer)
        return false;
    osgViewer::ViewerBase::Windows windows;
    viewer->getWindows(windows);
    if (windows.empty())
        return false;
    osgViewer::GraphicsWindow* window = windows.front();

    _camera->setGraphicsContext(window);
    const osg::GraphicsContext::Traits* traits = window->getTraits();
    _camera->setViewport(0, 0, traits->width, traits->height);
    view.addSlave(_camera.get(), false);
    // Threaded viewers count the cameras whose drawing they wait for when
    // their threads start; restart them so that they wait for this one too.
    if (viewer->areThreadsRunning()) {
        viewer->stopThreading();
        viewer->startThreading();
    }
    _initialized = true;
    _signals->dirty = true;
    return true;
}

void ConsoleHandler::applyRequests(unsigned int frame)
{
    // The image was drawn with the frame that asked for it (cull runs after
    // the events of the same frame): from the next frame on it is only shown.
    if (imageDrawPending() && frame != _imageFrame)
        _imageCamera->setNodeMask(0);
    if (_signals->showRequested.exchange(false)) {
        // A console that opened by itself takes the keys like one opened
        // with F10, so what is typed lands at the prompt shown and F10
        // closes it.
        _input.setVisible(true);
        setPanelOn(true);
    }
    // Hidden texts need no work: the flag stays up until the panel is on.
    if (!_initialized || !panelOn())
        return;
    const bool resized = fitImage();
    if (_signals->dirty.exchange(false))
        redraw();
    else if (!resized)
        return;
    requestImage(frame);
}

bool ConsoleHandler::fitImage()
{
    const osg::Viewport* window = _camera->getViewport();
    if (!window)
        return false;
    const int width =
        std::max(1, static_cast<int>(std::lround(window->width() * kPanelWidth / kScreenSize)));
    const int height =
        std::max(1, static_cast<int>(std::lround(window->height() * kPanelHeight / kScreenSize)));
    if (width == _image->getTextureWidth() && height == _image->getTextureHeight())
        return false;
    _image->setTextureSize(width, height);
    _image->dirtyTextureObject();
    // A new viewport object: a threaded viewer may still draw with the old one.
    _imageCamera->setViewport(new osg::Viewport(0, 0, width, height));
    _imageCamera->dirtyAttachmentMap();
    return true;
}

void ConsoleHandler::requestImage(unsigned int frame)
{
    _imageCamera->setNodeMask(~0u);
    _imageFrame = frame;
}

bool ConsoleHandler::handle(const osgGA::GUIEventAdapter& ea, osgGA::GUIActionAdapter& aa)
{
    auto* view = dynamic_cast<osgViewer::View*>(&aa);
    if (!view)
        return false;
    if (!_camera->getGraphicsContext())
        attach(*view);
    const osg::FrameStamp* stamp = view->getFrameStamp();
    const unsigned int frame = stamp ? stamp->getFrameNumber() : 0;
    applyRequests(frame);

    if (ea.getHandled() || ea.getEventType() != osgGA::GUIEventAdapter::KEYDOWN)
        return false;
    const auto result =
        _input.keyDown(ea.getKey(), [this](std::string_view text) { return rowsOf(text); });
    if (result == ConsoleInput::KeyResult::Ignored)
        return false;
    if (result == ConsoleInput::KeyResult::Toggled)
        setPanelOn(_input.visible());
    _signals->dirty = true;
    applyRequests(frame);
    aa.requestRedraw();
    return true;
}

osg::ref_ptr<osgText::Text> ConsoleHandler::makeText(std::string_view text, int level) const
{
    osg::ref_ptr<osgText::Text> drawn = new osgText::Text;
    drawn->setDataVariance(osg::Object::DYNAMIC);
    drawn->setFont(_font.get());
    drawn->setFontResolution(128, 128);
    drawn->setCharacterSize(kCharacterSize);
    drawn->setLineSpacing(kLineSpacing);
    drawn->setAlignment(osgText::Text::LEFT_BASE_LINE);
    drawn->setMaximumWidth(kTextMaxWidth);
    drawn->setMaximumHeight(kTextMaxHeight);
    drawn->setBackdropType(osgText::Text::DROP_SHADOW_BOTTOM_RIGHT);
    drawn->setBackdropOffset(0.1f);
    drawn->setBackdropColor({0.0f, 0.0f, 0.0f, 0.8f});
    drawn->setColor(levelColour(level));
    drawn->setText(std::string(text));
    return drawn;
}

namespace {

constexpr float kRowPitch = (1.0f + kLineSpacing) * kCharacterSize;

// Rows the text's glyphs span: the first base line is at 0 and each further
// row lies one pitch lower; descenders stay well within a pitch.
int measuredRows(const osgText::Text& text)
{
    const osg::BoundingBox& box = text.getBoundingBox();
    if (!box.valid() || box.yMin() >= 0.0f)
        return 1;
    return 1 + static_cast<int>((1.0f - box.yMin()) / kRowPitch);
}

} // namespace

int ConsoleHandler::rowsOf(std::string_view text) const
{
    if (text.empty())
        return 1;
    return std::min(kLogRows, measuredRows(*makeText(text, LEVEL_4)));
}

osg::ref_ptr<osgText::Text> ConsoleHandler::placeText(std::string_view text, int level,
                                                      int firstRow, int rowCount) const
{
    osg::ref_ptr<osgText::Text> drawn = makeText(text, level);
    // A line longer than the whole log area is cut after the rows it was given.
    if (measuredRows(*drawn) > rowCount)
        drawn->setMaximumHeight(static_cast<float>(rowCount - 1) * kRowPitch + 1.0f);
    drawn->setPosition({kPanelLeft, rowY(firstRow) - _ascent, 0.0f});
    return drawn;
}

void ConsoleHandler::redraw()
{
    _texts->removeDrawables(0, _texts->getNumDrawables());
    Log::instance().withLines([this](const std::vector<LogLine>& lines, int offset, int mask) {
        const RowLayout layout =
            layoutRows(lines, offset, mask, [this](std::string_view text) { return rowsOf(text); });
        for (const PlacedLine& placed : layout.placed) {
            const LogLine& line = lines[placed.index];
            _texts->addDrawable(
                placeText(displayText(line.text), line.level, placed.firstRow, placed.rowCount));
        }
    });
    _texts->addDrawable(placeText(_input.promptText(), LEVEL_4, kPromptRow, 1));
}

} // namespace console
