#pragma once

#include <span>
#include <string_view>

namespace varnel {

// The main window Form1 as data: every control with its place and size in
// twips (relative to its container), initial text, font, tab index, word wrap
// and tool tip. The window is built from this table and tests check the
// built window against it.

enum class ControlKind { Label, TextBox, Button, Frame, Picture };

// The font a control is given.
struct FontChoice {
    std::string_view family; // empty: no font of its own (the picture)
    double points;
};

// One row of the control table.
struct ControlRow {
    std::string_view name;
    ControlKind kind;
    std::string_view container;   // empty: the window itself
    int left, top, width, height; // twips
    std::string_view text;
    FontChoice font;
    int tabIndex;               // -1: none
    bool wordWrap = false;      // labels: wrap the text within the box
    std::string_view toolTip{}; // empty: none
};

inline constexpr std::string_view formCaption = "Varnel";
inline constexpr int formClientWidthTwips = 2055;
inline constexpr int formClientHeightTwips = 4440;
inline constexpr std::string_view songTi = "宋体";
inline constexpr std::string_view arial = "Arial";
inline constexpr std::string_view rippleToolTip = "纹波缺省值为0.01时，回波为-26.3dB";

// In table order; the order in which controls are created.
std::span<const ControlRow> formControls();

// Pixel size for a font given in points at 96 dpi (9 pt -> 12 px).
constexpr int fontPixels(double points) {
    return static_cast<int>(points * 96.0 / 72.0 + 0.5);
}

} // namespace varnel
