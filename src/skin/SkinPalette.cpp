#include "skin/SkinPalette.h"

#include <QColor>

namespace qelvo::palette {

// The drop-down part is left to the platform style, which draws the list's arrow.
QString controlStyleSheet() {
    const auto c = [](QRgb rgb) { return QColor(rgb).name(); };
    return QStringLiteral(
               "QComboBox { background: %1; color: %2; border: 1px solid %3; border-radius: 3px;"
               " padding: 2px 8px; font-family: 'Liberation Sans Narrow'; font-size: 14px; }"
               "QComboBox:hover, QComboBox:focus { border-color: %4; }"
               "QComboBox QAbstractItemView { background: %1; color: %2; border: 1px solid %3;"
               " selection-background-color: %5; selection-color: %2; }"
               "QScrollBar { background: %1; border: 1px solid %6; }"
               "QScrollBar::handle { background: %3; border-radius: 3px; min-width: 20px;"
               " min-height: 20px; }"
               "QScrollBar::handle:hover { background: %4; }"
               "QScrollBar::add-line, QScrollBar::sub-line { background: none; border: none; }")
        .arg(c(kWell), c(kText), c(kLineLight), c(kAccent), c(kAccentDeep), c(kLineDark));
}

}  // namespace qelvo::palette
