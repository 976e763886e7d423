#pragma once
// State and geometry that many scene objects draw with, and the rules for
// changing it. Thousands of objects that look alike cost far less to cull
// and draw when they point at one state set and one drawable than when each
// carries copies: the renderer then sorts them into one group and applies
// the state once for all of them.
//
// Sharing is copy-on-write. A drawable tagged DrawablePurpose::SHARED and a
// state set taken into the pool are never changed in place: whoever changes
// the appearance of one object first takes that object's own copy
// (ownDrawable, ownStateSet), so the change can never reach another object.
// After changing, share() hands the geodes' state sets back to the pool,
// where an equal one replaces them.
//
// Threading: any thread; the pool is locked. The objects' nodes themselves
// belong to the GUI thread as always.

#include <osg/ref_ptr>

namespace osg {
class Drawable;
class Geode;
class Node;
class StateSet;
} // namespace osg

namespace sharedstate {

// The state set of every 3D object's group: GL_NORMALIZE on, so that
// scaled geometry stays lit correctly. One set for all, in the pool.
osg::StateSet* normalizing();

// Whether the state set is in the pool (and so possibly drawn by others).
bool isPooled(const osg::StateSet* stateSet);

// The node's state set, made its own first: a pooled one is replaced by a
// copy with copies of its attributes; a node without one gets a new one.
osg::StateSet& ownStateSet(osg::Node& node);

// Drawable `index` of the geode, made the geode's own first: a shared one is
// replaced by a deep copy (arrays included) that is no longer tagged shared.
osg::Drawable& ownDrawable(osg::Geode& geode, unsigned index);

// Whether any drawable of the geode is tagged shared.
bool hasSharedDrawable(const osg::Geode& geode);

// Replaces the state set of every geode below the node by the pooled one of
// equal contents, taking it into the pool when there is none yet.
void share(osg::Node& node);

} // namespace sharedstate
