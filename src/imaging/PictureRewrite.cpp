#include "imaging/PictureRewrite.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "imaging/CxImage.h"
#include "imaging/JpegTransform.h"

namespace qelvo {

std::string RewritePictureFile(const std::string& path, const std::uint8_t* data,
                               std::size_t size) {
    // The rename replaces a directory entry: for a link, that must be its target's entry.
    std::string target = path;
    struct stat entry {};
    if (::lstat(path.c_str(), &entry) == 0 && S_ISLNK(entry.st_mode)) {
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (!resolved) return std::strerror(errno);
        target = resolved;
        std::free(resolved);
    }
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0) {
        if (!S_ISREG(existing.st_mode)) return "not a regular file";
        // A picture nobody may write is kept as it is, even by a user whom the system
        // would let replace it (the folder's owner, or root).
        if ((existing.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0)
            return kReadOnlyReason;
    }
    const int failure = WriteFileAtomically(target, data, size);
    return failure == 0 ? std::string() : std::strerror(failure);
}

bool EncodeJpeg(CxImage& picture, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* stream = ::open_memstream(&buffer, &size);
    if (!stream) {
        picture.SetLastError("not enough memory");
        return false;
    }
    const bool encoded = picture.Encode(stream, FormatJpeg);
    const bool closed = std::fclose(stream) == 0;
    if (encoded && closed) bytes.assign(buffer, buffer + size);
    std::free(buffer);
    if (encoded && !closed) picture.SetLastError("not enough memory");
    return encoded && closed;
}

}  // namespace qelvo
