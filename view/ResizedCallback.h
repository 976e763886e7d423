#pragma once
// Keeps the views of a graphics window in shape when the window changes size:
// the window's own resize adjusts its traits and every camera on it (such as
// the console's), then every view whose camera draws there recomputes its
// viewport and projection from its fractions. The views come last: the
// window's own resize scales every viewport by the change of size, which
// would otherwise scale the views' fresh viewports a second time.
//
// Threading: runs where the window is resized (the GUI thread).

#include <osg/GraphicsContext>

namespace view {

class ResizedCallback : public osg::GraphicsContext::ResizedCallback
{
public:
    void resizedImplementation(osg::GraphicsContext* context, int x, int y, int width,
                               int height) override;

protected:
    ~ResizedCallback() override = default;
};

} // namespace view
