#include "devices/KeyPressReader.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace qelvo {
namespace {

// Reads per wake-up before the event loop gets its turn again; a source that never stops
// writing cannot hold the GUI thread.
constexpr int kMaxReadsPerWake = 16;
constexpr std::size_t kReadBytes = 4096;

void sayOnce(const std::string& line) {
    std::fprintf(stderr, "camera button: %s\n", line.c_str());
}

}  // namespace

KeyPressReader::KeyPressReader(int fd, std::string name, OnPress onPress)
    : fd_(fd), name_(std::move(name)), onPress_(std::move(onPress)) {
    if (fd_ < 0) return;
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags >= 0) ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK);
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read);
    QObject::connect(notifier_, &QSocketNotifier::activated, notifier_,
                     [this] { readAvailable(); });
}

KeyPressReader::~KeyPressReader() {
    dropNotifier();
    if (fd_ >= 0) ::close(fd_);
}

void KeyPressReader::dropNotifier() {
    if (!notifier_) return;
    notifier_->setEnabled(false);
    // Inside a read the notifier is the sender of the running call: it goes once control
    // is back in the event loop.
    if (readDepth_ > 0)
        notifier_->deleteLater();
    else
        delete notifier_;
    notifier_ = nullptr;
}

std::unique_ptr<KeyPressReader> KeyPressReader::open(const std::string& path, OnPress onPress) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == EACCES || error == EPERM)
            sayOnce("cannot read " + path + " (" + std::strerror(error) +
                    "); add the user to the 'input' group and log in again, or give the "
                    "camera's event node TAG+=\"uaccess\" in a udev rule and plug the camera "
                    "in again");
        else
            sayOnce("cannot open " + path + " (" + std::strerror(error) + ")");
        return nullptr;
    }
    return std::make_unique<KeyPressReader>(fd, path, std::move(onPress));
}

void KeyPressReader::readAvailable() {
    if (fd_ < 0) return;
    ++readDepth_;
    std::vector<std::uint16_t> presses;
    std::string closing;
    std::uint8_t buffer[kReadBytes];
    for (int reads = 0; reads < kMaxReadsPerWake; ++reads) {
        const ssize_t got = ::read(fd_, buffer, sizeof buffer);
        if (got > 0) {
            const auto decoded = decodeKeyPresses(carry_, {buffer, std::size_t(got)});
            presses.insert(presses.end(), decoded.begin(), decoded.end());
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        closing = got == 0 ? std::string("end of input") : std::string(std::strerror(errno));
        break;
    }
    // Closed before the presses are handed on: a handler may run a nested event loop (a
    // message box), which must not find the dead descriptor still watched.
    if (!closing.empty()) close(closing);
    const std::weak_ptr<int> alive = lifetime_;
    for (std::uint16_t code : presses) {
        if (onPress_) onPress_(code);
        if (alive.expired()) return;  // the handler ended the reader
    }
    --readDepth_;
}

void KeyPressReader::close(const std::string& why) {
    if (fd_ < 0) return;
    sayOnce(name_ + " closed (" + why + ")");
    dropNotifier();
    ::close(fd_);
    fd_ = -1;
    carry_.partial.clear();
}

}  // namespace qelvo
