#pragma once

#include <set>
#include <string>
#include <vector>

namespace qelvo {

// The pictures selected in the strip, as file managers select: a plain click selects one
// picture, Ctrl+click adds or removes one, Shift+click selects the range from the last
// picture clicked (the anchor) to this one.  Pictures are told by their file name in the
// folder's listing, so the selection stays while the strip scrolls.
class StripSelection {
public:
    enum class Click { Plain, Toggle, Extend };

    // A click on `names[index]` of the folder's listing `names`.
    void click(const std::vector<std::string>& names, int index, Click how);
    // After a relisting: pictures no longer listed leave the selection.
    void keepListed(const std::vector<std::string>& names);
    void selectOnly(const std::string& name);
    void clear();

    bool contains(const std::string& name) const { return selected_.count(name) != 0; }
    int count() const { return static_cast<int>(selected_.size()); }
    // The selected names in the listing's order.
    std::vector<std::string> inOrder(const std::vector<std::string>& names) const;

private:
    std::set<std::string> selected_;
    std::string anchor_;
};

}  // namespace qelvo
