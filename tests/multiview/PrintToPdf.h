#pragma once

#include "desktop/ScriptedDialogs.h"

#include <spawn.h>
#include <sys/wait.h>
#include <QImage>
#include <QMarginsF>
#include <QPageSize>
#include <QPrinter>

#include <cerrno>
#include <string>
#include <vector>

extern char** environ;

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

// The first page of `pdf` rendered at `dpi` (pdftoppm), or a null image.  Started with
// posix_spawnp rather than QProcess: Qt's process start clones the test process in a way
// ThreadSanitizer cannot follow, and the sanitizer run covers this test.
inline QImage renderFirstPage(const std::string& pdf, int dpi) {
    const std::string prefix = pdf + ".page";
    std::string args[] = {"pdftoppm", "-r", std::to_string(dpi), "-f",   "1",
                          "-l",       "1",  "-singlefile",       "-png", pdf,
                          prefix};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, "pdftoppm", nullptr, nullptr, argv.data(), environ) != 0) return {};
    int status = 0;
    pid_t waited = 0;
    while ((waited = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
    }
    if (waited != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
    return QImage(QString::fromStdString(prefix + ".png"));
}

}  // namespace qelvo::test
