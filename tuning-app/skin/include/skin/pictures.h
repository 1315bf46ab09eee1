#pragma once
// The window's picture store as the build drew it: pictures 0 to 24.
#include <QImage>

namespace dravik::skin {

inline constexpr int kPictureCount = 25;

// A null image for an index outside 0-24.
QImage Picture(int index);

// The program's icon (32 x 32), drawn and stored after the window's pictures.
inline constexpr int kIconIndex = kPictureCount;
QImage Icon();

}  // namespace dravik::skin
