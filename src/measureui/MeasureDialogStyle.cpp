#include "measureui/MeasureDialogStyle.h"

#include "skin/SkinPalette.h"

#include <QColor>
#include <QLinearGradient>
#include <QPainter>
#include <QWidget>

namespace qelvo {

QString measureDialogStyleSheet() {
    const auto c = [](QRgb rgb) { return QColor(rgb).name(); };
    return palette::controlStyleSheet() +
           QStringLiteral(
               "QLabel { color: %1; font-family: 'Liberation Sans Narrow'; font-size: 14px; }"
               "QLabel[role=\"title\"] { color: %2; font-size: 12px; font-weight: bold;"
               " letter-spacing: 1px; border-left: 3px solid %3; padding-left: 5px; }"
               "QLabel[role=\"result\"] { color: %1; font-size: 18px; font-weight: bold; }"
               "QLabel[role=\"status\"] { color: %2; }"
               "QLabel[role=\"warning\"] { color: %6; }"
               "QLineEdit { background: %4; color: %1; border: 1px solid %5; border-radius: 3px;"
               " padding: 3px 6px; font-family: 'Liberation Sans Narrow'; font-size: 15px;"
               " selection-background-color: %7; }"
               "QLineEdit:focus { border-color: %3; }"
               "QPushButton { background: %8; color: %1; border: 1px solid %5; border-radius: 3px;"
               " padding: 5px 14px; font-family: 'Liberation Sans Narrow'; font-size: 14px;"
               " font-weight: bold; }"
               "QPushButton:hover { border-color: %3; }"
               "QPushButton:checked { background: %7; border-color: %3; }"
               "QPushButton:disabled { color: %9; }"
               "QTableWidget { background: %4; color: %1; gridline-color: %5; border: 1px solid %5;"
               " font-family: 'Liberation Sans Narrow'; font-size: 14px;"
               " selection-background-color: %7; }"
               "QHeaderView::section { background: %8; color: %2; border: none;"
               " border-right: 1px solid %5; padding: 4px; font-family: 'Liberation Sans Narrow'; "
               "}")
               .arg(c(palette::kText), c(palette::kTextDim), c(palette::kAccent), c(palette::kWell),
                    c(palette::kLineLight), c(palette::kWarm), c(palette::kAccentDeep),
                    c(palette::kBackTop), c(palette::kTextFaint));
}

void paintMeasureDialogBackground(QWidget& dialog) {
    QPainter p(&dialog);
    QLinearGradient g(0, 0, 0, dialog.height());
    g.setColorAt(0, QColor(palette::kBackTop));
    g.setColorAt(1, QColor(palette::kBackBottom));
    p.fillRect(dialog.rect(), g);
}

}  // namespace qelvo
