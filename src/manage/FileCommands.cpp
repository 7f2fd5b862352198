#include "manage/FileCommands.h"

#include "picturefiles/PictureFile.h"

#include "desktop/Dialogs.h"
#include "measure/Sidecar.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace qelvo {
namespace {

bool copyToNewFile(const std::string& from, const std::string& to) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (out < 0) {
        ::close(in);
        return false;
    }
    bool ok = true;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        for (ssize_t done = 0; done < n && ok;) {
            const ssize_t w = ::write(out, buffer + done, static_cast<std::size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0)
                ok = false;
            else
                done += w;
        }
        if (!ok) break;
    }
    ok = ::fsync(out) == 0 && ok;
    ok = ::close(out) == 0 && ok;
    ::close(in);
    if (!ok) ::unlink(to.c_str());
    return ok;
}

}  // namespace

bool moveFileNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EXDEV && errno != EINVAL && errno != ENOSYS) return false;
    if (errno != EXDEV) {
        // A file system without no-replace renames: link() refuses an existing target too.
        if (::link(from.c_str(), to.c_str()) != 0) return false;
        ::unlink(from.c_str());
        return true;
    }
    // Another file system: copy beside the target, link it into place, then drop the source.
    const std::string temporary = to + ".moving-" + std::to_string(::getpid());
    if (!copyToNewFile(from, temporary)) return false;
    const bool placed = ::link(temporary.c_str(), to.c_str()) == 0;
    ::unlink(temporary.c_str());
    if (placed) ::unlink(from.c_str());
    return placed;
}

DeleteOutcome askAndDeletePicture(QWidget* parent, const std::string& path) {
    const QString text = QStringLiteral("Do you want to delete this file?\n\n%1\n")
                             .arg(QString::fromStdString(path));
    if (dialogs().message(parent, text, QString(), MessageButtons::YesNo) != MessageAnswer::Yes)
        return DeleteOutcome::Declined;
    if (::unlink(path.c_str()) != 0) return DeleteOutcome::Failed;
    // The picture's measurements go with it.
    std::string error;
    if (!measure::removeSidecar(path, &error))
        dialogs().message(parent, QString::fromStdString(error), QString(), MessageButtons::Ok);
    return DeleteOutcome::Deleted;
}

std::optional<std::string> askAndRenamePicture(QWidget* parent, const std::string& current) {
    if (current.empty()) return std::nullopt;
    FileDialogRequest request;
    // The dialog offers the picture's own kind: a PNG or TIFF stays one under its new name.
    QString extension = QStringLiteral("jpg");
    QString kind = QStringLiteral("JPG");
    if (const std::optional<PictureFormat> format = pictureFormatOf(current)) {
        if (*format == PictureFormat::Png) extension = QStringLiteral("png");
        if (*format == PictureFormat::Tiff) {
            const QString name = QString::fromStdString(current);
            extension = name.section(QLatin1Char('.'), -1).toLower();
        }
        kind = extension.toUpper();
    }
    request.filter =
        QStringLiteral("%1 Files (*.%1)|*.%2|All Files (*.*)|*.*||").arg(kind, extension);
    request.defaultExtension = kind;
    request.initialName = QStringLiteral("*.") + extension;
    request.pathMustExist = true;
    request.confirmOverwrite = true;
    const std::optional<QString> target = dialogs().saveFile(parent, request);
    if (!target) return std::nullopt;
    const std::string to = target->toStdString();
    if (to == current || !moveFileNoReplace(current, to)) return std::nullopt;
    // The measurements follow the picture; where they cannot, they stay with the old name
    // and the operator is told.
    std::string error;
    if (!measure::moveSidecar(current, to, &error))
        dialogs().message(parent, QString::fromStdString(error), QString(), MessageButtons::Ok);
    return to;
}

std::optional<std::string> askForFolder(QWidget* parent) {
    const std::optional<QString> folder =
        dialogs().pickFolder(parent, QStringLiteral("Please choose a folder."));
    if (!folder || folder->isEmpty()) return std::nullopt;
    return folder->toStdString();
}

}  // namespace qelvo
