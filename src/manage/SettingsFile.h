#pragma once

#include <functional>
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

    // Calls `line` for each of the file's lines, in order, with its line feed (and a carriage
    // return before it) removed; the lines are not kept, so a huge file costs no memory.
    // Fails when the file cannot be opened or is not a regular file.
    bool forEachLine(const std::function<void(const std::string&)>& line) const;
    // The file's lines as forEachLine gives them.
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
