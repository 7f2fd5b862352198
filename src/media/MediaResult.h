#pragma once

#include <string>

namespace qelvo {

// Why a media operation failed.
enum class MediaError {
    None,
    General,        // the framework could not start, or an unspecified failure
    NotFound,       // no such device, output or element
    NoInterface,    // the component does not offer that operation (wrong kind, no renderer)
    CreateFailed,   // a component could not be created
    AddFailed,      // a component could not be added to the graph
    ConnectFailed,  // two components could not be linked
    NotConnected,   // a grabber has no negotiated format (not linked, or no frame came)
    Refused,        // the device does not allow the requested format
    StateFailed,    // the graph could not change state (device busy, file not writable...)
    Timeout,        // a bounded wait ran out
    Stream,         // an error was posted while streaming
};

// Result of every media operation: success, or an error with a readable reason.
class MediaResult {
public:
    MediaResult() = default;
    static MediaResult success() { return MediaResult(); }
    static MediaResult failure(MediaError error, std::string message) {
        MediaResult r;
        r.error_ = error == MediaError::None ? MediaError::General : error;
        r.message_ = std::move(message);
        return r;
    }

    bool ok() const { return error_ == MediaError::None; }
    explicit operator bool() const { return ok(); }
    MediaError error() const { return error_; }
    const std::string& message() const { return message_; }

private:
    MediaError error_ = MediaError::None;
    std::string message_;
};

}  // namespace qelvo
