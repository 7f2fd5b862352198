#include "imaging/WbmpCodec.h"

#include <cstdint>

#include "imaging/CxImage.h"

namespace qelvo {

namespace {

// Big-endian groups of 7 bits; every byte but the last has its top bit set. Values that
// need more than 32 bits are refused.
bool ReadMultiByte(std::FILE* f, std::uint32_t& value) {
    value = 0;
    for (int i = 0; i < 5; ++i) {
        const int c = std::fgetc(f);
        if (c == EOF) return false;
        if (value > (0xFFFFFFFFu >> 7)) return false;
        value = (value << 7) | static_cast<std::uint32_t>(c & 0x7F);
        if (!(c & 0x80)) return true;
    }
    return false;
}

bool WriteMultiByte(std::FILE* f, std::uint32_t value) {
    std::uint8_t bytes[5];
    int n = 0;
    do {
        bytes[n++] = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (n > 1) {
        if (std::fputc(bytes[--n] | 0x80, f) == EOF) return false;
    }
    return std::fputc(bytes[0], f) != EOF;
}

// Bytes left in a seekable stream, or -1 when that cannot be told.
long RemainingBytes(std::FILE* f) {
    const long here = std::ftell(f);
    if (here < 0 || std::fseek(f, 0, SEEK_END) != 0) return -1;
    const long end = std::ftell(f);
    std::fseek(f, here, SEEK_SET);
    return end < here ? -1 : end - here;
}

}  // namespace

bool WbmpDecode(std::FILE* stream, CxImage& image) {
    if (!stream) {
        image.SetLastError("null file handler");
        return false;
    }
    std::uint32_t type = 0, fixHeader = 0, width = 0, height = 0;
    if (!ReadMultiByte(stream, type) || !ReadMultiByte(stream, fixHeader) ||
        !ReadMultiByte(stream, width) || !ReadMultiByte(stream, height)) {
        image.SetLastError("Not a WBMP");
        return false;
    }
    if (type != 0) {
        image.SetLastError("Unsupported WBMP type");
        return false;
    }
    if (width < 1 || height < 1 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) {
        image.SetLastError("Corrupted WBMP");
        return false;
    }
    const std::uint64_t rowBytes = (std::uint64_t{width} + 7) / 8;
    // A file too short for its rows is refused before the picture is allocated.
    const long remaining = RemainingBytes(stream);
    if (remaining >= 0 && static_cast<std::uint64_t>(remaining) < rowBytes * height) {
        image.SetLastError("Corrupted WBMP");
        return false;
    }
    if (!image.Create(static_cast<int>(width), static_cast<int>(height), 1, FormatWbmp)) {
        image.SetLastError("WBMP Create failed");
        return false;
    }
    image.SetGrayPalette();
    for (int y = image.Height() - 1; y >= 0; --y) {
        if (std::fread(image.RowBits(y), 1, rowBytes, stream) != rowBytes) {
            image.SetLastError("Corrupted WBMP");
            return false;
        }
    }
    return true;
}

bool WbmpEncode(std::FILE* stream, CxImage& image) {
    if (!image.IsValid()) {
        image.SetLastError("null image!!!");
        return false;
    }
    if (!stream) {
        image.SetLastError("null file handler");
        return false;
    }
    if (image.BitsPerPixel() != 1) {
        image.SetLastError("Can't save this image as WBMP");
        return false;
    }
    const std::size_t rowBytes = (static_cast<std::size_t>(image.Width()) + 7) / 8;
    bool ok = WriteMultiByte(stream, 0) && WriteMultiByte(stream, 0) &&
              WriteMultiByte(stream, static_cast<std::uint32_t>(image.Width())) &&
              WriteMultiByte(stream, static_cast<std::uint32_t>(image.Height()));
    for (int y = image.Height() - 1; ok && y >= 0; --y)
        ok = std::fwrite(image.RowBits(y), 1, rowBytes, stream) == rowBytes;
    ok = ok && std::fflush(stream) == 0;
    if (!ok) image.SetLastError("Can't write WBMP file");
    return ok;
}

}  // namespace qelvo
