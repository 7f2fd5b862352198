#pragma once

// The one table of skin pictures and window geometry.  The windows read their backgrounds,
// control places and strips from here, and the art generator paints every picture from it,
// so sizes and places cannot drift apart.

#include <QRect>
#include <QRgb>
#include <QSize>
#include <array>
#include <span>

namespace qelvo {

// One numbered skin picture: its size and how many equal-width frames it holds side by
// side (1 = fixed picture, 2 = off/on, 3 = normal/pressed/hover; 0 = background).
struct SkinBitmapSpec {
    int id;
    int width;
    int height;
    int frames;
    const char* use;
};

// Every picture the program ships, backgrounds first.
std::span<const SkinBitmapSpec> skinBitmapSpecs();
// nullptr for an id that is not shipped.
const SkinBitmapSpec* findSkinBitmapSpec(int id);

// A skinned button: strip and frame count for LoadSkin, then its place in the window.
struct SkinnedControl {
    int controlId;
    int bitmapId;
    int frames;
    QRect rect;
    const char* caption;
};

// A control without a strip (panel, list, thumbnail, plain button): id, place, caption.
struct PlacedControl {
    int controlId;
    QRect rect;
    const char* caption;
};

// One window (or one layout of a window): background picture, window size and controls.
struct WindowSkin {
    const char* name;
    int backgroundId;  // 0: no background picture
    QSize size;        // window size; also the background's source size
    std::span<const SkinnedControl> skinned;
    std::span<const PlacedControl> placed;
    std::span<const PlacedControl> panes;  // multi-view: the panes visible in this layout
};

// Launcher: 1024 x 768 at (0, 0), background 129.
const WindowSkin& launcherSkin();

// Image management window, standard variant (background 221) and HD variant (212, plain
// buttons only, so `skinned` is empty and the buttons are in `placed`).
const WindowSkin& imageManagementSkin();
const WindowSkin& imageManagementHdSkin();
// Tab strip picture for a mode (0 capture, 1 image, 2 movie); 0 for any other mode.
int imageManagementTabBitmap(int mode);
// Where the standard window shows the folder list once the settings file has been read.
inline constexpr QRect kImageManagementFolderListShown{20, 575, 660, 70};

// Multi-view window, standard variant, for a layout (1 FULL, 2 DUAL, 4 QUAD): background
// 130/131/132, the skinned buttons and, in `panes`, the view panes visible in that layout.
// Any other layout value answers the FULL layout.
const WindowSkin& multiViewSkin(int layout);
// HD variant: background 213 for every layout, plain buttons in `placed`, panes in `panes`.
const WindowSkin& multiViewHdSkin(int layout);
// Pen button picture while pen mode is off / on.
inline constexpr int kPenOffBitmap = 207;
inline constexpr int kPenOnBitmap = 208;

// The pen colour strip painted into the multi-view backgrounds: columns of kPenSwatchWidth
// pixels from the strip's left edge; presses in the strip beyond the last column pick nothing.
inline constexpr QRect kPenSwatchStrip{845, 82, 95, 33};  // right and bottom edges excluded
inline constexpr int kPenSwatchWidth = 15;
inline constexpr std::array<QRgb, 6> kPenSwatchColours{0xffffffff, 0xfffcec7d, 0xffff0000,
                                                       0xff00ff00, 0xff0000ff, 0xff000000};

}  // namespace qelvo
