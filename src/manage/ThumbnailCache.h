#pragma once

#include <QImage>
#include <QSize>

#include <cstdint>
#include <list>
#include <string>

namespace qelvo {

// Pictures already scaled to a thumbnail's size, keyed by path, file size, modification
// time and the size asked for, so a file rewritten in place shows its new content at once.
// The strip repaints often and a full-size decode of a camera picture is slow; at most
// kCapacity entries are kept, the least recently used going first.
class ThumbnailCache {
public:
    static constexpr std::size_t kCapacity = 48;

    // The picture at `path` stretched to `size` (nearest sample, aspect ratio not kept);
    // a null image when the file cannot be read as a JPEG picture.
    QImage scaled(const std::string& path, const QSize& size);

    void clear() { entries_.clear(); }
    std::size_t size() const { return entries_.size(); }
    // Decodes done so far (tests, benchmarks).
    std::uint64_t decodes() const { return decodes_; }

    // Reads and stretches the picture without the cache.
    static QImage decodeScaled(const std::string& path, const QSize& size);

private:
    struct Entry {
        std::string path;
        std::int64_t fileSize;
        std::int64_t modifiedNs;
        QSize size;
        QImage image;
    };
    std::list<Entry> entries_;  // most recently used first
    std::uint64_t decodes_ = 0;
};

}  // namespace qelvo
