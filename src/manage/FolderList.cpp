#include "manage/FolderList.h"

namespace qelvo {

std::string FolderList::withoutTrailingSlash(const std::string& path) {
    std::size_t end = path.size();
    while (end > 1 && path[end - 1] == '/') --end;
    return path.substr(0, end);
}

bool FolderList::matches(const std::string& entry, const std::string& text) {
    // A prefix or a letter-case match would take another folder for the one meant, and
    // snapshots would go there.
    return withoutTrailingSlash(entry) == withoutTrailingSlash(text);
}

std::string FolderList::selectedText() const {
    if (selected_ < 0 || selected_ >= static_cast<int>(entries_.size())) return {};
    return entries_[selected_];
}

int FolderList::find(const std::string& text) const {
    const int n = static_cast<int>(entries_.size());
    for (int step = 1; step <= n; ++step) {
        const int i = step % n;  // 1, 2, ..., n-1, then 0
        if (matches(entries_[i], text)) return i;
    }
    return -1;
}

void FolderList::removeMatching(const std::string& text) {
    for (int i = find(text); i >= 0; i = find(text)) {
        entries_.erase(entries_.begin() + i);
        if (selected_ == i)
            selected_ = -1;
        else if (selected_ > i)
            --selected_;
    }
}

int FolderList::add(const std::string& entry) {
    entries_.push_back(entry);
    return static_cast<int>(entries_.size()) - 1;
}

void FolderList::select(int index) {
    selected_ = (index >= 0 && index < static_cast<int>(entries_.size())) ? index : -1;
}

void FolderList::clear() {
    entries_.clear();
    selected_ = -1;
}

}  // namespace qelvo
