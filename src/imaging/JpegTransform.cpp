#include "imaging/JpegTransform.h"

#include "imaging/CxImage.h"
#include "imaging/ExifEditor.h"
#include "imaging/PictureRewrite.h"

#include <turbojpeg.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

namespace qelvo {

namespace {

int TurboOperation(JpegTurn turn) {
    switch (turn) {
        case JpegTurn::QuarterClockwise:
            return TJXOP_ROT90;
        case JpegTurn::HalfTurn:
            return TJXOP_ROT180;
        case JpegTurn::FlipVertical:
            return TJXOP_VFLIP;
        case JpegTurn::MirrorHorizontal:
            return TJXOP_HFLIP;
    }
    return TJXOP_NONE;
}

struct TurboHandle {
    void operator()(void* handle) const { tjDestroy(handle); }
};
struct TurboBuffer {
    void operator()(unsigned char* buffer) const { tjFree(buffer); }
};

}  // namespace

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    auto refuse = [&](int error) {
        ::close(fd);
        bytes.clear();
        errno = error;
        return false;
    };
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
        if (static_cast<std::uint64_t>(info.st_size) > kMaxImageBytes) return refuse(EFBIG);
        bytes.reserve(static_cast<std::size_t>(info.st_size));
    }
    std::uint8_t chunk[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return refuse(errno);
        if (n == 0) break;
        // A file still growing is held to the same bound.
        if (bytes.size() + static_cast<std::size_t>(n) > kMaxImageBytes) return refuse(EFBIG);
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    ::close(fd);
    return true;
}

int WriteFileAtomically(const std::string& path, const std::uint8_t* data, std::size_t size) {
    const std::size_t slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string temp = folder + ".qelvo-transform-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return errno;
    int failure = 0;
    for (std::size_t done = 0; done < size && failure == 0;) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            failure = n < 0 ? errno : EIO;
        else
            done += static_cast<std::size_t>(n);
    }
    if (failure == 0 && ::fsync(fd) != 0) failure = errno;
    struct stat existing {};
    // mkstemp makes the file private; a replaced picture keeps its own permissions, a new
    // one gets the usual ones.
    const mode_t mode = ::stat(path.c_str(), &existing) == 0 ? existing.st_mode & 07777 : 0644;
    if (failure == 0 && ::fchmod(fd, mode) != 0) failure = errno;
    if (::close(fd) != 0 && failure == 0) failure = errno;
    if (failure == 0 && ::rename(temp.c_str(), path.c_str()) != 0) failure = errno;
    if (failure != 0) ::unlink(temp.c_str());
    return failure;
}

bool JpegDataComplete(const std::vector<std::uint8_t>& bytes) {
    const std::size_t n = bytes.size();
    if (n < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8) return false;
    // Walk the marker segments up to the first scan (an embedded thumbnail's markers sit
    // inside its segment and are skipped with it).
    std::size_t i = 2;
    for (;;) {
        while (i < n && bytes[i] != 0xFF) ++i;
        while (i < n && bytes[i] == 0xFF) ++i;
        if (i >= n) return false;
        const std::uint8_t marker = bytes[i++];
        if (marker == 0xD9) return false;  // end of image before any scan
        if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) continue;
        if (i + 2 > n) return false;
        const std::size_t length = (std::size_t{bytes[i]} << 8) | bytes[i + 1];
        if (length < 2) return false;
        i += length;
        if (marker == 0xDA) break;
    }
    // Entropy-coded data never holds 0xFF 0xD9 (its 0xFF bytes are stuffed or restart
    // markers), so the first one is the end of the image.
    for (; i + 1 < n; ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xD9) return true;
    return false;
}

LosslessOutcome TransformJpegLosslessly(const std::string& path, JpegTurn turn,
                                        std::string& error) {
    std::vector<std::uint8_t> source;
    if (!ReadWholeFile(path, source) || !JpegDataComplete(source))
        return LosslessOutcome::NotPossible;
    std::unique_ptr<void, TurboHandle> handle(tjInitTransform());
    if (!handle) return LosslessOutcome::NotPossible;
    // The transform holds every coefficient of the picture at once: a picture larger than
    // the decoder accepts is left to the decoding path, which refuses it with its reason.
    int width = 0, height = 0, sampling = 0, colours = 0;
    if (tjDecompressHeader3(handle.get(), source.data(), static_cast<unsigned long>(source.size()),
                            &width, &height, &sampling, &colours) != 0)
        return LosslessOutcome::NotPossible;
    const std::uint64_t bytesPerPixel = colours == TJCS_GRAY ? 1 : 3;
    if (std::uint64_t(width) * std::uint64_t(height) * bytesPerPixel > kMaxImageBytes)
        return LosslessOutcome::NotPossible;

    tjtransform transform{};
    transform.op = TurboOperation(turn);
    // Refuse rather than drop the partial blocks at the right or bottom edge.
    transform.options = TJXOPT_PERFECT;
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    const int status =
        tjTransform(handle.get(), source.data(), static_cast<unsigned long>(source.size()), 1, &out,
                    &outSize, &transform, TJFLAG_STOPONWARNING);
    std::unique_ptr<unsigned char, TurboBuffer> result(out);
    if (status != 0 || !result || outSize == 0) return LosslessOutcome::NotPossible;

    // The transform copies the markers as they were: the EXIF block still describes the
    // picture before the turn.
    std::vector<std::uint8_t> turned(result.get(), result.get() + outSize);
    result.reset();
    const bool quarter = turn == JpegTurn::QuarterClockwise;
    ResetJpegExifLayout(turned, static_cast<std::uint32_t>(quarter ? height : width),
                        static_cast<std::uint32_t>(quarter ? width : height));
    error = RewritePictureFile(path, turned.data(), turned.size());
    return error.empty() ? LosslessOutcome::Done : LosslessOutcome::SaveFailed;
}

}  // namespace qelvo
