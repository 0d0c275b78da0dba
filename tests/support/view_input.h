// A mouse event sent to the course view's browser input, at a point of the view, as a teacher's
// hand would make it: for the pen tests and the lecture programs.
#pragma once

#include <QCoreApplication>
#include <QMouseEvent>

#include "platform/browser/browser_control.h"
#include "view/mirova_view.h"

namespace tovra::testing_support {

inline void SendMouse(CMirovaView* view, QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
    QWidget* input = view->Browser().InputWidget();
    if (!input) return;
    const QPoint local = input->mapFrom(view, at);
    QMouseEvent event(type, QPointF(local), QPointF(input->mapToGlobal(local)),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(input, &event);
}

}  // namespace tovra::testing_support
