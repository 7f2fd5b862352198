#pragma once

#include <QDir>

namespace qelvo::art {

// Writes pictures of each window as it will look (every skinned control at its place,
// showing frame `frame`) and a contact sheet of all strips, for checking the art by eye.
bool writePreviews(const QDir& artFolder, const QDir& out);

}  // namespace qelvo::art
