// Loading, saving, decoding and encoding of pictures.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

#include "imaging/CxImage.h"
#include "imaging/JpegCodec.h"
#include "imaging/WbmpCodec.h"

namespace qelvo {

namespace {

std::atomic<unsigned> g_tempCounter{0};

// Creates a new file in the folder of `target` with a name no other writer uses; -1 on
// failure. The name does not grow with the target's, so any name that fits fits here too.
int CreateTempBeside(const std::string& target, std::string& tempPath) {
    const std::size_t slash = target.rfind('/');
    const std::string dir =
        slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = dir + ".qelvo-save-" + std::to_string(::getpid()) + "-" +
                   std::to_string(g_tempCounter.fetch_add(1)) + ".tmp";
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

}  // namespace

bool CxImage::LoadFile(const char* path, int format) {
    if (!path) return false;
    if (format == FormatJpeg || format == FormatWbmp) {
        std::FILE* f = std::fopen(path, "rb");
        if (!f) return false;
        const bool ok = Decode(f, format);
        std::fclose(f);
        if (ok) return true;
    }
    char kept[sizeof lastError_];
    std::memcpy(kept, lastError_, sizeof kept);
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    const bool ok = Decode(f, FormatUnknown);
    std::fclose(f);
    if (!ok && format != FormatUnknown) std::memcpy(lastError_, kept, sizeof kept);
    return ok;
}

bool CxImage::Decode(std::FILE* stream, int format) {
    if (!stream) {
        SetLastError("null file handler");
        return false;
    }
    const long start = std::ftell(stream);
    auto rewind = [&] {
        std::clearerr(stream);
        if (start >= 0) std::fseek(stream, start, SEEK_SET);
    };
    // Each decoder fills a fresh picture carrying this picture's attributes, so a failed
    // decode leaves this picture as it was.
    auto attempt = [&](int as) {
        CxImage fresh(as);
        fresh.CopyAttributesFrom(*this);
        fresh.format_ = as;
        const bool ok = as == FormatJpeg ? JpegDecode(stream, fresh) : WbmpDecode(stream, fresh);
        if (ok) {
            AdoptBlockFrom(fresh);
            CopyAttributesFrom(fresh);
            format_ = as;
            WriteHeaderToBlock();
        } else {
            SetLastError(fresh.LastError());
            rewind();
        }
        return ok;
    };
    if (format == FormatWbmp) return attempt(FormatWbmp);
    if (attempt(FormatJpeg)) return true;
    if (format == FormatJpeg) return false;
    if (attempt(FormatWbmp)) return true;
    SetLastError("Decode: Unknown or wrong format");
    return false;
}

bool CxImage::Encode(std::FILE* stream, int format) {
    if (format == FormatJpeg) return JpegEncode(stream, *this);
    if (format == FormatWbmp) return WbmpEncode(stream, *this);
    SetLastError("Encode: Unknown format");
    return false;
}

bool CxImage::SaveFile(const char* path, int format) {
    if (!path || !*path) return false;
    const std::string target(path);
    std::string temp;
    const int fd = CreateTempBeside(target, temp);
    if (fd < 0) return false;
    std::FILE* f = ::fdopen(fd, "wb");
    if (!f) {
        ::close(fd);
        ::unlink(temp.c_str());
        return false;
    }
    bool ok = Encode(f, format);
    ok = ok && std::fflush(f) == 0 && ::fsync(fd) == 0;
    // A replaced picture keeps the permissions it had.
    struct stat existing {};
    if (ok && ::stat(path, &existing) == 0) ::fchmod(fd, existing.st_mode & 07777);
    if (std::fclose(f) != 0) ok = false;
    if (ok && ::rename(temp.c_str(), path) != 0) ok = false;
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

}  // namespace qelvo
