#pragma once

#include <string>
#include <vector>

namespace qelvo {

// The remembered folders offered in the image management window's folder list, in insertion
// order, with one selected entry.  Entries match a text when they begin with it, compared
// without regard to ASCII letter case, as a list control's find-string does.
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

private:
    std::vector<std::string> entries_;
    int selected_ = -1;
};

}  // namespace qelvo
