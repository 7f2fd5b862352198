#pragma once

#include "platform/ScriptedDialogs.h"

#include <QImage>
#include <QMarginsF>
#include <QPageSize>
#include <QPrinter>
#include <QProcess>
#include <QStringList>

#include <string>

namespace qelvo::test {

// Scripted dialogs whose print dialog picks "print to file": a PDF at `resolution` dpi on
// A4 without margins, so device pixels count from the paper's corner.
class PrintToPdfDialogs : public ScriptedDialogs {
public:
    std::string pdfPath;
    int resolution = 600;

    bool print(QWidget* parent, QPrinter& printer) override {
        const bool confirmed = ScriptedDialogs::print(parent, printer);
        if (confirmed) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(QString::fromStdString(pdfPath));
            printer.setResolution(resolution);
            printer.setPageSize(QPageSize(QPageSize::A4));
            printer.setPageMargins(QMarginsF(0, 0, 0, 0));
        }
        return confirmed;
    }
};

// The first page of `pdf` rendered at `dpi` (pdftoppm), or a null image.
inline QImage renderFirstPage(const std::string& pdf, int dpi) {
    const QString prefix = QString::fromStdString(pdf) + QStringLiteral(".page");
    const int status = QProcess::execute(
        QStringLiteral("pdftoppm"),
        {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-f"), QStringLiteral("1"),
         QStringLiteral("-l"), QStringLiteral("1"), QStringLiteral("-singlefile"),
         QStringLiteral("-png"), QString::fromStdString(pdf), prefix});
    if (status != 0) return {};
    return QImage(prefix + QStringLiteral(".png"));
}

}  // namespace qelvo::test
