#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qelvo {

// 8-bit pixels for the memory codec: 1 (grey) or 3 samples per pixel, rows `stride` bytes
// apart starting with the top row (a negative stride walks a bottom-up block upwards).
struct JpegPixels {
    const std::uint8_t* top = nullptr;  // first sample of the top row
    int width = 0;
    int height = 0;
    int channels = 3;
    std::ptrdiff_t stride = 0;
    bool bgr = false;  // three samples stored blue, green, red
};

// Encodes `pixels` as a baseline JPEG at `quality` (1-100, 2x2 chroma subsampling) into
// `out`.  With an `exif` payload ("Exif\0\0" and a TIFF structure) the file carries it as
// its APP1 segment right after the start of image, in place of a JFIF header.  False with
// `error` set on failure.
bool EncodeJpegPixels(const JpegPixels& pixels, int quality, const std::vector<std::uint8_t>& exif,
                      std::vector<std::uint8_t>& out, std::string& error);

// A decoded JPEG: top-down rows packed without padding, 1 (grey) or 3 (red, green, blue)
// samples per pixel; four-component pictures are turned into RGB.
struct DecodedJpegPixels {
    int width = 0;
    int height = 0;
    int channels = 0;
    std::vector<std::uint8_t> samples;
};

// Decodes JPEG data strictly: a file cut short, or whose entropy-coded data is damaged, is
// refused rather than filled with grey; so is a picture larger than the picture core
// accepts.  False with `error` set.
bool DecodeJpegStrict(const std::uint8_t* data, std::size_t size, DecodedJpegPixels& out,
                      std::string& error);

// Only the frame header: size and the number of samples per pixel the decoder gives
// (1 or 3).  False with `error` set when the data is no JPEG or its header is damaged.
bool ReadJpegFrameHeader(const std::uint8_t* data, std::size_t size, int& width, int& height,
                         int& channels, std::string& error);

}  // namespace qelvo
