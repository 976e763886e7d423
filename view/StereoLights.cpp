#include "view/StereoLights.h"

#include <osg/DisplaySettings>
#include <osgUtil/PositionalStateContainer>
#include <osgUtil/RenderStage>
#include <osgUtil/SceneView>
#include <osgViewer/Renderer>
#include <osgViewer/View>
#include <osgViewer/ViewerBase>

namespace view {

namespace {

// The display settings the camera's renderer draws with.
const osg::DisplaySettings* settingsOf(osg::Camera& camera)
{
    if (const osg::DisplaySettings* own = camera.getDisplaySettings())
        return own;
    if (auto* view = dynamic_cast<osgViewer::View*>(camera.getView()))
        if (const osg::DisplaySettings* ofView = view->getDisplaySettings())
            return ofView;
    return osg::DisplaySettings::instance().get();
}

osgUtil::RenderStage* copyOf(osgUtil::RenderStage& stage)
{
    return dynamic_cast<osgUtil::RenderStage*>(stage.clone(osg::CopyOp::DEEP_COPY_ALL));
}

void separate(osgUtil::SceneView& sceneView, bool stereo)
{
    osgUtil::RenderStage* mono = sceneView.getRenderStage();
    if (stereo && mono) {
        if (!sceneView.getRenderStageLeft())
            sceneView.setRenderStageLeft(copyOf(*mono));
        if (!sceneView.getRenderStageRight())
            sceneView.setRenderStageRight(copyOf(*mono));
    }
    osgUtil::RenderStage* left = sceneView.getRenderStageLeft();
    osgUtil::RenderStage* right = sceneView.getRenderStageRight();
    const osgUtil::PositionalStateContainer* monoList =
        mono ? mono->getPositionalStateContainer() : nullptr;
    if (left && left->getPositionalStateContainer() == monoList)
        left->setPositionalStateContainer(new osgUtil::PositionalStateContainer);
    if (right &&
        (right->getPositionalStateContainer() == monoList ||
         (left && right->getPositionalStateContainer() == left->getPositionalStateContainer())))
        right->setPositionalStateContainer(new osgUtil::PositionalStateContainer);
}

} // namespace

void separateEyeLights(osgViewer::ViewerBase& viewer)
{
    osgViewer::ViewerBase::Cameras cameras;
    viewer.getCameras(cameras);
    for (osg::Camera* camera : cameras) {
        auto* renderer = dynamic_cast<osgViewer::Renderer*>(camera->getRenderer());
        if (!renderer)
            continue;
        const bool stereo = settingsOf(*camera)->getStereo();
        for (unsigned int i = 0; i < 2; ++i)
            if (osgUtil::SceneView* sceneView = renderer->getSceneView(i))
                separate(*sceneView, stereo);
    }
}

} // namespace view
