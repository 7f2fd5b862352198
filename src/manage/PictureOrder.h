#pragma once

#include <string_view>

namespace qelvo {

// Strip order of picture file names: the names are compared without their 4-character
// extension, and runs of digits compare by value.  A snapshot taken in the same second as
// another gets "-1", "-2", ... "-10" before ".jpg", so this keeps
// "X.jpg" < "X-1.jpg" < "X-2.jpg" < "X-10.jpg" < "Y.jpg" and the newest picture last.
bool pictureNameLess(std::string_view a, std::string_view b);

}  // namespace qelvo
