#pragma once

#include "desktop/Dialogs.h"
#include "multiview/PanePicture.h"
#include "picturefiles/PictureFile.h"

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace qelvo {

class CxImage;
class PenLayers;

// Writes the pane pictures as numbered JPEG files next to a name the operator chose:
// "cell.jpg" gives cell-0.jpg, cell-1.jpg, ... numbered by pane index (0..3), quality 80.
// Each picture carries the pixel size and objective its pane was taken with, as snapshots
// do, and the scale bar burnt in when snapshots get it.
class PaneSaver {
public:
    // Writes one picture (with its calibration); on failure returns false and says why in
    // `reason`.
    using Writer = std::function<bool(const PictureData& picture, const std::string& path,
                                      std::string& reason)>;

    // The save dialog as the window shows it.
    static FileDialogRequest dialogRequest();
    // The chosen path with its last four characters replaced by "-<index>.jpg".
    static std::string numberedName(const std::string& chosen, int index);
    // The default writer: JPEG at quality 80 through a temporary file in the same folder.
    static bool writeJpeg(const PictureData& picture, const std::string& path, std::string& reason);
    // The pane's picture as written: 8-bit RGB with the pane's calibration, the drawing layer
    // laid over it when given, the scale bar burnt in when the pane's objective asks for it.
    // Nothing for an empty pane.
    static std::optional<PictureData> composeForSaving(const PanePicture& pane,
                                                       const CxImage* layer, std::string& reason);

    explicit PaneSaver(Writer writer = writeJpeg) : writer_(std::move(writer)) {}

    struct Result {
        std::vector<std::string> written;
        std::vector<std::string> failures;  // "path: reason"
        bool declined = false;              // the operator kept the existing files
        bool nothingToSave = false;
    };

    // Saves every pane holding a picture under `chosen`, laying the pane's drawing layer over
    // it when `layers` is given (pen mode).  Existing numbered files are replaced only after
    // one yes/no question naming them; failures and an empty set of panes are reported in a
    // message box over `parent`.
    Result save(QWidget* parent, const std::string& chosen, const std::array<PanePicture, 4>& panes,
                const PenLayers* layers) const;

private:
    Writer writer_;
};

}  // namespace qelvo
