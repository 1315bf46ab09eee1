#include "forms/app.h"

#include <QCoreApplication>

namespace forms {

void DoEvents() {
    if (QCoreApplication::instance() == nullptr) return;
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace forms
