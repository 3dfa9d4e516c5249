#include "calculator_window/form_layout.h"

#include <array>

namespace varnel {

namespace {

using K = ControlKind;
constexpr FontChoice song9{songTi, 9};
constexpr FontChoice song975{songTi, 9.75};
constexpr FontChoice arial825{arial, 8.25};
constexpr FontChoice noFont{"", 0};

// Label6: our credit text, wrapped within its box.
constexpr std::string_view credit = "腔体滤波器调试用 Varnel 开发组";

constexpr std::array controls = {
    // name kind container left top width height text font tab [wrap [tool tip]]
    ControlRow{"Label4", K::Label, "", 120, 30, 1335, 255, "切比契夫变换", song975, 7},
    ControlRow{"Label1", K::Label, "", 120, 360, 615, 255, "腔  数", song9, 1},
    ControlRow{"Label2", K::Label, "", 120, 720, 2415, 255, "带  宽           MHz ", song9, 3},
    ControlRow{"Label3", K::Label, "", 120, 1080, 1815, 255, "纹  波           dB", song9, 6},
    ControlRow{"Label6", K::Label, "", 480, 3000, 1815, 615, credit, song9, 8, true},
    ControlRow{"Label7", K::Label, "", 480, 3600, 1215, 255, "Version:1.0", song9, 13},
    ControlRow{"Image1", K::Picture, "", 720, 3840, 540, 540, "", noFont, -1},
    ControlRow{"Text1", K::TextBox, "", 840, 360, 735, 270, "   5", song9, 2},
    ControlRow{"Text2", K::TextBox, "", 840, 720, 735, 270, "   10", song9, 4},
    ControlRow{"Text3", K::TextBox, "", 840, 1080, 735, 270, "  0.01", song9, 5, false,
               rippleToolTip},
    ControlRow{"Frame1", K::Frame, "", 120, 1440, 1815, 975, "Varnel", arial825, 10},
    ControlRow{"Text4", K::TextBox, "Frame1", 450, 360, 735, 315, "", arial825, 11},
    ControlRow{"Label5", K::Label, "Frame1", 1320, 375, 255, 255, "ns", arial825, 12},
    ControlRow{"Command1", K::Button, "", 240, 2520, 735, 375, "计 算", arial825, 0},
    ControlRow{"Command2", K::Button, "", 1080, 2520, 735, 375, "退 出", arial825, 9},
};

} // namespace

std::span<const ControlRow> formControls() {
    return controls;
}

} // namespace varnel
