#include "manage/PictureLoading.h"

#include "imaging/CxImage.h"
#include "imaging/JpegTransform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace qelvo {

bool isListedPictureName(const std::string& name) {
    return pictureFormatOf(name).has_value();
}

bool isJpegBytes(const std::vector<std::uint8_t>& bytes) {
    return bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

bool pictureDataToImage(const PictureData& data, CxImage& out) {
    if (data.width <= 0 || data.height <= 0 || (data.channels != 1 && data.channels != 3) ||
        (data.bitsPerSample != 8 && data.bitsPerSample != 16) ||
        data.samples.size() < data.rowBytes() * static_cast<std::size_t>(data.height))
        return false;
    const std::size_t rowOut = static_cast<std::size_t>(data.width) * 3;
    std::vector<std::uint8_t> bgr(rowOut * static_cast<std::size_t>(data.height));
    const bool wide = data.bitsPerSample == 16;
    for (int y = 0; y < data.height; ++y) {
        const std::uint8_t* in =
            data.samples.data() + data.rowBytes() * static_cast<std::size_t>(y);
        std::uint8_t* o = bgr.data() + rowOut * static_cast<std::size_t>(y);
        auto sample = [&](std::size_t index) -> std::uint8_t {
            if (!wide) return in[index];
            std::uint16_t v;
            std::memcpy(&v, in + 2 * index, 2);
            return static_cast<std::uint8_t>((v * 255u + 32767u) / 65535u);
        };
        for (int x = 0; x < data.width; ++x) {
            const std::size_t i = static_cast<std::size_t>(x) * data.channels;
            const std::uint8_t r = sample(i);
            const std::uint8_t g = data.channels == 3 ? sample(i + 1) : r;
            const std::uint8_t b = data.channels == 3 ? sample(i + 2) : r;
            o[3 * x] = b;
            o[3 * x + 1] = g;
            o[3 * x + 2] = r;
        }
    }
    return out.CreateFromPixels(bgr.data(), data.width, data.height, 24, static_cast<int>(rowOut),
                                true);
}

bool loadPictureBytes(const std::vector<std::uint8_t>& bytes, CxImage& out, std::string* error) {
    if (bytes.empty()) {
        if (error) *error = "the file is empty";
        return false;
    }
    if (isJpegBytes(bytes)) {
        std::vector<std::uint8_t> copy = bytes;
        std::FILE* stream = ::fmemopen(copy.data(), copy.size(), "rb");
        const bool loaded = stream && out.Decode(stream, FormatJpeg);
        if (stream) std::fclose(stream);
        if (!loaded && error) *error = *out.LastError() ? out.LastError() : "not a JPEG picture";
        return loaded;
    }
    std::string reason;
    const std::optional<PictureData> data = readPictureBytes(bytes.data(), bytes.size(), &reason);
    if (!data || !pictureDataToImage(*data, out)) {
        if (error) *error = reason.empty() ? "not a picture this program reads" : reason;
        return false;
    }
    return true;
}

bool loadPicture(const std::string& path, CxImage& out, std::string* error) {
    std::vector<std::uint8_t> bytes;
    if (!ReadWholeFile(path, bytes)) {
        if (error) *error = std::strerror(errno);
        return false;
    }
    return loadPictureBytes(bytes, out, error);
}

}  // namespace qelvo
