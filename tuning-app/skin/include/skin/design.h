#pragma once
// The main window's design layout in pixels of its 800 x 600 client area: where each control
// sits before the program moves anything. The pictures are drawn to fit it.
#include <array>

namespace dravik::skin {

struct Box {
    int left;
    int top;
    int width;
    int height;
    constexpr int Right() const { return left + width; }
    constexpr int Bottom() const { return top + height; }
};

inline constexpr int kClientWidth = 800;
inline constexpr int kClientHeight = 600;
inline constexpr int kRows = 6;

inline constexpr Box kImage1{400, 7, 271, 20};
inline constexpr Box kBtnSet{53, 57, 93, 42};
inline constexpr Box kBtnConnect{223, 59, 131, 68};
inline constexpr Box kBtnDisconnect{222, 57, 133, 70};
inline constexpr Box kBtnLoad{53, 249, 93, 42};
inline constexpr Box kBtnSave{51, 302, 95, 43};
inline constexpr Box kBtnAdvancedFuel{86, 428, 151, 81};
inline constexpr Box kBtnBaseWindow{86, 427, 152, 83};
inline constexpr Box kLblStatus{359, 134, 346, 18};

struct RowDesign {
    Box title;
    Box test;
    Box value;
    Box minus;
    Box track;
    Box thumb;
    Box plus;
};

inline constexpr std::array<RowDesign, kRows> kRowDesign{{
    {{287, 239, 208, 16},
     {282, 261, 69, 21},
     {397, 265, 75, 17},
     {288, 295, 25, 25},
     {319, 300, 136, 16},
     {380, 297, 18, 23},
     {465, 295, 25, 25}},
    {{286, 347, 208, 16},
     {282, 370, 69, 21},
     {397, 374, 75, 17},
     {288, 404, 25, 25},
     {319, 409, 136, 16},
     {380, 406, 18, 23},
     {465, 404, 25, 25}},
    {{286, 455, 208, 16},
     {283, 478, 69, 21},
     {398, 482, 74, 17},
     {289, 512, 25, 25},
     {320, 517, 136, 16},
     {381, 514, 18, 23},
     {463, 512, 25, 25}},
    {{530, 238, 208, 16},
     {525, 260, 69, 21},
     {640, 264, 75, 17},
     {531, 294, 25, 25},
     {562, 299, 136, 16},
     {623, 296, 18, 23},
     {705, 294, 25, 25}},
    {{530, 348, 208, 16},
     {525, 370, 69, 21},
     {640, 374, 74, 17},
     {531, 404, 25, 25},
     {562, 409, 136, 16},
     {623, 406, 18, 23},
     {705, 404, 25, 25}},
    {{529, 455, 208, 16},
     {525, 478, 69, 21},
     {640, 482, 74, 17},
     {531, 512, 25, 25},
     {562, 517, 136, 16},
     {623, 514, 18, 23},
     {705, 512, 25, 25}},
}};

// Colours the window and its pictures share (0x00BBGGRR): the value and status strips.
inline constexpr unsigned kValueBack = 0x0A0807;
inline constexpr unsigned kValueInk = 0x2C9EFF;
inline constexpr unsigned kStatusBack = 0x0A0807;

// The menu bar, menus, message boxes and tooltips in the colours of the panels.
inline constexpr unsigned kChromeBack = 0x26201C;
inline constexpr unsigned kChromeRaised = 0x3E362F;
inline constexpr unsigned kChromeText = 0xEEEAE8;
inline constexpr unsigned kChromeDimText = 0x92857C;
inline constexpr unsigned kChromeAccent = 0x2C9EFF;
inline constexpr unsigned kChromeAccentText = 0x100D0B;

// Where the "Box Code: " line must end: the right end of its strip, less a margin.
inline constexpr int kBoxCodeRight = kClientWidth - 8;

}  // namespace dravik::skin
