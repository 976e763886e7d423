#pragma once
// The program's user messages: modal warning boxes over the main window.
// Objects report inside the frame's update traversal; a box opened there
// would run further frames in its own event loop and re-enter the object
// manager's lock, so each box is queued to open after the frame.
//
// Threading: GUI thread only.

#include <QPointer>
#include <QWidget>

#include "scene/ObjectServices.h"

class MessageBoxes : public UserMessages
{
public:
    explicit MessageBoxes(QWidget* parent) : _parent(parent) {}
    void showMessage(const std::string& caption, const std::string& text) override;

private:
    QPointer<QWidget> _parent;
};
