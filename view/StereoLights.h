#pragma once
// Lights placed in the world for both eyes of a stereo picture.
//
// A scene view draws each eye into a render stage of its own, made the
// first time it draws in stereo as a copy of its mono stage. The copy
// shares the mono stage's list of positioned state (the lights with the
// matrices that place them), so the eye culled last leaves its placements
// in the list both eyes draw with: the other eye lights the scene from
// lights shifted by the distance between the eyes. A spot light's patch then
// lands far apart in the two pictures while the lit objects barely move.
//
// separateEyeLights() gives every eye stage a list of its own. It makes
// the eye stages itself (as the scene view would) for the cameras that draw
// in stereo, so that the first stereo frame is right too.
//
// Threading: GUI thread, between frames (no cull or draw running).

namespace osgViewer {
class ViewerBase;
}

namespace view {

// Makes the eye stages of every camera of the viewer that draws in stereo,
// and gives each eye stage its own list of positioned state.
void separateEyeLights(osgViewer::ViewerBase& viewer);

} // namespace view
