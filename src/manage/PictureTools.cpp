#include "manage/PictureTools.h"

#include "desktop/Dialogs.h"
#include "imaging/CxImage.h"
#include "imaging/ExifEditor.h"
#include "imaging/JpegQuality.h"
#include "imaging/JpegSegments.h"
#include "imaging/JpegTransform.h"
#include "imaging/PictureRewrite.h"
#include "manage/PictureLoading.h"
#include "picturefiles/PictureFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace qelvo {
namespace {

bool losslessKind(PictureTools::Tool tool, JpegTurn& turn) {
    switch (tool) {
        case PictureTools::Tool::RotateQuarter:
            turn = JpegTurn::QuarterClockwise;
            return true;
        case PictureTools::Tool::RotateHalf:
            turn = JpegTurn::HalfTurn;
            return true;
        case PictureTools::Tool::FlipVertical:
            turn = JpegTurn::FlipVertical;
            return true;
        case PictureTools::Tool::MirrorHorizontal:
            turn = JpegTurn::MirrorHorizontal;
            return true;
        case PictureTools::Tool::Equalize:
            break;
    }
    return false;
}

void apply(PictureTools::Tool tool, CxImage& picture) {
    switch (tool) {
        case PictureTools::Tool::Equalize:
            picture.EqualizeLevels();
            break;
        case PictureTools::Tool::RotateQuarter:
            picture.RotateDegrees(90);
            break;
        case PictureTools::Tool::RotateHalf:
            picture.RotateHalfTurn();
            break;
        case PictureTools::Tool::FlipVertical:
            picture.FlipVertical();
            break;
        case PictureTools::Tool::MirrorHorizontal:
            picture.MirrorHorizontal();
            break;
    }
}

// The picture turned or mirrored, sample for sample, whatever its depth and channels.
PictureData turnedPicture(const PictureData& in, PictureTools::Tool tool) {
    PictureData out = in;
    const std::size_t pixel = static_cast<std::size_t>(in.channels) * (in.bitsPerSample / 8);
    const int w = in.width, h = in.height;
    if (tool == PictureTools::Tool::RotateQuarter) {
        out.width = h;
        out.height = w;
    }
    out.samples.assign(out.rowBytes() * static_cast<std::size_t>(out.height), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int ox = x, oy = y;
            switch (tool) {
                case PictureTools::Tool::RotateQuarter:  // clockwise
                    ox = h - 1 - y;
                    oy = x;
                    break;
                case PictureTools::Tool::RotateHalf:
                    ox = w - 1 - x;
                    oy = h - 1 - y;
                    break;
                case PictureTools::Tool::FlipVertical:
                    oy = h - 1 - y;
                    break;
                case PictureTools::Tool::MirrorHorizontal:
                    ox = w - 1 - x;
                    break;
                case PictureTools::Tool::Equalize:
                    break;
            }
            std::memcpy(out.samples.data() + out.rowBytes() * oy + pixel * ox,
                        in.samples.data() + in.rowBytes() * y + pixel * x, pixel);
        }
    return out;
}

// An 8-bit B,G,R picture as R,G,B picture data.
PictureData imageToPictureData(const CxImage& image) {
    PictureData data;
    data.width = image.Width();
    data.height = image.Height();
    data.channels = 3;
    data.bitsPerSample = 8;
    data.samples.resize(data.rowBytes() * static_cast<std::size_t>(data.height));
    for (int y = 0; y < data.height; ++y)
        for (int x = 0; x < data.width; ++x) {
            const RgbQuad c = image.GetPixelColor(x, data.height - 1 - y);
            std::uint8_t* o = data.samples.data() + data.rowBytes() * y + 3 * x;
            o[0] = c.red;
            o[1] = c.green;
            o[2] = c.blue;
        }
    return data;
}

}  // namespace

PictureTools::Outcome PictureTools::run(Tool tool, const std::string& path) {
    status_.clear();
    // PNG and TIFF pictures are changed in their own, lossless formats.
    if (pictureFormatOf(path) && pictureFormatOf(path) != PictureFormat::Jpeg) {
        std::vector<std::uint8_t> bytes;
        if (!ReadWholeFile(path, bytes)) {
            tell("read", path, std::strerror(errno));
            return Outcome::Unreadable;
        }
        if (!isJpegBytes(bytes)) return changeLossless(tool, path, bytes);
    }
    JpegTurn turn;
    if (losslessKind(tool, turn)) {
        std::string error;
        switch (TransformJpegLosslessly(path, turn, error)) {
            case LosslessOutcome::Done:
                status_ = "Changed without loss.";
                return Outcome::Lossless;
            case LosslessOutcome::SaveFailed:
                tell("saved", path, error);
                return Outcome::SaveFailed;
            case LosslessOutcome::NotPossible:
                break;
        }
    }
    return reencode(tool, path);
}

