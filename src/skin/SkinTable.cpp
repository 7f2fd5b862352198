#include "skin/SkinTable.h"

#include <algorithm>

namespace qelvo {
namespace {

constexpr SkinBitmapSpec kBitmaps[] = {
    {129, 1024, 768, 0, "launcher background"},
    {130, 1024, 768, 0, "multi-view background, FULL layout"},
    {131, 1024, 768, 0, "multi-view background, DUAL layout"},
    {132, 1024, 768, 0, "multi-view background, QUAD layout"},
    {212, 1200, 768, 0, "image management background, HD"},
    {213, 1200, 590, 0, "multi-view background, HD"},
    {221, 1024, 768, 0, "image management background"},
    {138, 300, 101, 3, "IMAGE VIEW"},
    {139, 309, 103, 3, "IMAGE MANAGEMENT"},
    {140, 300, 100, 3, "exit"},
    {141, 404, 44, 1, "mode tabs, capture"},
    {142, 404, 44, 1, "mode tabs, image"},
    {143, 404, 44, 1, "mode tabs, movie"},
    {144, 29, 27, 1, "close"},
    {145, 29, 28, 1, "minimise"},
    {146, 147, 34, 3, "CONFIG"},
    {147, 147, 34, 3, "SNAP / SAVE / Save Jpg"},
    {148, 74, 29, 1, "RECORD"},
    {149, 74, 29, 1, "STOP"},
    {150, 75, 30, 1, "OPEN"},
    {151, 74, 33, 1, "PLAY"},
    {152, 438, 44, 3, "FULL"},
    {153, 438, 44, 3, "DUAL"},
    {154, 438, 44, 3, "QUAD"},
    {155, 147, 34, 3, "SNAP/FREEZE"},
    {156, 147, 34, 3, "CAPTURE 2"},
    {157, 147, 34, 3, "CAPTURE 3"},
    {158, 147, 34, 3, "CAPTURE 4"},
    {159, 147, 34, 3, "FULL SCREEN"},
    {160, 45, 46, 1, "PRINT"},
    {161, 88, 28, 1, "FILE RENAME"},
    {162, 90, 30, 1, "FOLDER OPTION"},
    {163, 49, 23, 2, "ALARM"},
    {171, 105, 35, 3, "brightness"},
    {172, 105, 35, 3, "contrast"},
    {173, 105, 35, 3, "hue"},
    {174, 105, 35, 3, "saturation"},
    {175, 105, 35, 3, "histogram"},
    {176, 105, 35, 3, "equalise"},
    {177, 105, 35, 3, "loupe"},
    {178, 105, 35, 3, "fit"},
    {179, 105, 35, 3, "zoom out"},
    {180, 105, 35, 3, "zoom in"},
    {181, 105, 35, 3, "rotate 90"},
    {182, 105, 35, 3, "rotate 180"},
    {183, 105, 35, 3, "flip vertical"},
    {184, 105, 35, 3, "mirror horizontal"},
    {205, 42, 44, 1, "clear"},
    {207, 43, 44, 1, "pen off"},
    {208, 43, 44, 1, "pen on"},
    {209, 43, 43, 1, "erase"},
};

// ---- launcher ----
constexpr SkinnedControl kLauncherSkinned[] = {
    {1001, 138, 3, {752, 353, 100, 101}, "IMAGE VIEW"},
    {1000, 139, 3, {675, 455, 100, 101}, "IMAGE MANAGEMENT"},
    {2, 140, 3, {578, 550, 100, 101}, "X"},
};
constexpr PlacedControl kLauncherPlaced[] = {
    {1036, {50, 530, 300, 60}, "VIDEO DEVICE"},
};
const WindowSkin kLauncher{"launcher", 129, {1024, 768}, kLauncherSkinned, kLauncherPlaced, {}};

// ---- image management, standard ----
constexpr int toolX(int k) {
    return 703 + 35 * k;
}
constexpr SkinnedControl kManageSkinned[] = {
    {1019, 141, 1, {21, 8, 404, 44}, "CAPTURE"},
    {2, 144, 1, {978, 12, 29, 27}, "X"},
    {1003, 145, 1, {947, 12, 29, 28}, "_"},
    {1024, 148, 1, {700, 530, 74, 29}, "RECORD"},
    {1022, 149, 1, {780, 530, 74, 29}, "STOP"},
    {1023, 147, 3, {866, 530, 49, 34}, "SNAP"},
    {1011, 159, 3, {916, 530, 49, 34}, "FULL SCREEN"},
    {1025, 146, 3, {966, 530, 49, 34}, "CONFIG"},
    {1029, 150, 1, {720, 500, 75, 30}, "OPEN"},
    {1030, 151, 1, {720, 530, 74, 33}, "PLAY"},
    {1031, 149, 1, {800, 531, 74, 29}, "STOP"},
    {1034, 161, 1, {800, 571, 88, 28}, "FILE RENAME"},
    {1035, 162, 1, {700, 569, 90, 30}, "FOLDER OPTION"},
    {1171, 171, 3, {toolX(0), 135, 35, 35}, "BRIGHTNESS"},
    {1172, 172, 3, {toolX(1), 135, 35, 35}, "CONTRAST"},
    {1173, 173, 3, {toolX(2), 135, 35, 35}, "HUE"},
    {1174, 174, 3, {toolX(3), 135, 35, 35}, "SATURATION"},
    {1175, 175, 3, {toolX(4), 135, 35, 35}, "HISTOGRAM"},
    {1176, 176, 3, {toolX(5), 135, 35, 35}, "EQUALIZE"},
    {1177, 177, 3, {toolX(0), 185, 35, 35}, "LOUPE"},
    {1178, 178, 3, {toolX(1), 185, 35, 35}, "FIT"},
    {1179, 179, 3, {toolX(2), 185, 35, 35}, "ZOOM OUT"},
    {1180, 180, 3, {toolX(3), 185, 35, 35}, "ZOOM IN"},
    {1181, 181, 3, {toolX(4), 185, 35, 35}, "ROTATE 90"},
    {1182, 182, 3, {toolX(5), 185, 35, 35}, "ROTATE 180"},
    {1183, 183, 3, {toolX(6), 185, 35, 35}, "FLIP"},
    {1184, 184, 3, {toolX(7), 185, 35, 35}, "MIRROR"},
};
constexpr PlacedControl kManagePlaced[] = {
    {1037, {30, 60, 640, 480}, "VIEW PANEL"},
    {1038, {30, 60, 640, 480}, "JPEG VIEW PANEL"},
    {1039, {30, 60, 640, 480}, "AVI VIEW PANEL"},
    {1050, {670, 60, 15, 480}, "vertical pan bar"},
    {1051, {30, 540, 640, 15}, "horizontal pan bar"},
    {1036, {20, 570, 350, 60}, "FOLDER LIST"},
    {1040, {80, 625, 100, 100}, "CLIP #1"},
    {1041, {190, 625, 100, 100}, "CLIP #2"},
    {1042, {300, 625, 100, 100}, "CLIP #3"},
    {1043, {410, 625, 100, 100}, "CLIP #4"},
    {1044, {520, 625, 100, 100}, "CLIP #5"},
    {1045, {630, 625, 100, 100}, "CLIP #6"},
    {1046, {740, 625, 100, 100}, "CLIP #7"},
    {1047, {850, 625, 100, 100}, "CLIP #8"},
    {1100, {33, 730, 961, 19}, "strip bar"},
};
const WindowSkin kManage{"image management", 221, {1024, 768}, kManageSkinned, kManagePlaced, {}};

// ---- image management, HD ----
constexpr PlacedControl kManageHdPlaced[] = {
    {1003, {1130, 10, 22, 22}, "_"},
    {2, {1160, 10, 22, 22}, "X"},
    {1019, {10, 10, 200, 25}, "CAPTURE"},
    {1020, {220, 10, 200, 25}, "IMAGE"},
    {1021, {430, 10, 200, 25}, "MOVIE"},
    {1024, {1020, 100, 170, 25}, "RECORD"},
    {1022, {1020, 130, 170, 25}, "STOP"},
    {1023, {1020, 160, 170, 25}, "SNAP"},
    {1029, {1020, 200, 170, 25}, "OPEN"},
    {1030, {1020, 230, 170, 25}, "PLAY"},
    {1031, {1020, 260, 170, 25}, "STOP"},
    {1011, {1020, 300, 170, 25}, "FULL SCREEN"},
    {1025, {1020, 330, 170, 25}, "CONFIG"},
    {1034, {1020, 400, 170, 25}, "FILE RENAME"},
    {1035, {1020, 430, 170, 25}, "FOLDER OPTION"},
    {1037, {10, 40, 1000, 562}, "VIEW PANEL"},
    {1038, {10, 40, 1000, 562}, "JPEG VIEW PANEL"},
    {1039, {10, 40, 1000, 562}, "AVI VIEW PANEL"},
    {1036, {40, 608, 1115, 50}, "FOLDER LIST"},
    {1040, {40, 632, 130, 100}, "CLIP #1"},
    {1041, {180, 632, 130, 100}, "CLIP #2"},
    {1042, {320, 632, 130, 100}, "CLIP #3"},
    {1043, {460, 632, 130, 100}, "CLIP #4"},
    {1044, {600, 632, 130, 100}, "CLIP #5"},
    {1045, {740, 632, 130, 100}, "CLIP #6"},
    {1046, {880, 632, 130, 100}, "CLIP #7"},
    {1047, {1020, 632, 130, 100}, "CLIP #8"},
    {1100, {40, 738, 1115, 20}, "strip bar"},
};
const WindowSkin kManageHd{"image management HD", 212, {1200, 768}, {}, kManageHdPlaced, {}};

// ---- multi-view, standard ----
constexpr SkinnedControl kMultiSkinned[] = {
    {2, 144, 1, {974, 5, 29, 27}, "X"},
    {1003, 145, 1, {936, 5, 29, 28}, "_"},
    {1004, 152, 3, {845, 502, 146, 44}, "FULL"},
    {1005, 153, 3, {845, 551, 146, 44}, "DUAL"},
    {1006, 154, 3, {845, 599, 146, 44}, "QUAD"},
    {1007, 155, 3, {845, 400, 49, 34}, "SNAP/FREEZE"},
    {1008, 156, 3, {895, 400, 49, 34}, "CAPTURE 2"},
    {1009, 157, 3, {845, 435, 49, 34}, "CAPTURE 3"},
    {1010, 158, 3, {895, 435, 49, 34}, "CAPTURE 4"},
    {1013, 146, 3, {845, 300, 49, 34}, "CONFIG"},
    {1012, 147, 3, {845, 335, 49, 34}, "SAVE"},
    {1011, 159, 3, {895, 335, 49, 34}, "FULL SCREEN"},
    {1048, 163, 2, {810, 335, 24, 23}, "ALARM"},
    {1014, 160, 1, {947, 74, 45, 46}, "PRINT"},
    {1206, 205, 1, {710, 75, 42, 44}, "CLEAR"},
    {1207, kPenOffBitmap, 1, {752, 77, 43, 43}, "PEN"},
    {1208, 209, 1, {795, 77, 43, 43}, "ERASE"},
};
constexpr PlacedControl kMultiFull[] = {
    {1015, {117, 189, 640, 480}, "VIEW DISPLAY 1"},
};
constexpr PlacedControl kMultiDual[] = {
    {1015, {91, 195, 320, 240}, "VIEW DISPLAY 1"},
    {1016, {444, 195, 320, 240}, "VIEW DISPLAY 2"},
};
constexpr PlacedControl kMultiQuad[] = {
    {1015, {100, 175, 320, 240}, "VIEW DISPLAY 1"},
    {1016, {453, 175, 320, 240}, "VIEW DISPLAY 2"},
    {1017, {100, 448, 320, 240}, "VIEW DISPLAY 3"},
    {1018, {453, 448, 320, 240}, "VIEW DISPLAY 4"},
};
const WindowSkin kMultiViewFull{"multi-view FULL", 130, {1024, 768}, kMultiSkinned, {}, kMultiFull};
const WindowSkin kMultiViewDual{"multi-view DUAL", 131, {1024, 768}, kMultiSkinned, {}, kMultiDual};
const WindowSkin kMultiViewQuad{"multi-view QUAD", 132, {1024, 768}, kMultiSkinned, {}, kMultiQuad};

// ---- multi-view, HD ----
constexpr PlacedControl kMultiHdButtons[] = {
    {1003, {1130, 10, 22, 22}, "_"},           {2, {1160, 10, 22, 22}, "X"},
    {1004, {1020, 100, 170, 25}, "FULL"},      {1005, {1020, 130, 170, 25}, "DUAL"},
    {1006, {1020, 160, 170, 25}, "QUAD"},      {1007, {1020, 200, 170, 25}, "SNAP / FREEZE"},
    {1008, {1020, 230, 170, 25}, "CAPTURE 2"}, {1009, {1020, 260, 170, 25}, "CAPTURE 3"},
    {1010, {1020, 290, 170, 25}, "CAPTURE 4"}, {1011, {1020, 330, 170, 25}, "FULL SCREEN"},
    {1012, {1020, 360, 170, 25}, "SAVE"},      {1014, {1020, 390, 170, 25}, "PRINT"},
    {1013, {1020, 420, 170, 25}, "CONFIG"},
};
constexpr PlacedControl kMultiHdFull[] = {
    {1015, {10, 10, 1000, 562}, "VIEW DISPLAY 1"},
};
constexpr PlacedControl kMultiHdDual[] = {
    {1015, {10, 10, 495, 280}, "VIEW DISPLAY 1"},
    {1016, {510, 10, 495, 280}, "VIEW DISPLAY 2"},
};
constexpr PlacedControl kMultiHdQuad[] = {
    {1015, {10, 10, 495, 280}, "VIEW DISPLAY 1"},
    {1016, {510, 10, 495, 280}, "VIEW DISPLAY 2"},
    {1017, {10, 292, 495, 280}, "VIEW DISPLAY 3"},
    {1018, {510, 292, 495, 280}, "VIEW DISPLAY 4"},
};
const WindowSkin kMultiViewHdFull{"multi-view HD FULL", 213,         {1200, 590}, {},
                                  kMultiHdButtons,      kMultiHdFull};
const WindowSkin kMultiViewHdDual{"multi-view HD DUAL", 213,         {1200, 590}, {},
                                  kMultiHdButtons,      kMultiHdDual};
const WindowSkin kMultiViewHdQuad{"multi-view HD QUAD", 213,         {1200, 590}, {},
                                  kMultiHdButtons,      kMultiHdQuad};

}  // namespace

std::span<const SkinBitmapSpec> skinBitmapSpecs() {
    return kBitmaps;
}

const SkinBitmapSpec* findSkinBitmapSpec(int id) {
    auto it = std::find_if(std::begin(kBitmaps), std::end(kBitmaps),
                           [id](const SkinBitmapSpec& s) { return s.id == id; });
    return it == std::end(kBitmaps) ? nullptr : &*it;
}

const WindowSkin& launcherSkin() {
    return kLauncher;
}
const WindowSkin& imageManagementSkin() {
    return kManage;
}
const WindowSkin& imageManagementHdSkin() {
    return kManageHd;
}

int imageManagementTabBitmap(int mode) {
    switch (mode) {
        case 0:
            return 141;
        case 1:
            return 142;
        case 2:
            return 143;
        default:
            return 0;
    }
}

const WindowSkin& multiViewSkin(int layout) {
    switch (layout) {
        case 2:
            return kMultiViewDual;
        case 4:
            return kMultiViewQuad;
        default:
            return kMultiViewFull;
    }
}

const WindowSkin& multiViewHdSkin(int layout) {
    switch (layout) {
        case 2:
            return kMultiViewHdDual;
        case 4:
            return kMultiViewHdQuad;
        default:
            return kMultiViewHdFull;
    }
}

}  // namespace qelvo
