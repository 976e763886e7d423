#include "scene/SharedState.h"

#include <algorithm>
#include <cstddef>
#include <mutex>
#include <set>

#include <osg/Geode>
#include <osg/NodeVisitor>
#include <osg/StateSet>

#include "scene/DrawablePurpose.h"

namespace sharedstate {
namespace {

// Orders state sets by contents, attribute values included.
struct ByContents
{
    bool operator()(const osg::ref_ptr<osg::StateSet>& a,
                    const osg::ref_ptr<osg::StateSet>& b) const
    {
        return a->compare(*b, true) < 0;
    }
};

class Pool
{
public:
    // The pooled state set equal to `stateSet`, which joins the pool when
    // there is none.
    osg::StateSet* intern(osg::StateSet* stateSet)
    {
        std::lock_guard<std::mutex> lock(_mutex);
        const auto found = _sets.find(stateSet);
        if (found != _sets.end())
            return found->get();
        if (_sets.size() >= _pruneAt)
            prune();
        _sets.insert(stateSet);
        _members.insert(stateSet);
        return stateSet;
    }

    bool contains(const osg::StateSet* stateSet)
    {
        std::lock_guard<std::mutex> lock(_mutex);
        return _members.count(stateSet) != 0;
    }

private:
    // Drops the sets that only the pool holds; the next pruning waits until
    // the pool has doubled, so that its cost stays in proportion.
    void prune()
    {
        for (auto it = _sets.begin(); it != _sets.end();) {
            if ((*it)->referenceCount() == 1) {
                _members.erase(it->get());
                it = _sets.erase(it);
            } else {
                ++it;
            }
        }
        _pruneAt = std::max<std::size_t>(MIN_PRUNE, 2 * _sets.size());
    }

    static constexpr std::size_t MIN_PRUNE = 256;
    std::mutex _mutex;
    std::set<osg::ref_ptr<osg::StateSet>, ByContents> _sets;
    std::set<const osg::StateSet*> _members;
    std::size_t _pruneAt = MIN_PRUNE;
};

Pool& pool()
{
    static Pool made;
    return made;
}

class Sharer : public osg::NodeVisitor
{
public:
    Sharer() : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN) {}

    using osg::NodeVisitor::apply;
    void apply(osg::Geode& geode) override
    {
        osg::StateSet* stateSet = geode.getStateSet();
        if (stateSet && !pool().contains(stateSet))
            geode.setStateSet(pool().intern(stateSet));
    }
};

} // namespace

osg::StateSet* normalizing()
{
    static osg::ref_ptr<osg::StateSet> made = [] {
        osg::ref_ptr<osg::StateSet> stateSet = new osg::StateSet;
        stateSet->setMode(GL_NORMALIZE, osg::StateAttribute::ON);
        return osg::ref_ptr<osg::StateSet>(pool().intern(stateSet.get()));
    }();
    return made.get();
}

bool isPooled(const osg::StateSet* stateSet)
{
    return stateSet && pool().contains(stateSet);
}

osg::StateSet& ownStateSet(osg::Node& node)
{
    osg::StateSet* stateSet = node.getStateSet();
    if (!stateSet)
        return *node.getOrCreateStateSet();
    if (!pool().contains(stateSet))
        return *stateSet;
    osg::ref_ptr<osg::StateSet> copy = osg::clone(stateSet, osg::CopyOp::DEEP_COPY_STATEATTRIBUTES);
    node.setStateSet(copy.get());
    return *copy;
}

osg::Drawable& ownDrawable(osg::Geode& geode, unsigned index)
{
    osg::Drawable* drawable = geode.getDrawable(index);
    if (!DrawablePurpose::has(*drawable, DrawablePurpose::SHARED))
        return *drawable;
    osg::ref_ptr<osg::Drawable> copy = osg::clone(drawable, osg::CopyOp::DEEP_COPY_ALL);
    // The tag is user data the copy would share with the original.
    const DrawablePurpose* tag = DrawablePurpose::of(*drawable);
    copy->setUserData(new DrawablePurpose(tag->flags() & ~DrawablePurpose::SHARED));
    geode.setDrawable(index, copy.get());
    return *copy;
}

bool hasSharedDrawable(const osg::Geode& geode)
{
    for (unsigned i = 0; i < geode.getNumDrawables(); ++i) {
        if (DrawablePurpose::has(*geode.getDrawable(i), DrawablePurpose::SHARED))
            return true;
    }
    return false;
}

void share(osg::Node& node)
{
    Sharer sharer;
    node.accept(sharer);
}

} // namespace sharedstate