PictureTools::Outcome PictureTools::reencode(Tool tool, const std::string& path) {
    std::vector<std::uint8_t> bytes;
    if (!ReadWholeFile(path, bytes)) {
        tell("read", path, std::strerror(errno));
        return Outcome::Unreadable;
    }
    // A file cut short decodes with grey fill; saving that would make the loss permanent.
    if (!JpegDataComplete(bytes)) {
        tell("read", path, kIncompleteJpegReason);
        return Outcome::Unreadable;
    }
    CxImage picture;
    std::FILE* stream = ::fmemopen(bytes.data(), bytes.size(), "rb");
    const bool loaded = stream && picture.Decode(stream, FormatJpeg);
    if (stream) std::fclose(stream);
    if (!loaded) {
        tell("read", path, *picture.LastError() ? picture.LastError() : "not a JPEG picture");
        return Outcome::Unreadable;
    }
    JpegTurn turn;
    const bool geometry = losslessKind(tool, turn);
    // A turn the compressed data could not take costs one generation, not a drop in
    // quality as well.
    const int estimated = geometry ? EstimateJpegQuality(bytes) : 0;
    const int quality = estimated > 0 ? estimated : kSaveQuality;
    apply(tool, picture);
    picture.SetQuality(static_cast<std::uint8_t>(quality));
    picture.SetLastError("");
    std::vector<std::uint8_t> encoded;
    std::string reason;
    if (!EncodeJpeg(picture, encoded)) {
        reason = *picture.LastError() ? picture.LastError() : "the picture could not be encoded";
    } else {
        JpegSegment exif;
        if (geometry && FindExifSegment(bytes, exif)) {
            std::vector<std::uint8_t> block(bytes.begin() + exif.payload,
                                            bytes.begin() + exif.payload + exif.payloadSize);
            ExifEditor(block.data(), block.size())
                .ResetLayout(static_cast<std::uint32_t>(picture.Width()),
                             static_cast<std::uint32_t>(picture.Height()));
            InsertApp1Segment(encoded, block);
        }
        reason = RewritePictureFile(path, encoded.data(), encoded.size());
    }
    if (!reason.empty()) {
        tell("saved", path, reason);
        return Outcome::SaveFailed;
    }
    status_ = "Re-encoded at quality " + std::to_string(quality) +
              (geometry ? " (this picture cannot be changed without loss)." : ".");
    return Outcome::Reencoded;
}

PictureTools::Outcome PictureTools::changeLossless(Tool tool, const std::string& path,
                                                   const std::vector<std::uint8_t>& bytes) {
    std::string reason;
    std::optional<PictureData> picture = readPictureBytes(bytes.data(), bytes.size(), &reason);
    if (!picture) {
        tell("read", path, reason);
        return Outcome::Unreadable;
    }
    const char* kind = pictureFormatOf(path) == PictureFormat::Png ? "PNG" : "TIFF";
    PictureData changed;
    if (tool == Tool::Equalize) {
        CxImage image;
        if (!pictureDataToImage(*picture, image) || !image.EqualizeLevels()) {
            tell("changed", path, "the levels could not be equalized");
            return Outcome::Unreadable;
        }
        changed = imageToPictureData(image);
        changed.calibration = picture->calibration;
        status_ = std::string("Levels equalized, saved as ") + kind +
                  (picture->bitsPerSample == 16 ? " at 8 bits per sample (it had 16)."
                                                : " without further loss.");
    } else {
        changed = turnedPicture(*picture, tool);
        status_ = std::string("Changed without loss (") + kind + ", every sample kept).";
    }
    if (!writePictureFile(path, changed, &reason)) {
        status_.clear();
        tell("saved", path, reason);
        return Outcome::SaveFailed;
    }
    return tool == Tool::Equalize ? Outcome::Reencoded : Outcome::Lossless;
}

void PictureTools::tell(const std::string& what, const std::string& path,
                        const std::string& reason) {
    const QString text = QStringLiteral("The picture could not be %1:\n\n%2\n\n%3")
                             .arg(QString::fromStdString(what), QString::fromStdString(path),
                                  QString::fromStdString(reason));
    dialogs().message(parent_, text, QString(), MessageButtons::Ok);
}

}  // namespace qelvo
