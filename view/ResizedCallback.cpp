#include "view/ResizedCallback.h"

#include <vector>

#include <osg/Camera>
#include <osg/View>

#include "view/VisViewObject.h"

namespace view {

void ResizedCallback::resizedImplementation(osg::GraphicsContext* context, int x, int y, int width,
                                            int height)
{
    context->resizedImplementation(x, y, width, height);
    // A view's slave cameras (the console's) also name the view; only its
    // own camera makes it resize.
    std::vector<VisViewObject*> views;
    for (osg::Camera* camera : context->getCameras()) {
        osg::View* owner = camera->getView();
        VisViewObject* view = VisViewObject::fromView(owner);
        if (view && owner->getCamera() == camera)
            views.push_back(view);
    }
    for (VisViewObject* view : views)
        view->resize(width, height);
}

} // namespace view
