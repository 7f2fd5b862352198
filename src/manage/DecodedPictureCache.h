#pragma once

#include "imaging/CxImage.h"

#include <cstdint>
#include <string>

namespace qelvo {

// The current picture, decoded once per file state: keyed by path, file size and
// modification time, so every view command, pan step and loupe move reuses one decode
// while a file rewritten in place (by a tool or another program) is read again.  The file's
// identity and change time are part of the key too: a rewrite that replaces the file keeps
// size and modification time alike on a file system with coarse times.
class DecodedPictureCache {
public:
    // The picture at `path`, or nullptr when it is missing or cannot be decoded.  With
    // `completeOnly` a JPEG file cut short (which decodes with grey fill) counts as
    // unreadable too.
    const CxImage* picture(const std::string& path, bool completeOnly = false);
    // Forgets the decoded picture.
    void clear();
    // Decodes done so far (tests, benchmarks).
    std::uint64_t decodes() const { return decodes_; }
    // Changes whenever the cached picture does, so drawings made from it can be reused.
    std::uint64_t generation() const { return generation_; }

private:
    CxImage image_;
    bool complete_ = false;
    bool valid_ = false;
    std::string path_;
    std::int64_t size_ = -1;
    std::int64_t modifiedNs_ = -1;
    std::int64_t changedNs_ = -1;
    std::uint64_t device_ = 0;
    std::uint64_t inode_ = 0;
    std::uint64_t decodes_ = 0;
    std::uint64_t generation_ = 0;
};

}  // namespace qelvo
