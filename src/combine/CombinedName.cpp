#include "combine/CombinedName.h"

#include <filesystem>
#include <system_error>

namespace qelvo::combine {

const char* combinedSuffix(CombineKind kind) {
    return kind == CombineKind::FocusStack ? "edf" : "mosaic";
}

std::string combinedPictureName(CombineKind kind, const std::string& firstInput) {
    namespace fs = std::filesystem;
    const fs::path input(firstInput);
    if (!input.has_filename()) return {};
    const std::string stem = input.stem().string() + "-" + combinedSuffix(kind);
    const std::string extension = input.extension().string();
    for (int n = 1; n <= 100000; ++n) {
        const std::string name =
            n == 1 ? stem + extension : stem + " " + std::to_string(n) + extension;
        const fs::path candidate = input.parent_path() / name;
        std::error_code error;
        // A name that cannot even be checked is not taken: better a later number than a loss.
        if (fs::symlink_status(candidate, error).type() == fs::file_type::not_found)
            return candidate.string();
    }
    return {};
}

}  // namespace qelvo::combine
