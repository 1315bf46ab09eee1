#include "skin/pictures.h"

#include <QString>

namespace dravik::skin {

namespace {
QImage Stored(int index) {
    return QImage(QString(":/skin/image_%1.png").arg(index, 2, 10, QChar('0')));
}
}  // namespace

QImage Picture(int index) {
    if (index < 0 || index >= kPictureCount) return QImage();
    return Stored(index);
}

QImage Icon() { return Stored(kIconIndex); }

}  // namespace dravik::skin
