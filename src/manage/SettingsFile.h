#pragma once

#include <string>
#include <vector>

namespace qelvo {

// The settings file "QELVO-LAB.cfg" in the storage root: one folder path per line, lines
// only ever appended.
class SettingsFile {
public:
    static constexpr const char* kFileName = "QELVO-LAB.cfg";
    // Lines are read through a 2079-byte buffer: a longer line comes back in pieces of at
    // most this many bytes, each taken as a path of its own.
    static constexpr std::size_t kMaxPiece = 2078;

    explicit SettingsFile(std::string root);

    const std::string& path() const { return path_; }

    // The file's lines with their line feed (and a carriage return before it) removed.
    // Fails when the file cannot be opened.
    bool readLines(std::vector<std::string>& lines) const;
    // Creates the file empty.  False when it cannot be created.
    bool createEmpty() const;
    // Appends "line\n" to the existing file.  False (and nothing written) when it cannot be
    // opened.
    bool append(const std::string& line) const;

private:
    std::string path_;
};

}  // namespace qelvo
