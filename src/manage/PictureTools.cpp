#include "manage/PictureTools.h"

#include "desktop/Dialogs.h"
#include "imaging/CxImage.h"
#include "imaging/ExifEditor.h"
#include "imaging/JpegQuality.h"
#include "imaging/JpegSegments.h"
#include "imaging/JpegTransform.h"
#include "imaging/PictureRewrite.h"
#include "desktop/Dialogs.h"

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

}  // namespace

PictureTools::Outcome PictureTools::run(Tool tool, const std::string& path) {
    status_.clear();
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

void PictureTools::tell(const std::string& what, const std::string& path,
                        const std::string& reason) {
    const QString text = QStringLiteral("The picture could not be %1:\n\n%2\n\n%3")
                             .arg(QString::fromStdString(what), QString::fromStdString(path),
                                  QString::fromStdString(reason));
    dialogs().message(parent_, text, QString(), MessageButtons::Ok);
}

}  // namespace qelvo
