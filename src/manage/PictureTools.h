#pragma once

#include <string>

class QWidget;

namespace qelvo {

// The picture tools that rewrite the current picture's file: equalise, quarter turn, half
// turn, flip and mirror.  Turns, flips and mirrors of a JPEG file whose size allows it are
// done on the compressed data without loss; everything else is decoded, changed and saved
// again at quality 80.  Every write goes through a temporary file and a rename; a failure
// is shown to the operator with its reason and leaves the file as it was.
class PictureTools {
public:
    enum class Tool { Equalize, RotateQuarter, RotateHalf, FlipVertical, MirrorHorizontal };
    enum class Outcome {
        Reencoded,   // decoded, changed, saved at quality 80
        Lossless,    // transformed in its compressed form
        Unreadable,  // missing, not a picture, cut short or too large: nothing written
        SaveFailed,  // nothing replaced
    };

    static constexpr int kSaveQuality = 80;

    // `parent` owns the failure messages.
    explicit PictureTools(QWidget* parent) : parent_(parent) {}

    Outcome run(Tool tool, const std::string& path);

private:
    Outcome reencode(Tool tool, const std::string& path);
    void tell(const std::string& what, const std::string& path, const std::string& reason);

    QWidget* parent_;
};

}  // namespace qelvo
