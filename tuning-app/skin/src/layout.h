#pragma once
// The design layout as the picture generator draws it: strips behind printed text and the
// panel around each channel row.
#include <QRectF>
#include <array>

#include "skin/design.h"

namespace dravik::skin {

inline QRectF ToRect(const Box& box) { return QRectF(box.left, box.top, box.width, box.height); }

// From the "Box Code: " anchor to the window's right edge: long identifications stay on it.
inline const QRectF kBoxCodeStrip(kImage1.left - 4, 5, kClientWidth - kImage1.left, 26);
inline const QRectF kStatusStrip = ToRect(kLblStatus);

struct RowPlan {
    QRectF panel;
    QRectF title;
    QRectF value;
    QRectF track;
};

inline std::array<RowPlan, kRows> MakeRows() {
    std::array<RowPlan, kRows> rows{};
    for (int r = 0; r < kRows; ++r) {
        const RowDesign& d = kRowDesign[static_cast<std::size_t>(r)];
        const int left = (r < 3 ? 282 : 525) - 8;
        const int top = d.title.top - 9;
        const int bottom = d.minus.Bottom() + 8;
        rows[static_cast<std::size_t>(r)] =
            RowPlan{QRectF(left, top, 229, bottom - top), ToRect(d.title), ToRect(d.value),
                    ToRect(d.track)};
    }
    return rows;
}

inline const std::array<RowPlan, kRows> kRowPlans = MakeRows();

}  // namespace dravik::skin
