#include "desktop/Dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QStringList>

namespace qelvo {
namespace {

// The toolkit's file dialog with the request's texts as they stand.  A typed name with a
// wildcard ("*.jpg") filters the list instead of being chosen, and a name in a folder that
// does not exist is refused where the path must exist; the dialog stays open for both.
class FileDialog : public QFileDialog {
public:
    FileDialog(QWidget* parent, const FileDialogRequest& request)
        : QFileDialog(parent), pathMustExist_(request.pathMustExist) {
        // These checks run in accept(), which a platform's own dialog would bypass.
        setOption(QFileDialog::DontUseNativeDialog);
        setNameFilter(toQtFilter(request.filter));
        setDefaultSuffix(request.defaultExtension);
        if (!request.initialFolder.isEmpty()) setDirectory(request.initialFolder);
        if (!request.initialName.isEmpty()) selectFile(request.initialName);
    }

    void accept() override {
        const QStringList files = selectedFiles();
        if (files.isEmpty()) return;
        const QFileInfo chosen(files.first());
        const QString name = chosen.fileName();
        if (name.contains('*') || name.contains('?')) {
            setNameFilter(name);
            selectFile(name);
            return;
        }
        if (pathMustExist_ && !chosen.absoluteDir().exists()) {
            QMessageBox::warning(
                this, windowTitle(),
                QStringLiteral("%1\nPath does not exist.\nCheck the path and try again.")
                    .arg(QDir::toNativeSeparators(chosen.absolutePath())));
            return;
        }
        QFileDialog::accept();
    }

private:
    bool pathMustExist_;
};

class QtDialogs : public Dialogs {
public:
    MessageAnswer message(QWidget* parent, const QString& text, const QString& title,
                          MessageButtons buttons) override {
        QMessageBox box(parent);
        box.setWindowTitle(title.isEmpty() ? QStringLiteral("QELVO_TARNEL") : title);
        box.setText(text);
        switch (buttons) {
            case MessageButtons::Ok:
                box.setStandardButtons(QMessageBox::Ok);
                break;
            case MessageButtons::YesNo:
                box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
                box.setIcon(QMessageBox::Question);
                break;
            case MessageButtons::OkCancel:
                box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
                break;
        }
        switch (box.exec()) {
            case QMessageBox::Yes:
                return MessageAnswer::Yes;
            case QMessageBox::No:
                return MessageAnswer::No;
            case QMessageBox::Ok:
                return MessageAnswer::Ok;
            default:
                return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Cancel;
        }
    }

    std::optional<QString> openFile(QWidget* parent, const FileDialogRequest& request) override {
        FileDialog dialog(parent, request);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(request.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
        return run(dialog);
    }

    std::optional<QString> saveFile(QWidget* parent, const FileDialogRequest& request) override {
        FileDialog dialog(parent, request);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        if (!request.confirmOverwrite) dialog.setOption(QFileDialog::DontConfirmOverwrite);
        return run(dialog);
    }

    std::optional<QString> pickFolder(QWidget* parent, const QString& title) override {
        QString folder =
            QFileDialog::getExistingDirectory(parent, title, QString(), QFileDialog::ShowDirsOnly);
        if (folder.isEmpty()) return std::nullopt;
        return folder;
    }

    bool print(QWidget* parent, QPrinter& printer) override {
        QPrintDialog dialog(&printer, parent);
        return dialog.exec() == QDialog::Accepted;
    }

private:
    static std::optional<QString> run(QFileDialog& dialog) {
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return dialog.selectedFiles().first();
    }
};

std::unique_ptr<Dialogs>& current() {
    static std::unique_ptr<Dialogs> service = std::make_unique<QtDialogs>();
    return service;
}

}  // namespace

Dialogs& dialogs() {
    return *current();
}

std::unique_ptr<Dialogs> setDialogs(std::unique_ptr<Dialogs> service) {
    if (!service) service = std::make_unique<QtDialogs>();
    std::swap(current(), service);
    return service;
}

QString toQtFilter(const QString& classicFilter) {
    const QStringList parts = classicFilter.split('|', Qt::SkipEmptyParts);
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        QString label = parts[i];
        const int paren = label.indexOf('(');
        if (paren >= 0) label = label.left(paren).trimmed();
        filters << QStringLiteral("%1 (%2)").arg(label, patterns);
    }
    return filters.join(QStringLiteral(";;"));
}

}  // namespace qelvo
