#pragma once

#include <array>
#include <functional>
#include <string>

class QWidget;

namespace qelvo {

// The five picture tools of the image management window that open the image adjustment
// dialog, with the dialog's kind, title, value range and initial value.
struct AdjustmentTool {
    int controlId;
    int kind;
    const char* title;
    int minimum;
    int maximum;
    int initialValue;
};

inline constexpr std::array<AdjustmentTool, 5> kAdjustmentTools{{
    {1171, 1, "Brightness @ Image Function", -255, 255, 0},
    {1172, 2, "Contrast @ Image Function", -100, 100, 0},
    {1173, 3, "Hue @ Image Function", -180, 180, 0},
    {1174, 4, "Saturation @ Image Function", -100, 100, 0},
    {1175, 5, "Histogram @ Image Function", -500, 500, 0},
}};

// Runs the tool's dialog modally over `window` on the picture at `path`.
void runAdjustmentTool(const AdjustmentTool& tool, const std::string& path, QWidget* window);

// Binds the five buttons of `window` (found by their control ids). A press opens the tool's
// dialog on the picture `currentPicture` names, and does nothing when it names none (the
// window names none outside image mode). The window is not redrawn afterwards; only
// `uncovered` runs once the dialog has closed, for what lay under it to paint itself afresh
// (a window surface would be repainted there).
void bindAdjustmentTools(QWidget* window, std::function<std::string()> currentPicture,
                         std::function<void()> uncovered = {});

}  // namespace qelvo
