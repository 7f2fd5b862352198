#pragma once
#include <string>
#include <vector>

namespace qelvo::combine {

enum class CombineKind { FocusStack, Mosaic };

// Where a combined picture goes when the user did not choose: beside the first input, named
// after it ("NAME-edf.EXT" or "NAME-mosaic.EXT", keeping its extension), with " 2", " 3", ...
// added until the name is free, so that no file, input or not, is ever overwritten.  Empty
// when `firstInput` has no file name or no free name can be found.
std::string combinedPictureName(CombineKind kind, const std::string& firstInput);

// The suffix each kind adds to the first input's name: "edf" or "mosaic".
const char* combinedSuffix(CombineKind kind);

}  // namespace qelvo::combine
