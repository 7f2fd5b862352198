#pragma once

#include "multiview/PanePicture.h"

#include <QRect>
#include <QString>

#include <array>
#include <string>

class QPainter;
class QPrinter;
class QWidget;

namespace qelvo {

class PenLayers;

// The printed report of the multi-view window: a title, the time of printing and the
// pictures of the visible panes in a two-by-two grid, in the printer's device pixels.
class PrintReport {
public:
    static constexpr const char* kTitle = "Image View Report (A4 Sheet Base)";
    static constexpr const char* kDocumentName = "Image View Print";
    static constexpr const char* kCannotPrint =
        "You cannot print this picture\nPlease, check your setting...";
    // The report's extent from the page origin.
    static constexpr int kWidth = 4040;
    static constexpr int kHeight = 3980;

    // Picture rectangle of pane `pane` (0..3): 1920 x 1440, 100 apart.
    static QRect paneRect(int pane);
    // The uniform scale that fits the report into a printable area of `area` device pixels,
    // keeping its proportions: larger than 1 on a page with more pixels than the report,
    // smaller on one with fewer.  1 for an empty area.
    static double fitScale(QSize area);
    // "Time : " and the asctime text of the local time now (its newline included).
    static QString timeLine();

    // Paints the page: panes 0 .. layout - 1 that hold pictures, with their drawing layers
    // when `layers` is given (pen mode).
    static void paint(QPainter& painter, QSize printableArea, int layout,
                      const std::array<PanePicture, 4>& panes, const PenLayers* layers,
                      const QString& timeText);

    // PRINT: the print dialog, then one page on the chosen printer.  A cancelled dialog or
    // an unusable printer gives kCannotPrint; a failure while printing is reported with its
    // reason.  True when the page was printed.
    static bool print(QWidget* parent, int layout, const std::array<PanePicture, 4>& panes,
                      const PenLayers* layers);
};

}  // namespace qelvo
