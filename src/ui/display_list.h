// The window as a list of things to draw, independent of any operating system: both
// views paint the same list (GDI into a memory bitmap, or an SVG snapshot).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/control_table.h"
#include "ui/window_model.h"

namespace wnd {

struct Colour {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    bool operator==(const Colour&) const = default;
};

namespace colour {
inline constexpr Colour kRed{255, 0, 0};
inline constexpr Colour kLightBlue{153, 204, 255};
inline constexpr Colour kBlack{0, 0, 0};
inline constexpr Colour kLimeGreen{50, 205, 50};
inline constexpr Colour kYellow{255, 255, 0};
inline constexpr Colour kWhite{255, 255, 255};
inline constexpr Colour kGrey{160, 160, 160};
}  // namespace colour

enum class Font { Normal, Header, Small };

// What an item is, for the views that treat some kinds apart (and for tests).
enum class ItemRole { Area, Lamp, Label, Header, Status, Parking, Control, Other };

struct DisplayItem {
    enum class Kind { FillRect, Line, Text, Control } kind = Kind::FillRect;
    ItemRole role = ItemRole::Other;
    int x = 0;  // left; a line's start
    int y = 0;  // top
    int right = 0;
    int bottom = 0;  // a line's end is (right, bottom)
    Colour colour;   // fill, pen or text colour
    std::string text;
    Font font = Font::Normal;
    std::string name;  // a lamp's or control's name
    const ControlSpec* control = nullptr;
    ControlState state;  // controls: their state when painted
};

using DisplayList = std::vector<DisplayItem>;

// The status line.
inline constexpr int kStatusTop = 448;
inline constexpr int kStatusBottom = 477;

// Paints the window from the model, the status board and the settings.
DisplayList gf_paintWindow(const WindowModel& model);

}  // namespace wnd
