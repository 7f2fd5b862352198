#include "manage/FolderList.h"

#include <cctype>

namespace qelvo {

bool FolderList::matches(const std::string& entry, const std::string& text) {
    if (text.size() > entry.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto a = static_cast<unsigned char>(entry[i]);
        const auto b = static_cast<unsigned char>(text[i]);
        if (std::tolower(a) != std::tolower(b)) return false;
    }
    return true;
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
