#pragma once

#include "devices/InputEventDecoder.h"

#include <QSocketNotifier>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace qelvo {

// Reads key presses from an event device, or from any descriptor carrying event records, on
// the GUI thread without ever blocking it: the descriptor is non-blocking and a socket
// notifier runs the read when bytes are waiting.  End of file or a read error (the device was
// unplugged) closes the reader with one line on standard error.
class KeyPressReader {
public:
    using OnPress = std::function<void(std::uint16_t code)>;

    // Takes `fd` (set non-blocking here) and closes it when done.  `name` names the source
    // in messages.  Presses are reported on the thread that makes the reader.
    KeyPressReader(int fd, std::string name, OnPress onPress);
    ~KeyPressReader();
    KeyPressReader(const KeyPressReader&) = delete;
    KeyPressReader& operator=(const KeyPressReader&) = delete;

    // Opens an event device for reading.  Null on failure, with one line on standard error
    // that says why and, when permissions stand in the way, how to grant them.
    static std::unique_ptr<KeyPressReader> open(const std::string& path, OnPress onPress);

    bool isOpen() const { return fd_ >= 0; }
    const std::string& name() const { return name_; }

private:
    void readAvailable();
    void close(const std::string& why);
    void dropNotifier();

    int fd_;
    std::string name_;
    OnPress onPress_;
    InputEventCarry carry_;
    QSocketNotifier* notifier_ = nullptr;
    int readDepth_ = 0;  // reads running, nested ones included
    // Expires with the reader, so a press handler that ends it is noticed.
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
};

}  // namespace qelvo
