#include "app/StorageFolderCheck.h"

#include "system/Paths.h"
#include "system/SessionState.h"

#include <sys/stat.h>

namespace qelvo {

std::string checkStorageFolder(const std::string& root, const std::string& fallback) {
    if (!isAccessibleFolder(root)) ::mkdir(root.c_str(), 0755);
    const std::string chosen = isAccessibleFolder(root) ? root : fallback;
    setStorageFolder(chosen);
    return chosen;
}

}  // namespace qelvo
