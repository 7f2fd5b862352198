#pragma once

#include "capture/CameraButtonWatch.h"
#include "support/CameraButtonInput.h"

#include <fcntl.h>
#include <linux/input.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <vector>

namespace qelvo::test {

// Stands in for a camera's event node: the watch reads the end of a pipe that the test
// writes event records into.
class ButtonPipe {
public:
    explicit ButtonPipe(CameraButtonWatch& watch) {
        // A reader that closed too early must fail the test, not end the process.
        std::signal(SIGPIPE, SIG_IGN);
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return;
        writer_ = fds[1];
        watch.watchDescriptor(fds[0], "button pipe");
    }
    ~ButtonPipe() { closeWriter(); }
    ButtonPipe(const ButtonPipe&) = delete;
    ButtonPipe& operator=(const ButtonPipe&) = delete;

    bool send(const std::vector<std::uint8_t>& bytes) {
        return writer_ >= 0 &&
               ::write(writer_, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    }
    // The camera key pressed and released, each followed by its report marker.
    bool press() { return send(keyEvent(KEY_CAMERA, 1) + keyEvent(KEY_CAMERA, 0)); }
    // As when the camera is unplugged.
    void closeWriter() {
        if (writer_ >= 0) ::close(writer_);
        writer_ = -1;
    }

private:
    int writer_ = -1;
};

}  // namespace qelvo::test
