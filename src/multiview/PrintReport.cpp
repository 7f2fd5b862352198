#include "multiview/PrintReport.h"

#include "desktop/Dialogs.h"
#include "imaging/CxImage.h"
#include "imaging/DrawScaled.h"
#include "multiview/PenLayers.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QPrinter>
#include <QSaveFile>
#include <QTemporaryFile>

#include <algorithm>
#include <ctime>

namespace qelvo {
namespace {

void drawTextAt(QPainter& painter, int x, int y, const QString& text) {
    // The position is the text's top-left corner, as the page layout gives it.
    painter.drawText(QRect(x, y, PrintReport::kWidth, PrintReport::kHeight),
                     Qt::AlignLeft | Qt::AlignTop, text);
}

// Copies the page written to `staged` to `target`, checking that the page is whole (the
// toolkit's PDF writer ends every document with "%%EOF" but ignores write errors, so a disk
// that fills up leaves a cut file behind) and that every write to `target` succeeds.
bool deliverStagedPage(const QString& staged, const QString& target, QString& reason) {
    QFile in(staged);
    if (!in.open(QIODevice::ReadOnly)) {
        reason = in.errorString();
        return false;
    }
    const QByteArray page = in.readAll();
    if (!page.trimmed().endsWith("%%EOF")) {
        reason = QStringLiteral("the page could not be written whole (is the disk full?)");
        return false;
    }
    QSaveFile out(target);
    out.setDirectWriteFallback(true);  // a device or a folder we may write in but not rename in
    if (!out.open(QIODevice::WriteOnly) || out.write(page) != page.size() || !out.commit()) {
        reason = out.errorString();
        return false;
    }
    return true;
}

}  // namespace

QRect PrintReport::paneRect(int pane) {
    const int column = pane % 2, row = pane / 2;
    return QRect(100 + column * 2020, 1000 + row * 1540, 1920, 1440);
}

double PrintReport::fitScale(QSize area) {
    if (area.width() <= 0 || area.height() <= 0) return 1.0;
    return std::min(double(area.width()) / kWidth, double(area.height()) / kHeight);
}

QString PrintReport::timeLine() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[64] = {};
    asctime_r(&local, text);
    return QStringLiteral("Time : %1").arg(QString::fromLatin1(text));
}

void PrintReport::paint(QPainter& painter, QSize printableArea, int layout,
                        const std::array<PanePicture, 4>& panes, const PenLayers* layers,
                        const QString& timeText) {
    painter.save();
    const double scale = fitScale(printableArea);
    painter.scale(scale, scale);
    drawTextAt(painter, 100, 100, QString::fromLatin1(kTitle));
    drawTextAt(painter, 100, 500, timeText);
    for (int i = 0; i < std::min(layout, 4); ++i) {
        CxImage picture;
        if (!composePane(panes[i], layers ? &layers->layer(i) : nullptr, picture)) continue;
        DrawScaled(picture, painter, paneRect(i));
    }
    painter.restore();
}

bool PrintReport::print(QWidget* parent, int layout, const std::array<PanePicture, 4>& panes,
                        const PenLayers* layers) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QString::fromLatin1(kDocumentName));
    // The page is laid out for a 600 dpi A4 sheet: printing to a file gets that resolution
    // (the toolkit would pick 1200 dpi, four times the pixels to store for the same page); a
    // printer's driver still reports its own, and the report is scaled to it.
    printer.setResolution(600);
    if (!dialogs().print(parent, printer) || !printer.isValid()) {
        dialogs().message(parent, QString::fromLatin1(kCannotPrint), QString(), MessageButtons::Ok);
        return false;
    }
    // The pictures printed are those present when the dialog was confirmed.
    const std::array<PanePicture, 4> printed = panes;
    // Printing to a file goes through a staged copy that is checked before it is delivered.
    const QString target = printer.outputFileName();
    QTemporaryFile staged(QDir::tempPath() + QStringLiteral("/qelvo-report-XXXXXX.pdf"));
    if (!target.isEmpty()) {
        if (!staged.open()) {
            dialogs().message(
                parent,
                QStringLiteral("The report could not be printed:\n%1").arg(staged.errorString()),
                QString(), MessageButtons::Ok);
            return false;
        }
        staged.close();
        printer.setOutputFileName(staged.fileName());
    }
    QPainter painter;
    if (!painter.begin(&printer)) {
        const QString where = target.isEmpty() ? printer.printerName() : target;
        dialogs().message(
            parent,
            QStringLiteral("The report could not be printed:\n%1 cannot be written.").arg(where),
            QString(), MessageButtons::Ok);
        return false;
    }
    const QSize area(printer.width(), printer.height());
    paint(painter, area, layout, printed, layers, timeLine());
    const bool ended = painter.end();
    if (!ended || printer.printerState() == QPrinter::Error) {
        dialogs().message(parent,
                          QStringLiteral("The report could not be printed:\nthe printer "
                                         "reported an error."),
                          QString(), MessageButtons::Ok);
        return false;
    }
    if (!target.isEmpty()) {
        printer.setOutputFileName(target);
        QString reason;
        if (!deliverStagedPage(staged.fileName(), target, reason)) {
            dialogs().message(
                parent,
                QStringLiteral("The report could not be printed:\n%1: %2").arg(target, reason),
                QString(), MessageButtons::Ok);
            return false;
        }
    }
    return true;
}

}  // namespace qelvo
