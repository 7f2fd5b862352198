#pragma once

#include "capture/CameraButtonWatch.h"
#include "devices/InputEventDecoder.h"

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
    bool press() {
        std::vector<std::uint8_t> bytes;
        for (const auto& record :
             {encodeInputEvent(EV_KEY, KEY_CAMERA, 1), encodeInputEvent(EV_SYN, SYN_REPORT, 0),
              encodeInputEvent(EV_KEY, KEY_CAMERA, 0), encodeInputEvent(EV_SYN, SYN_REPORT, 0)})
            bytes.insert(bytes.end(), record.begin(), record.end());
        return send(bytes);
    }
    // As when the camera is unplugged.
    void closeWriter() {
        if (writer_ >= 0) ::close(writer_);
        writer_ = -1;
    }

private:
    int writer_ = -1;
};

}  // namespace qelvo::test
