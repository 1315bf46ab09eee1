#include "forms/app.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

#include "internal.h"

namespace forms {

void DoEvents() {
    if (QCoreApplication::instance() == nullptr) return;
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void End() {
    if (testing::RecordedEnds* record = ActiveEndRecord(); record != nullptr) {
        record->Record();
        return;
    }
    // No destructor, unload or pending event may run any more: leave the process as it is.
    std::fflush(nullptr);
    std::_Exit(0);
}

}  // namespace forms
