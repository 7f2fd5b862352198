#include "platform/Dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QStringList>

namespace qelvo {
namespace {

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
        QFileDialog dialog(parent);
        configure(dialog, request);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(request.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
        return run(dialog);
    }

    std::optional<QString> saveFile(QWidget* parent, const FileDialogRequest& request) override {
        QFileDialog dialog(parent);
        configure(dialog, request);
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
    static void configure(QFileDialog& dialog, const FileDialogRequest& request) {
        dialog.setNameFilter(toQtFilter(request.filter));
        dialog.setDefaultSuffix(request.defaultExtension.toLower());
        if (!request.initialFolder.isEmpty()) dialog.setDirectory(request.initialFolder);
        // A wildcard initial name ("*.jpg") is only a hint of the filter; leave the name empty.
        if (!request.initialName.isEmpty() && !request.initialName.contains('*'))
            dialog.selectFile(request.initialName);
    }

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
