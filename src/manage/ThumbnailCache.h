#pragma once

#include <QImage>
#include <QSize>

#include <cstdint>
#include <list>
#include <string>
#include <vector>

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

    // Decodes the pictures not yet cached on several threads at once, so a strip that
    // brings in eight new pictures waits for about one decode per core rather than eight.
    // GUI thread only (the cache itself is not shared); the decodes run on helper threads.
    void prefetch(const std::vector<std::string>& paths, const QSize& size);

    void clear() { entries_.clear(); }
    std::size_t size() const { return entries_.size(); }
    // Decodes done so far (tests, benchmarks).
    std::uint64_t decodes() const { return decodes_; }

    // Reads and stretches the picture without the cache.
    static QImage decodeScaled(const std::string& path, const QSize& size);

private:
    void insert(const std::string& path, std::int64_t fileSize, std::int64_t modifiedNs,
                const QSize& size, QImage image);
    // The cached entry for exactly this file state, moved to the front; or nullptr (a
    // stale entry for the path is dropped).
    const QImage* find(const std::string& path, std::int64_t fileSize, std::int64_t modifiedNs,
                       const QSize& size);

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
