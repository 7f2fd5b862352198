#pragma once

#include <cstdint>
#include <string>
#include <vector>

class QWidget;

namespace qelvo {

// The picture tools that rewrite the current picture's file: equalise, quarter turn, half
// turn, flip and mirror.  Turns, flips and mirrors of a JPEG file whose size allows it are
// done on the compressed data without loss.  Otherwise the picture is decoded, changed and
// saved again: equalised at quality 80, turned at the quality the file was saved at, keeping
// its EXIF block.  After a turn or flip the EXIF block says Orientation 1 and the new pixel
// size.  Every write goes through RewritePictureFile (links followed, read-only pictures
// refused); a failure is shown to the operator with its reason and leaves the file as it was.
class PictureTools {
public:
    enum class Tool { Equalize, RotateQuarter, RotateHalf, FlipVertical, MirrorHorizontal };
    enum class Outcome {
        Reencoded,   // decoded, changed, saved again (status() says at which quality)
        Lossless,    // transformed in its compressed form
        Unreadable,  // missing, not a picture, cut short or too large: nothing written
        SaveFailed,  // nothing replaced
    };

    static constexpr int kSaveQuality = 80;

    // `parent` owns the failure messages.
    explicit PictureTools(QWidget* parent) : parent_(parent) {}

    Outcome run(Tool tool, const std::string& path);

    // One line on what the last run did to the file ("" after a failure, which was told).
    const std::string& status() const { return status_; }

private:
    Outcome reencode(Tool tool, const std::string& path);
    // PNG and TIFF: turns move the samples exactly (16 bits kept); levels are equalized at
    // 8 bits per sample.  Saved losslessly in the file's own format, calibration kept.
    Outcome changeLossless(Tool tool, const std::string& path,
                           const std::vector<std::uint8_t>& bytes);
    void tell(const std::string& what, const std::string& path, const std::string& reason);

    QWidget* parent_;
    std::string status_;
};

}  // namespace qelvo
