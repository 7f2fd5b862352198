#include "multiview/PaneSaver.h"

#include "imaging/CxImage.h"
#include "imaging/ScaleBarDraw.h"
#include "measure/ScaleBar.h"
#include "multiview/PenLayers.h"

#include <QString>

#include <cstdio>
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

bool PaneSaver::writeJpeg(const PictureData& picture, const std::string& path,
                          std::string& reason) {
    return writePictureFile(path, picture, &reason, 80);
}

std::optional<PictureData> PaneSaver::composeForSaving(const PanePicture& pane,
                                                       const CxImage* layer, std::string& reason) {
    CxImage composed;
    if (!composePane(pane, layer, composed)) {
        reason = composed.LastError()[0] ? composed.LastError() : "the picture is damaged";
        return std::nullopt;
    }
    PictureData out;
    out.width = composed.Width();
    out.height = composed.Height();
    out.channels = 3;
    out.bitsPerSample = 8;
    const std::size_t rowBytes = out.rowBytes();
    out.samples.resize(rowBytes * static_cast<std::size_t>(out.height));
    // The composed picture's rows run bottom-up.
    for (int y = 0; y < out.height; ++y) {
        std::uint8_t* row = out.samples.data() + rowBytes * static_cast<std::size_t>(y);
        const int from = out.height - 1 - y;
        const std::uint8_t* bgr = composed.BitsPerPixel() == 24 ? composed.RowBits(from) : nullptr;
        for (int x = 0; x < out.width; ++x, row += 3) {
            if (bgr) {
                row[0] = bgr[3 * x + 2];
                row[1] = bgr[3 * x + 1];
                row[2] = bgr[3 * x];
            } else {
                const RgbQuad c = composed.GetPixelColor(x, from);
                row[0] = c.red;
                row[1] = c.green;
                row[2] = c.blue;
            }
        }
    }
    // The frame may have been taken at another resolution than the calibration's.
    const double pixelSize = pane.objective.pixelSizeFor(out.width);
    if (pixelSize > 0.0) {
        out.calibration.micrometresPerPixel = pixelSize;
        out.calibration.objective = pane.objective.name;
    }
    if (pane.objective.burnScaleBar) {
        const measure::ScaleBar bar = measure::chooseScaleBar(out.width, pixelSize);
        DrawScaleBar(
            {out.samples.data(), out.width, out.height, 3, static_cast<std::ptrdiff_t>(rowBytes)},
            bar.lengthPixels, bar.label);
    }
    return out;
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
        std::string reason;
        const std::optional<PictureData> picture =
            composeForSaving(panes[i], layers ? &layers->layer(i) : nullptr, reason);
        bool ok = picture.has_value();
        if (ok && !(ok = writer_(*picture, name, reason)) && reason.empty())
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
