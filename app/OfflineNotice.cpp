#include "app/OfflineNotice.h"

#include <osg/Geode>
#include <osg/StateSet>
#include <osgText/Font>
#include <osgText/Text>
#include <osgViewer/View>
#include <osgViewer/ViewerBase>

#include "fonts/FontMap.h"

namespace {

// The overlay's own coordinates: 0..1000 across and up, whatever the window.
constexpr double kSpace = 1000.0;

osg::ref_ptr<osgText::Text> makeLine(osgText::Font* font, float size, const osg::Vec4& colour,
                                     float y)
{
    osg::ref_ptr<osgText::Text> text = new osgText::Text;
    text->setDataVariance(osg::Object::DYNAMIC);
    if (font)
        text->setFont(font);
    text->setFontResolution(64, 64);
    text->setCharacterSizeMode(osgText::Text::SCREEN_COORDS);
    text->setCharacterSize(size);
    text->setAlignment(osgText::Text::CENTER_CENTER);
    text->setPosition(osg::Vec3(float(kSpace / 2), y, 0.0f));
    text->setColor(colour);
    text->setBackdropType(osgText::Text::DROP_SHADOW_BOTTOM_RIGHT);
    text->setBackdropColor(osg::Vec4(0.0f, 0.0f, 0.0f, 0.8f));
    return text;
}

} // namespace

OfflineNotice::OfflineNotice() : _camera(new osg::Camera)
{
    _camera->setRenderOrder(osg::Camera::POST_RENDER, 5); // below the console (10)
    _camera->setReferenceFrame(osg::Transform::ABSOLUTE_RF);
    _camera->setProjectionMatrix(osg::Matrix::ortho2D(0.0, kSpace, 0.0, kSpace));
    _camera->setProjectionResizePolicy(osg::Camera::FIXED);
    _camera->setViewMatrix(osg::Matrix::identity());
    _camera->setClearMask(0);
    _camera->setAllowEventFocus(false);

    osg::StateSet* state = _camera->getOrCreateStateSet();
    state->setMode(GL_LIGHTING, osg::StateAttribute::OFF | osg::StateAttribute::PROTECTED);
    state->setMode(GL_DEPTH_TEST, osg::StateAttribute::OFF | osg::StateAttribute::PROTECTED);
    state->setMode(GL_BLEND, osg::StateAttribute::ON);

    // The built-in font draws too when the installed one is missing.
    osg::ref_ptr<osgText::Font> font;
    const std::string file = fonts::resolveFontFile("arial.ttf");
    if (!file.empty())
        font = osgText::readRefFontFile(file);

    _title = makeLine(font.get(), TITLE_SIZE, osg::Vec4(1.0f, 1.0f, 1.0f, 1.0f), 530.0f);
    _detail = makeLine(font.get(), DETAIL_SIZE, osg::Vec4(0.8f, 0.85f, 0.95f, 1.0f), 470.0f);
    // The camera always draws (an empty pass while hidden); only its
    // content comes and goes.
    _content = new osg::Geode;
    _content->addDrawable(_title.get());
    _content->addDrawable(_detail.get());
    _content->setNodeMask(0);
    _camera->addChild(_content.get());
}

OfflineNotice::~OfflineNotice() = default;

bool OfflineNotice::attach(osgViewer::View& view)
{
    osg::GraphicsContext* window = view.getCamera()->getGraphicsContext();
    if (!window)
        return false;
    _camera->setGraphicsContext(window);
    const osg::GraphicsContext::Traits* traits = window->getTraits();
    _camera->setViewport(0, 0, traits->width, traits->height);
    view.addSlave(_camera.get(), false);
    // A threaded viewer counts the cameras it waits for when its threads
    // start; restart them so that it waits for this one too.
    osgViewer::ViewerBase* viewer = view.getViewerBase();
    if (viewer && viewer->areThreadsRunning()) {
        viewer->stopThreading();
        viewer->startThreading();
    }
    return true;
}

void OfflineNotice::show(const std::string& title, const std::string& detail)
{
    if (_title->getText().createUTF8EncodedString() != title)
        _title->setText(title, osgText::String::ENCODING_UTF8);
    if (_detail->getText().createUTF8EncodedString() != detail)
        _detail->setText(detail, osgText::String::ENCODING_UTF8);
    _content->setNodeMask(~0u);
}

void OfflineNotice::hide()
{
    _content->setNodeMask(0);
}

bool OfflineNotice::visible() const
{
    return _content->getNodeMask() != 0;
}

std::string OfflineNotice::title() const
{
    return _title->getText().createUTF8EncodedString();
}

std::string OfflineNotice::detail() const
{
    return _detail->getText().createUTF8EncodedString();
}
