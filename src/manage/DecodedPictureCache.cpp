#include "manage/DecodedPictureCache.h"

#include "imaging/JpegTransform.h"

#include <sys/stat.h>

#include <cstdio>
#include <vector>

namespace qelvo {

void DecodedPictureCache::clear() {
    image_.Clear();
    valid_ = false;
    path_.clear();
    size_ = modifiedNs_ = -1;
    ++generation_;
}

const CxImage* DecodedPictureCache::picture(const std::string& path, bool completeOnly) {
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        if (valid_ || !path_.empty()) clear();
        return nullptr;
    }
    const std::int64_t modified =
        static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    if (path != path_ || info.st_size != size_ || modified != modifiedNs_) {
        clear();
        path_ = path;
        size_ = info.st_size;
        modifiedNs_ = modified;
        // One read serves both the completeness check and the decode.
        std::vector<std::uint8_t> bytes;
        if (ReadWholeFile(path, bytes) && !bytes.empty()) {
            complete_ = JpegDataComplete(bytes);
            if (std::FILE* stream = ::fmemopen(bytes.data(), bytes.size(), "rb")) {
                ++decodes_;
                valid_ = image_.Decode(stream, FormatJpeg);
                std::fclose(stream);
            }
        }
        if (!valid_) image_.Clear();
    }
    if (!valid_ || (completeOnly && !complete_)) return nullptr;
    return &image_;
}

}  // namespace qelvo
