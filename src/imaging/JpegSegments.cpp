#include "imaging/JpegSegments.h"

#include <cstring>

namespace qelvo {

namespace {

constexpr std::size_t kLargestPayload = 0xFFFF - 2;

bool StandAlone(std::uint8_t marker) {
    return (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01;
}

}  // namespace

bool WalkJpegSegments(const std::vector<std::uint8_t>& jpeg,
                      const std::function<bool(const JpegSegment&)>& visit) {
    const std::size_t n = jpeg.size();
    if (n < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) return false;
    std::size_t i = 2;
    for (;;) {
        if (i >= n || jpeg[i] != 0xFF) return false;
        const std::size_t start = i;
        while (i < n && jpeg[i] == 0xFF) ++i;  // fill bytes
        if (i >= n) return false;
        const std::uint8_t marker = jpeg[i++];
        if (StandAlone(marker)) continue;
        if (marker == 0xD8 || marker == 0xD9 || marker == 0x00) return false;
        if (n - i < 2) return false;
        const std::size_t length = (std::size_t{jpeg[i]} << 8) | jpeg[i + 1];
        if (length < 2 || length > n - i) return false;
        const JpegSegment segment{marker, start, i + 2, length - 2};
        i += length;
        if (!visit(segment) || marker == 0xDA) return true;
    }
}

bool FindExifSegment(const std::vector<std::uint8_t>& jpeg, JpegSegment& segment) {
    bool found = false;
    WalkJpegSegments(jpeg, [&](const JpegSegment& s) {
        if (s.marker == 0xE1 && s.payloadSize >= 6 &&
            std::memcmp(jpeg.data() + s.payload, "Exif\0\0", 6) == 0) {
            segment = s;
            found = true;
        }
        return !found;
    });
    return found;
}

bool InsertApp1Segment(std::vector<std::uint8_t>& jpeg, const std::vector<std::uint8_t>& payload) {
    if (payload.size() > kLargestPayload || jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8)
        return false;
    std::size_t at = 2;
    WalkJpegSegments(jpeg, [&](const JpegSegment& s) {
        if (s.start == 2 && s.marker == 0xE0 && s.payloadSize >= 5 &&
            std::memcmp(jpeg.data() + s.payload, "JFIF\0", 5) == 0)
            at = s.payload + s.payloadSize;
        return false;
    });
    const std::size_t length = payload.size() + 2;
    const std::uint8_t header[4] = {0xFF, 0xE1, static_cast<std::uint8_t>(length >> 8),
                                    static_cast<std::uint8_t>(length)};
    std::vector<std::uint8_t> segment(header, header + 4);
    segment.insert(segment.end(), payload.begin(), payload.end());
    jpeg.insert(jpeg.begin() + static_cast<std::ptrdiff_t>(at), segment.begin(), segment.end());
    return true;
}

}  // namespace qelvo
