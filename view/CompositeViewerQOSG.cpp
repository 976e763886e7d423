#include "view/CompositeViewerQOSG.h"

#include "view/ViewerEmbedding.h"

namespace view {

CompositeViewerQOSG::CompositeViewerQOSG(ViewerEmbedding* embedding) : _embedding(embedding)
{
    setThreadingModel(SingleThreaded);
}

CompositeViewerQOSG::~CompositeViewerQOSG() = default;

void CompositeViewerQOSG::frame(double simulationTime)
{
    if (!_embedding || !_embedding->readyToRender())
        return;
    _embedding->beginFrame();
    if (_frameStart)
        _frameStart();
    osgViewer::CompositeViewer::frame(simulationTime);
    _hasRendered = true;
    _embedding->endFrame();
}

} // namespace view
