#pragma once

#include <array>
#include <string>
#include <vector>

namespace qelvo {

// The eight library slots over the JPEG pictures of a folder and the strip bar that scrolls
// through them one picture at a time.
class PictureStrip {
public:
    static constexpr int kSlots = 8;

    enum class BarAction {
        LineLeft,
        LineRight,
        PageLeft,
        PageRight,
        Thumb,
        Top,
        Bottom,
        EndScroll
    };

    // Recounts the folder's pictures and refills the slots.  With `scrollToEnd` and more than
    // eight pictures, the strip moves to its end.
    void listFolder(const std::string& folder, bool scrollToEnd);
    // Refills the slots from `first` over the last listing.
    void fillSlots(int first);
    // Moves the strip (over the last listing) so that listing index `index` is in a slot.
    void bringIntoView(int index);
    // A strip bar action: relists the folder (keeping the position), then moves.  Returns
    // false for the end-of-scroll notice, which changes nothing after the relisting.
    bool barAction(const std::string& folder, BarAction action, int trackPosition = 0);

    int pictureCount() const { return static_cast<int>(names_.size()); }
    int firstIndex() const { return first_; }
    // The folder's pictures in strip order, as last listed.
    const std::vector<std::string>& names() const { return names_; }
    // The listing index of the picture in slot k, or -1 for an empty slot.
    int slotListIndex(int k) const;
    bool barVisible() const { return pictureCount() > kSlots; }
    int barMaximum() const { return barVisible() ? pictureCount() - kSlots : 0; }
    // Bare file name in slot k; empty for an empty slot.
    const std::string& slot(int k) const { return slots_.at(k); }
    // Folder path + "/" + slot name; empty for an empty slot.
    std::string slotPath(const std::string& folder, int k) const;
    // The slot whose full path equals `path` (case-sensitive), or -1.
    int slotShowing(const std::string& folder, const std::string& path) const;

    // The thumbnail label of a file name: names of 19 characters or more lose their first
    // and last 4; shorter names show their first 11.
    static std::string label(const std::string& name);
    // The JPEG pictures of a folder: names ending in ".jpg" (any letter case) that are not
    // directories, in strip order (see pictureNameLess) so the newest snapshots come last.
    static std::vector<std::string> listPictures(const std::string& folder);

private:
    std::vector<std::string> names_;
    int first_ = 0;
    int shownFrom_ = 0;
    std::array<std::string, kSlots> slots_;
};

}  // namespace qelvo
