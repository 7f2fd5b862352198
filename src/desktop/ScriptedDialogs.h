#pragma once

#include "desktop/Dialogs.h"

#include <QStringList>
#include <deque>

namespace qelvo {

// A dialogs service for tests: answers come from queues filled by the test, and every
// request is recorded.  An empty queue answers Cancel / No / nothing.
class ScriptedDialogs : public Dialogs {
public:
    struct Shown {
        QString kind;  // "message", "open", "save", "folder", "print"
        QString text;  // message text, filter, or picker title
        QString title;
        MessageButtons buttons = MessageButtons::Ok;
        FileDialogRequest request;
    };

    std::deque<MessageAnswer> messageAnswers;
    std::deque<std::optional<QString>> fileAnswers;  // shared by open and save
    std::deque<std::optional<QString>> folderAnswers;
    std::deque<bool> printAnswers;
    std::vector<Shown> shown;

    MessageAnswer message(QWidget* parent, const QString& text, const QString& title,
                          MessageButtons buttons) override;
    std::optional<QString> openFile(QWidget* parent, const FileDialogRequest& request) override;
    std::optional<QString> saveFile(QWidget* parent, const FileDialogRequest& request) override;
    std::optional<QString> pickFolder(QWidget* parent, const QString& title) override;
    bool print(QWidget* parent, QPrinter& printer) override;

    // Texts of the message boxes shown so far, in order.
    QStringList messages() const;
};

}  // namespace qelvo
