#include "multiview/PaneSaver.h"

#include "imaging/CxImage.h"
#include "multiview/PenLayers.h"

#include <QString>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace qelvo {

FileDialogRequest PaneSaver::dialogRequest() {
    FileDialogRequest request;
    request.defaultExtension = QStringLiteral("JPG");
    request.initialName = QStringLiteral("*.jpg");
    request.filter = QStringLiteral("JPG Files (*.JPG)|*.jpg||");
    request.confirmOverwrite = false;  // asked once for all numbered files instead
    return request;
}

std::string PaneSaver::numberedName(const std::string& chosen, int index) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "-%d.jpg", index);
    // The last four characters of the UTF-8 name (continuation bytes are 10xxxxxx).
    std::size_t keep = chosen.size();
    for (int characters = 0; characters < 4 && keep > 0; ++characters) {
        --keep;
        while (keep > 0 && (static_cast<unsigned char>(chosen[keep]) & 0xC0) == 0x80) --keep;
    }
    return chosen.substr(0, keep) + suffix;
}

bool PaneSaver::writeJpeg(CxImage& picture, const std::string& path, std::string& reason) {
    picture.SetQuality(80);
    errno = 0;
    if (picture.SaveFile(path.c_str(), FormatJpeg)) return true;
    const int error = errno;
    if (error != 0)
        reason = std::strerror(error);
    else if (picture.LastError()[0] != '\0')
        reason = picture.LastError();
    else
        reason = "the file could not be written";
    return false;
}

PaneSaver::Result PaneSaver::save(QWidget* parent, const std::string& chosen,
                                  const std::array<PanePicture, 4>& panes,
                                  const PenLayers* layers) const {
    Result result;
    std::vector<int> filled;
    for (int i = 0; i < static_cast<int>(panes.size()); ++i)
        if (panes[i].holdsPicture()) filled.push_back(i);
    if (filled.empty()) {
        result.nothingToSave = true;
        dialogs().message(parent, QStringLiteral("There is no picture to save."), QString(),
                          MessageButtons::Ok);
        return result;
    }

    QString existing;
    for (int i : filled) {
        const std::string name = numberedName(chosen, i);
        std::error_code ec;
        if (std::filesystem::exists(name, ec)) existing += QString::fromStdString(name) + '\n';
    }
    if (!existing.isEmpty()) {
        const QString question =
            QStringLiteral("These files already exist:\n\n%1\nDo you want to replace them?")
                .arg(existing);
        if (dialogs().message(parent, question, QString(), MessageButtons::YesNo) !=
            MessageAnswer::Yes) {
            result.declined = true;
            return result;
        }
    }

    for (int i : filled) {
        const std::string name = numberedName(chosen, i);
        CxImage picture;
        std::string reason;
        bool ok = composePane(panes[i], layers ? &layers->layer(i) : nullptr, picture);
        if (!ok)
            reason = picture.LastError()[0] ? picture.LastError() : "the picture is damaged";
        else if (!(ok = writer_(picture, name, reason)) && reason.empty())
            reason = "the file could not be written";
        if (ok)
            result.written.push_back(name);
        else
            result.failures.push_back(name + ": " + reason);
    }
    if (!result.failures.empty()) {
        QString text = QStringLiteral("These pictures could not be saved:\n\n");
        for (const std::string& f : result.failures) text += QString::fromStdString(f) + '\n';
        dialogs().message(parent, text, QString(), MessageButtons::Ok);
    }
    return result;
}

}  // namespace qelvo
