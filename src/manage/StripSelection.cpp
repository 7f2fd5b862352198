#include "manage/StripSelection.h"

#include <algorithm>

namespace qelvo {

void StripSelection::click(const std::vector<std::string>& names, int index, Click how) {
    if (index < 0 || index >= static_cast<int>(names.size())) return;
    const std::string& name = names[index];
    switch (how) {
        case Click::Plain:
            selectOnly(name);
            return;
        case Click::Toggle:
            if (!selected_.erase(name)) selected_.insert(name);
            anchor_ = name;
            return;
        case Click::Extend: {
            const auto at = std::find(names.begin(), names.end(), anchor_);
            if (anchor_.empty() || at == names.end()) {
                selectOnly(name);
                return;
            }
            // The range replaces the selection; the anchor stays for the next Shift+click.
            const int from = static_cast<int>(at - names.begin());
            selected_.clear();
            for (int k = std::min(from, index); k <= std::max(from, index); ++k)
                selected_.insert(names[k]);
            return;
        }
    }
}

void StripSelection::keepListed(const std::vector<std::string>& names) {
    const std::set<std::string> listed(names.begin(), names.end());
    std::erase_if(selected_, [&](const std::string& name) { return !listed.count(name); });
    if (!listed.count(anchor_)) anchor_.clear();
}

void StripSelection::selectOnly(const std::string& name) {
    selected_ = {name};
    anchor_ = name;
}

void StripSelection::clear() {
    selected_.clear();
    anchor_.clear();
}

std::vector<std::string> StripSelection::inOrder(const std::vector<std::string>& names) const {
    std::vector<std::string> out;
    for (const std::string& name : names)
        if (contains(name)) out.push_back(name);
    return out;
}

}  // namespace qelvo
