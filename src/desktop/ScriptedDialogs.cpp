#include "desktop/ScriptedDialogs.h"

namespace qelvo {
namespace {

template <typename T>
T takeOr(std::deque<T>& queue, T fallback) {
    if (queue.empty()) return fallback;
    T value = queue.front();
    queue.pop_front();
    return value;
}

std::optional<QString> takePath(std::deque<std::optional<QString>>& queue) {
    if (queue.empty()) return std::nullopt;
    std::optional<QString> value;
    value.swap(queue.front());
    queue.pop_front();
    return value;
}

}  // namespace

MessageAnswer ScriptedDialogs::message(QWidget*, const QString& text, const QString& title,
                                       MessageButtons buttons) {
    shown.push_back({QStringLiteral("message"), text, title, buttons, {}});
    const MessageAnswer fallback = buttons == MessageButtons::YesNo ? MessageAnswer::No
                                   : buttons == MessageButtons::Ok  ? MessageAnswer::Ok
                                                                    : MessageAnswer::Cancel;
    return takeOr(messageAnswers, fallback);
}

std::optional<QString> ScriptedDialogs::openFile(QWidget*, const FileDialogRequest& request) {
    shown.push_back({QStringLiteral("open"), request.filter, {}, MessageButtons::Ok, request});
    return takePath(fileAnswers);
}

std::optional<QString> ScriptedDialogs::saveFile(QWidget*, const FileDialogRequest& request) {
    shown.push_back({QStringLiteral("save"), request.filter, {}, MessageButtons::Ok, request});
    return takePath(fileAnswers);
}

std::optional<QString> ScriptedDialogs::pickFolder(QWidget*, const QString& title) {
    shown.push_back({QStringLiteral("folder"), title, title, MessageButtons::Ok, {}});
    return takePath(folderAnswers);
}

bool ScriptedDialogs::print(QWidget*, QPrinter&) {
    shown.push_back({QStringLiteral("print"), {}, {}, MessageButtons::Ok, {}});
    return takeOr(printAnswers, false);
}

QStringList ScriptedDialogs::messages() const {
    QStringList texts;
    for (const Shown& s : shown)
        if (s.kind == QLatin1String("message")) texts << s.text;
    return texts;
}

}  // namespace qelvo
