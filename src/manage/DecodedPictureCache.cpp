#include "manage/DecodedPictureCache.h"

#include "imaging/JpegTransform.h"
#include "manage/PictureLoading.h"

#include <sys/stat.h>

#include <cstdio>
#include <vector>

namespace qelvo {

void DecodedPictureCache::clear() {
    image_.Clear();
    valid_ = false;
    path_.clear();
    size_ = modifiedNs_ = changedNs_ = -1;
    device_ = inode_ = 0;
    ++generation_;
}

const CxImage* DecodedPictureCache::picture(const std::string& path, bool completeOnly) {
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        if (valid_ || !path_.empty()) clear();
        return nullptr;
    }
    auto nanoseconds = [](const timespec& t) {
        return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
    };
    const std::int64_t modified = nanoseconds(info.st_mtim), changed = nanoseconds(info.st_ctim);
    if (path != path_ || info.st_size != size_ || modified != modifiedNs_ ||
        changed != changedNs_ || info.st_dev != device_ || info.st_ino != inode_) {
        clear();
        path_ = path;
        size_ = info.st_size;
        modifiedNs_ = modified;
        changedNs_ = changed;
        device_ = info.st_dev;
        inode_ = info.st_ino;
        // One read serves both the completeness check and the decode.
        std::vector<std::uint8_t> bytes;
        if (ReadWholeFile(path, bytes) && !bytes.empty()) {
            if (isJpegBytes(bytes)) {
                complete_ = JpegDataComplete(bytes);
                if (std::FILE* stream = ::fmemopen(bytes.data(), bytes.size(), "rb")) {
                    ++decodes_;
                    valid_ = image_.Decode(stream, FormatJpeg);
                    std::fclose(stream);
                }
            } else {
                // PNG and TIFF readers refuse a damaged or cut-short file outright.
                ++decodes_;
                valid_ = loadPictureBytes(bytes, image_, nullptr);
                complete_ = valid_;
            }
        }
        if (!valid_) image_.Clear();
    }
    if (!valid_ || (completeOnly && !complete_)) return nullptr;
    return &image_;
}

}  // namespace qelvo
