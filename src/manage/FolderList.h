#pragma once

#include <string>
#include <vector>

namespace qelvo {

// The remembered folders offered in the image management window's folder list, in insertion
// order, with one selected entry.  An entry matches a path only when both name the same
// folder: the whole path, letter case as the file system has it, a trailing slash ignored.
class FolderList {
public:
    const std::vector<std::string>& entries() const { return entries_; }
    int selected() const { return selected_; }
    std::string selectedText() const;

    // The first matching entry, looking from the second entry to the last and then at the
    // first; -1 when none matches.
    int find(const std::string& text) const;
    // Removes matching entries until none is left.
    void removeMatching(const std::string& text);
    // Appends an entry and returns its index.
    int add(const std::string& entry);
    void select(int index);
    void clear();

    static bool matches(const std::string& entry, const std::string& text);
    // The path without its trailing slashes ("/" stays "/").
    static std::string withoutTrailingSlash(const std::string& path);

private:
    std::vector<std::string> entries_;
    int selected_ = -1;
};

}  // namespace qelvo
