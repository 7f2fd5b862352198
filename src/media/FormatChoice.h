#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qelvo {

// One picture format a camera offers: a media type at one size and one frame rate.
struct OfferedFormat {
    // Raw: uncompressed pixels the converter knows; Jpeg: Motion JPEG; Other: anything the
    // program cannot turn into pictures (Bayer mosaics, H.264, unknown pixel layouts, ...).
    enum class Kind { Raw, Jpeg, Other };
    Kind kind = Kind::Other;
    std::string mediaType;    // "video/x-raw", "image/jpeg", ...
    std::string pixelFormat;  // raw formats: "YUY2", "NV12", ...; empty otherwise
    int width = 0;
    int height = 0;
    int rateNumerator = 0;  // frames per second as a fraction; 0/1 when the device does not say
    int rateDenominator = 1;

    // "1280x720 Motion JPEG at 30 fps", "640x480 raw YUY2 at 15 fps".
    std::string describe() const;
};

// Picks the format a camera streams in: for the size asked (or, without one, the device's
// own size) the offer with the highest frame rate, uncompressed before Motion JPEG at an
// equal rate, since it needs no decoding.  Offers the program cannot decode never win; when
// none is left at that size the largest decodable size is taken, so a camera always shows
// something it can show.  Motion JPEG counts as decodable only when a decoder is present.
class FormatChoice {
public:
    FormatChoice(std::vector<OfferedFormat> offered, bool jpegDecoder);

    // Best decodable offer at exactly width x height, if any.
    std::optional<OfferedFormat> atSize(int width, int height) const;
    // The format to stream: at `wanted` when the device offers it decodably, else at
    // `deviceDefault` (0 x 0: the size of the device's first offer), else the largest
    // decodable size.  None when nothing offered can be decoded.
    std::optional<OfferedFormat> choose(int wantedWidth, int wantedHeight, int defaultWidth,
                                        int defaultHeight) const;
    // The media types offered, for a message about a camera nothing can be shown from:
    // "video/x-bayer (bggr), video/x-h264".
    std::string offeredTypes() const;

private:
    bool decodable(const OfferedFormat& f) const;
    // True when `a` is the better of two offers of the same size.
    static bool better(const OfferedFormat& a, const OfferedFormat& b);

    std::vector<OfferedFormat> offered_;
    bool jpegDecoder_;
};

}  // namespace qelvo
