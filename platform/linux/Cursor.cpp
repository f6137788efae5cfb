// The wait cursor on Linux: Qt's application-wide override cursor.
#include "platform/linux/QtServices.h"

#include <QCoreApplication>
#include <QCursor>
#include <QEventLoop>
#include <QGuiApplication>

namespace orvane {
void CQtCursor::BeginWait() {
    if (depth_++ > 0) return;
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    // The work that follows blocks the event loop, and the cursor only changes on screen once
    // the window system has been told: let pending paints and that request out first. Input
    // waits, so no handler runs in between.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void CQtCursor::EndWait() {
    if (depth_ == 0) return;
    if (--depth_ == 0) QGuiApplication::restoreOverrideCursor();
}

}  // namespace orvane
