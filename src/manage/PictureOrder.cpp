#include "manage/PictureOrder.h"

namespace qelvo {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view stem(std::string_view name) {
    return name.size() >= 4 ? name.substr(0, name.size() - 4) : name;
}

// Compares the digit runs at the front of a and b by value (leading zeros ignored) and
// moves both past them.  Returns <0, 0 or >0.
int compareNumber(std::string_view& a, std::string_view& b) {
    std::size_t la = 0, lb = 0;
    while (la < a.size() && isDigit(a[la])) ++la;
    while (lb < b.size() && isDigit(b[lb])) ++lb;
    std::string_view na = a.substr(0, la), nb = b.substr(0, lb);
    a.remove_prefix(la);
    b.remove_prefix(lb);
    while (na.size() > 1 && na.front() == '0') na.remove_prefix(1);
    while (nb.size() > 1 && nb.front() == '0') nb.remove_prefix(1);
    if (na.size() != nb.size()) return na.size() < nb.size() ? -1 : 1;
    return na.compare(nb);
}

int compareNatural(std::string_view a, std::string_view b) {
    while (!a.empty() && !b.empty()) {
        if (isDigit(a.front()) && isDigit(b.front())) {
            if (const int c = compareNumber(a, b)) return c;
            continue;
        }
        const auto ca = static_cast<unsigned char>(a.front());
        const auto cb = static_cast<unsigned char>(b.front());
        if (ca != cb) return ca < cb ? -1 : 1;
        a.remove_prefix(1);
        b.remove_prefix(1);
    }
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return 0;
}

}  // namespace

bool pictureNameLess(std::string_view a, std::string_view b) {
    if (const int c = compareNatural(stem(a), stem(b))) return c < 0;
    // Equal by value ("7.jpg" and "007.jpg", or "a.jpg" and "a.JPG"): plain byte order keeps
    // the listing total and stable.
    return a < b;
}

}  // namespace qelvo
