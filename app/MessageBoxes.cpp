#include "app/MessageBoxes.h"

#include <QMessageBox>
#include <QMetaObject>

void MessageBoxes::showMessage(const std::string& caption, const std::string& text)
{
    if (!_parent)
        return;
    QMetaObject::invokeMethod(
        _parent.data(),
        [parent = _parent, c = QString::fromStdString(caption), t = QString::fromStdString(text)] {
            if (parent)
                QMessageBox::warning(parent.data(), c, t, QMessageBox::Ok);
        },
        Qt::QueuedConnection);
}
