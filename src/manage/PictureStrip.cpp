#include "manage/PictureStrip.h"

#include "manage/PictureLoading.h"
#include "manage/PictureOrder.h"
#include "system/Paths.h"

#include <dirent.h>
#include <sys/stat.h>

#include <strings.h>
#include <algorithm>
#include <cstring>

namespace qelvo {
namespace {

bool hasPictureExtension(const char* name, std::size_t length) {
    return isListedPictureName(std::string(name, length));
}

bool isDirectory(int dirFd, const dirent* entry) {
    if (entry->d_type == DT_DIR) return true;
    if (entry->d_type != DT_UNKNOWN && entry->d_type != DT_LNK) return false;
    struct stat st {};
    return ::fstatat(dirFd, entry->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::vector<std::string> PictureStrip::listPictures(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return names;
    const int fd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const std::size_t length = std::strlen(entry->d_name);
        if (hasPictureExtension(entry->d_name, length) && !isDirectory(fd, entry))
            names.emplace_back(entry->d_name, length);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return pictureNameLess(a, b); });
    return names;
}

void PictureStrip::listFolder(const std::string& folder, bool scrollToEnd) {
    names_ = listPictures(folder);
    if (barVisible() && scrollToEnd) first_ = pictureCount() - kSlots;
    fillSlots(first_);
}

void PictureStrip::fillSlots(int first) {
    for (std::string& s : slots_) s.clear();
    const int count = pictureCount();
    const int start = count < kSlots + 1 ? 0 : std::max(0, std::min(first, count - kSlots));
    shownFrom_ = start;
    for (int k = 0; k < kSlots && start + k < count; ++k) slots_[k] = names_[start + k];
}

void PictureStrip::bringIntoView(int index) {
    if (index < 0 || index >= pictureCount()) return;
    if (index < shownFrom_)
        first_ = index;
    else if (index >= shownFrom_ + kSlots)
        first_ = index - kSlots + 1;
    else
        first_ = shownFrom_;
    fillSlots(first_);
}

bool PictureStrip::barAction(const std::string& folder, BarAction action, int trackPosition) {
    listFolder(folder, false);
    const int last = std::max(0, pictureCount() - kSlots);
    switch (action) {
        case BarAction::LineLeft:
        case BarAction::PageLeft:
            first_ = std::max(0, first_ - 1);
            break;
        case BarAction::LineRight:
        case BarAction::PageRight:
            first_ = std::min(last, first_ + 1);
            break;
        case BarAction::Thumb:
            first_ = trackPosition;
            break;
        case BarAction::Top:
            first_ = 0;
            break;
        case BarAction::Bottom:
            first_ = last;
            break;
        case BarAction::EndScroll:
            return false;
    }
    fillSlots(first_);
    return true;
}

std::string PictureStrip::slotPath(const std::string& folder, int k) const {
    const std::string& name = slots_.at(k);
    return name.empty() ? std::string() : joinPath(folder, name);
}

int PictureStrip::slotListIndex(int k) const {
    return slots_.at(k).empty() ? -1 : shownFrom_ + k;
}

int PictureStrip::slotShowing(const std::string& folder, const std::string& path) const {
    for (int k = 0; k < kSlots; ++k)
        if (!slots_[k].empty() && slotPath(folder, k) == path) return k;
    return -1;
}

std::string PictureStrip::label(const std::string& name) {
    // Counted in characters, so a UTF-8 name is never cut inside a character.
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < name.size(); ++i)
        if ((static_cast<unsigned char>(name[i]) & 0xC0) != 0x80) starts.push_back(i);
    const std::size_t count = starts.size();
    auto at = [&](std::size_t character) {
        return character < count ? starts[character] : name.size();
    };
    // The extension goes whole: four characters for .jpg, .png and .tif, five for .jpeg
    // and .tiff.
    std::size_t tail = 4;
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && isListedPictureName(name)) tail = name.size() - dot;
    if (count >= 15 + tail) return name.substr(at(4), at(count - tail) - at(4));
    return name.substr(0, at(11));
}

}  // namespace qelvo
