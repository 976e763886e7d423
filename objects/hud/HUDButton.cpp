#include "objects/hud/HUDButton.h"

#include "gnp2/Packet.h"
#include "scene/TransparencyVisitor.h"
#include "scene/VisObject.h"

HUDButton::HUDButton(float width, float height, bool visible, VisObject* owner)
    : _face(new SimpleFace(GL_POLYGON, osg::Array::BIND_OVERALL)), _owner(owner)
{
    const float w = width / 2.f, h = height / 2.f;
    const osg::Vec3 normal(0.f, 0.f, 1.f);
    const osg::Vec4 colour = colourFor(visible);
    _face->addVertex(osg::Vec3(-w, h, 0.f), normal, colour);
    _face->addVertex(osg::Vec3(w, h, 0.f), normal, colour);
    _face->addVertex(osg::Vec3(w, -h, 0.f), normal, colour);
    _face->addVertex(osg::Vec3(-w, -h, 0.f), normal, colour);
    _face->getOrCreateStateSet()->setMode(GL_LIGHTING, osg::StateAttribute::OFF);

    TransparencyVisitor transparency;
    transparency.setWholeNode(true);
    _face->accept(transparency);
    addChild(_face.get());
}

HUDButton::~HUDButton() = default;

osg::Vec4 HUDButton::colourFor(bool visible)
{
    return {0.f, 1.f, 0.f, visible ? 0.5f : 0.f};
}

void HUDButton::sendEvent(int code, float x, float y)
{
    osg::ref_ptr<VisObject> owner;
    if (!_owner.lock(owner))
        return;
    auto* packet = new GNP2::Packet;
    packet->setFloatVector(item::reply::button_event::Pointer, {x, y});
    packet->setIntVector(item::reply::button_event::Event, {code});
    owner->sendPacket(packet);
}
