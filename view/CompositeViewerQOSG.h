#pragma once
// The program's composite viewer: several views in one viewer, drawn into
// the viewer widget (and into full-screen windows or an off-screen buffer).
// It is never run with its own loop: the main window's timer calls frame()
// once per tick, and frame() wraps the scene graph's frame with the
// embedding's preparation and presentation (the GL widget names its
// framebuffer object before and shows the result after). While the
// embedding cannot draw (the GL widget before it is first shown) a frame
// does nothing.
//
// Threading: frame() and everything else on the GUI thread; with a threaded
// model the scene graph culls and draws on its own threads inside frame().

#include <functional>

#include <osgViewer/CompositeViewer>

namespace view {

class ViewerEmbedding;

class CompositeViewerQOSG : public osgViewer::CompositeViewer
{
public:
    explicit CompositeViewerQOSG(ViewerEmbedding* embedding);

    using osgViewer::CompositeViewer::frame;
    void frame(double simulationTime = USE_REFERENCE_TIME) override;

    // Runs at the start of every frame, before the events are handled.
    void setFrameStart(std::function<void()> start) { _frameStart = std::move(start); }
    // The embedding goes before the viewer: frames stop.
    void detachEmbedding() { _embedding = nullptr; }
    // Whether a frame has been drawn (the viewer has realized its windows).
    bool hasRendered() const { return _hasRendered; }

protected:
    ~CompositeViewerQOSG() override;

private:
    ViewerEmbedding* _embedding;
    std::function<void()> _frameStart;
    bool _hasRendered = false;
};

} // namespace view
