#include "picturefiles/PictureFile.h"

#include <cerrno>
#include <cmath>
#include <cstring>

#include "imaging/JpegTransform.h"
#include "picturefiles/PictureFileInternal.h"

namespace qelvo {

namespace detail {

double plausiblePixelSize(double micrometresPerPixel) {
    // From a nanometre to a metre per pixel, which every format stores; anything else is a
    // damaged or foreign value.
    if (!std::isfinite(micrometresPerPixel) || micrometresPerPixel < 1.0e-3 ||
        micrometresPerPixel > 1.0e6)
        return 0.0;
    return micrometresPerPixel;
}

std::string storableObjective(const std::string& name) {
    std::string line = name.substr(0, name.find('\0'));
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    if (line.size() > 200) {
        std::size_t cut = 200;
        while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
        line.resize(cut);
    }
    return line;
}

}  // namespace detail

namespace {

std::string lowered(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// The format from the file's first bytes.
std::optional<PictureFormat> sniff(const std::uint8_t* data, std::size_t size) {
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF)
        return PictureFormat::Jpeg;
    if (size >= 8 && std::memcmp(data, "\x89PNG\r\n\x1a\n", 8) == 0) return PictureFormat::Png;
    if (size >= 4 &&
        ((data[0] == 'I' && data[1] == 'I' && (data[2] == 42 || data[2] == 43) && data[3] == 0) ||
         (data[0] == 'M' && data[1] == 'M' && data[2] == 0 && (data[3] == 42 || data[3] == 43))))
        return PictureFormat::Tiff;
    return std::nullopt;
}

bool readAny(const std::uint8_t* data, std::size_t size, PictureFileInfo& info,
             PictureData* picture, std::string& error) {
    const std::optional<PictureFormat> format = sniff(data, size);
    if (!format) {
        error = "not a JPEG, PNG or TIFF picture";
        return false;
    }
    switch (*format) {
        case PictureFormat::Jpeg:
            return detail::readJpeg(data, size, info, picture, error);
        case PictureFormat::Png:
            return detail::readPng(data, size, info, picture, error);
        case PictureFormat::Tiff:
            return detail::readTiff(data, size, info, picture, error);
    }
    return false;
}

bool readFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error) {
    if (!ReadWholeFile(path, bytes)) {
        error = errno == EFBIG ? "the file is too large" : std::strerror(errno);
        return false;
    }
    return true;
}

void setError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

}  // namespace

std::optional<PictureFormat> pictureFormatOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    const std::string ext = lowered(path.substr(dot + 1));
    if (ext == "jpg" || ext == "jpeg") return PictureFormat::Jpeg;
    if (ext == "png") return PictureFormat::Png;
    if (ext == "tif" || ext == "tiff") return PictureFormat::Tiff;
    return {};
}

std::size_t PictureData::rowBytes() const {
    if (width <= 0 || channels <= 0 || bitsPerSample <= 0) return 0;
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(channels) *
           static_cast<std::size_t>(bitsPerSample / 8);
}

std::optional<PictureData> readPictureBytes(const std::uint8_t* data, std::size_t size,
                                            std::string* error) {
    PictureFileInfo info;
    PictureData picture;
    std::string why;
    if (!readAny(data, size, info, &picture, why)) {
        setError(error, why);
        return std::nullopt;
    }
    return picture;
}

std::optional<PictureFileInfo> readPictureBytesInfo(const std::uint8_t* data, std::size_t size,
                                                    std::string* error) {
    PictureFileInfo info;
    std::string why;
    if (!readAny(data, size, info, nullptr, why)) {
        setError(error, why);
        return std::nullopt;
    }
    return info;
}

std::optional<PictureData> readPictureFile(const std::string& path, std::string* error) {
    std::vector<std::uint8_t> bytes;
    std::string why;
    if (!readFile(path, bytes, why)) {
        setError(error, why);
        return std::nullopt;
    }
    return readPictureBytes(bytes.data(), bytes.size(), error);
}

std::optional<PictureFileInfo> readPictureFileInfo(const std::string& path, std::string* error) {
    std::vector<std::uint8_t> bytes;
    std::string why;
    if (!readFile(path, bytes, why)) {
        setError(error, why);
        return std::nullopt;
    }
    return readPictureBytesInfo(bytes.data(), bytes.size(), error);
}

bool encodePicture(PictureFormat format, const PictureData& picture,
                   std::vector<std::uint8_t>& bytes, std::string* error, int jpegQuality) {
    bytes.clear();
    std::string why;
    if (picture.width <= 0 || picture.height <= 0 ||
        (picture.channels != 1 && picture.channels != 3) ||
        (picture.bitsPerSample != 8 && picture.bitsPerSample != 16) ||
        picture.samples.size() != picture.rowBytes() * static_cast<std::size_t>(picture.height)) {
        setError(error, "the picture is empty or its samples do not match its size");
        return false;
    }
    if (picture.calibration.micrometresPerPixel != 0.0 &&
        detail::plausiblePixelSize(picture.calibration.micrometresPerPixel) == 0.0) {
        setError(error, "the pixel size is out of range");
        return false;
    }
    bool ok = false;
    switch (format) {
        case PictureFormat::Jpeg:
            ok = detail::writeJpeg(picture, jpegQuality, bytes, why);
            break;
        case PictureFormat::Png:
            ok = detail::writePng(picture, bytes, why);
            break;
        case PictureFormat::Tiff:
            ok = detail::writeTiff(picture, bytes, why);
            break;
    }
    if (!ok) setError(error, why);
    return ok;
}

bool writePictureFile(const std::string& path, const PictureData& picture, std::string* error,
                      int jpegQuality) {
    const std::optional<PictureFormat> format = pictureFormatOf(path);
    if (!format) {
        setError(error, "unknown picture format (use .jpg, .jpeg, .png, .tif or .tiff)");
        return false;
    }
    std::vector<std::uint8_t> bytes;
    if (!encodePicture(*format, picture, bytes, error, jpegQuality)) return false;
    const int failure = WriteFileAtomically(path, bytes.data(), bytes.size());
    if (failure != 0) {
        setError(error, std::strerror(failure));
        return false;
    }
    return true;
}

}  // namespace qelvo
