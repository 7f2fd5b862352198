#pragma once

#include <QString>

#include <cstdint>

namespace qelvo::test {

// The object name the camera controls page gives the row of control `id` (its value box
// adds "-value"): the V4L2 id as eight upper-case hex digits.
inline QString controlRowName(std::uint32_t id) {
    return QStringLiteral("%1").arg(id, 8, 16, QLatin1Char('0')).toUpper();
}

}  // namespace qelvo::test
