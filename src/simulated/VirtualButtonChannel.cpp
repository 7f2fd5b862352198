#include "simulated/VirtualButtonChannel.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>

#include "system/Paths.h"

namespace qelvo {
namespace {

std::string hexName(const std::string& name) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(name.size() * 2);
    for (unsigned char c : name) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 0x0F]);
    }
    return out;
}

constexpr const char* kButtonsFolder = "buttons";

std::string buttonsDir() {
    return joinPath(runtimeDir(), kButtonsFolder);
}

// Reads at most a few bytes: a counter never needs more, and a huge or foreign file must
// not be slurped.  A missing file is a count of 0; false when the file is there but cannot
// be read or holds no count.
bool readCount(const std::string& file, std::uint64_t& count) {
    int fd = openRegularFile(file, O_RDONLY);
    if (fd < 0) {
        if (errno != ENOENT) return false;
        count = 0;
        return true;
    }
    char buf[32];
    ssize_t n = ::read(fd, buf, sizeof buf);
    ::close(fd);
    if (n <= 0) return false;
    const char* end = buf + n;
    while (end > buf && (end[-1] == '\n' || end[-1] == ' ')) --end;
    std::uint64_t value = 0;
    auto [ptr, ec] = std::from_chars(buf, end, value);
    if (ec != std::errc() || ptr != end) return false;
    count = value;
    return true;
}

bool writeWhole(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::string stillPressFile(const std::string& deviceName) {
    return joinPath(buttonsDir(), hexName(deviceName) + ".still");
}

bool pressStill(const std::string& deviceName) {
    // The counters sit in the private runtime folder, where no other user can plant one.
    if (privateRuntimeSubfolder(kButtonsFolder).empty()) return false;
    const std::string file = stillPressFile(deviceName);

    // Two presses from two processes must both count: the read-increment-write runs
    // under an exclusive lock on a companion file.
    const std::string lockPath = file + ".lock";
    int lockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd < 0) return false;
    while (::flock(lockFd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            ::close(lockFd);
            return false;
        }
    }

    std::uint64_t count = 0;
    if (!readCount(file, count)) count = 0;  // a damaged counter starts again
    const std::string text = std::to_string(count + 1) + "\n";
    const std::string temp = file + ".tmp." + std::to_string(::getpid());
    bool ok = false;
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ok = writeWhole(fd, text);
        ok = (::close(fd) == 0) && ok;
        ok = ok && ::rename(temp.c_str(), file.c_str()) == 0;
        if (!ok) ::unlink(temp.c_str());
    }
    ::flock(lockFd, LOCK_UN);
    ::close(lockFd);
    return ok;
}

std::uint64_t stillPressCount(const std::string& deviceName) {
    std::uint64_t count = 0;
    return readCount(stillPressFile(deviceName), count) ? count : 0;
}

bool readStillPressCount(const std::string& file, std::uint64_t& count) {
    return readCount(file, count);
}

}  // namespace qelvo
