#pragma once

#include <QString>
#include <memory>
#include <optional>

class QWidget;
class QPrinter;

namespace qelvo {

enum class MessageButtons { Ok, YesNo, OkCancel };
enum class MessageAnswer { Ok, Cancel, Yes, No };

// Options of an open or save file dialog.  The filter uses the classic
// "Text (*.ext)|*.ext|All Files (*.*)|*.*||" form; it is converted to the toolkit's own.
struct FileDialogRequest {
    QString filter;
    QString defaultExtension;  // without the dot, e.g. "JPG"
    QString initialName;       // e.g. "*.jpg"
    QString initialFolder;     // empty: the toolkit's choice
    bool mustExist = false;    // open: the file must exist
    bool pathMustExist = false;
    bool confirmOverwrite = false;
};

// Every message box, file dialog, folder picker and print dialog goes through this service,
// so tests can script the operator's answers.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual MessageAnswer message(QWidget* parent, const QString& text, const QString& title,
                                  MessageButtons buttons) = 0;
    virtual std::optional<QString> openFile(QWidget* parent, const FileDialogRequest& request) = 0;
    virtual std::optional<QString> saveFile(QWidget* parent, const FileDialogRequest& request) = 0;
    virtual std::optional<QString> pickFolder(QWidget* parent, const QString& title) = 0;
    // Shows the print dialog for `printer`; true when the operator confirmed.
    virtual bool print(QWidget* parent, QPrinter& printer) = 0;
};

// The process-wide service; by default the Qt implementation.
Dialogs& dialogs();
// Replaces the service (tests).  Returns the previous one; passing nullptr restores Qt's.
std::unique_ptr<Dialogs> setDialogs(std::unique_ptr<Dialogs> service);

// Converts "Name (*.a)|*.a|All (*.*)|*.*||" into Qt's "Name (*.a);;All (*.*)".
QString toQtFilter(const QString& classicFilter);

}  // namespace qelvo
