#include "manage/ThumbnailCache.h"

#include "imaging/CxImage.h"
#include "imaging/DrawScaled.h"
#include "imaging/JpegThumbnail.h"

#include <sys/stat.h>

namespace qelvo {
namespace {

bool fileStamp(const std::string& path, std::int64_t& size, std::int64_t& modifiedNs) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    size = static_cast<std::int64_t>(info.st_size);
    modifiedNs = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    return true;
}

}  // namespace

QImage ThumbnailCache::decodeScaled(const std::string& path, const QSize& size) {
    if (size.isEmpty()) return {};
    ThumbnailPixels pixels;
    QImage picture;
    if (decodeJpegThumbnail(path.c_str(), size.width(), size.height(), pixels)) {
        picture = QImage(pixels.rgb.data(), pixels.width, pixels.height, pixels.width * 3,
                         QImage::Format_RGB888)
                      .copy();
    } else {
        // Pictures the scaled decoder refuses (CMYK, say) may still load in full.
        CxImage full;
        if (!full.LoadFile(path.c_str(), FormatJpeg)) return {};
        picture = ToQImage(full);
    }
    if (picture.isNull()) return {};
    return picture.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

QImage ThumbnailCache::scaled(const std::string& path, const QSize& size) {
    std::int64_t fileSize = 0, modified = 0;
    if (!fileStamp(path, fileSize, modified)) return {};
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->path == path && it->size == size) {
            if (it->fileSize == fileSize && it->modifiedNs == modified) {
                entries_.splice(entries_.begin(), entries_, it);
                return entries_.front().image;
            }
            entries_.erase(it);  // the file changed since
            break;
        }
    }
    ++decodes_;
    QImage image = decodeScaled(path, size);
    entries_.push_front({path, fileSize, modified, size, image});
    if (entries_.size() > kCapacity) entries_.pop_back();
    return image;
}

}  // namespace qelvo
