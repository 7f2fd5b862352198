#include "imaging/JpegResolution.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace qelvo {

namespace {

constexpr int kMaxSections = 20;
constexpr int kMaxFillBytes = 6;

class TiffReader {
public:
    TiffReader(const std::uint8_t* data, std::size_t size, bool bigEndian)
        : data_(data), size_(size), bigEndian_(bigEndian) {}

    bool U16(std::size_t offset, std::uint32_t& v) const {
        if (offset > size_ || size_ - offset < 2) return false;
        const std::uint8_t* p = data_ + offset;
        v = bigEndian_ ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]);
        return true;
    }
    bool U32(std::size_t offset, std::uint32_t& v) const {
        if (offset > size_ || size_ - offset < 4) return false;
        const std::uint8_t* p = data_ + offset;
        v = bigEndian_ ? (std::uint32_t{p[0]} << 24 | p[1] << 16 | p[2] << 8 | p[3])
                       : (std::uint32_t{p[3]} << 24 | p[2] << 16 | p[1] << 8 | p[0]);
        return true;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    bool bigEndian_;
};

bool ReadRational(const TiffReader& r, std::size_t entry, double& out) {
    std::uint32_t type = 0, count = 0, offset = 0, num = 0, den = 0;
    if (!r.U16(entry + 2, type) || !r.U32(entry + 4, count) || !r.U32(entry + 8, offset))
        return false;
    if (count < 1) return false;
    if (type == 5) {  // unsigned rational
        if (!r.U32(offset, num) || !r.U32(offset + 4, den)) return false;
        out = den ? static_cast<double>(num) / den : 0.0;
        return true;
    }
    if (type == 10) {  // signed rational
        if (!r.U32(offset, num) || !r.U32(offset + 4, den)) return false;
        const auto sn = static_cast<std::int32_t>(num);
        const auto sd = static_cast<std::int32_t>(den);
        out = sd ? static_cast<double>(sn) / sd : 0.0;
        return true;
    }
    return false;
}

}  // namespace

bool ParseExifResolution(const std::uint8_t* tiff, std::size_t size, ExifResolution& out) {
    if (size < 8) return false;
    bool bigEndian;
    if (tiff[0] == 'I' && tiff[1] == 'I')
        bigEndian = false;
    else if (tiff[0] == 'M' && tiff[1] == 'M')
        bigEndian = true;
    else
        return false;
    const TiffReader r(tiff, size, bigEndian);
    std::uint32_t magic = 0, ifd = 0, entries = 0;
    if (!r.U16(2, magic) || magic != 42 || !r.U32(4, ifd) || !r.U16(ifd, entries)) return false;
    for (std::uint32_t i = 0; i < entries; ++i) {
        const std::size_t entry = static_cast<std::size_t>(ifd) + 2 + 12 * std::size_t{i};
        std::uint32_t tag = 0, type = 0;
        if (!r.U16(entry, tag) || !r.U16(entry + 2, type)) break;
        if (tag == 0x011A) {
            ReadRational(r, entry, out.xResolution);
        } else if (tag == 0x011B) {
            ReadRational(r, entry, out.yResolution);
        } else if (tag == 0x010E && type == 2) {
            std::uint32_t count = 0, offset = 0;
            if (!r.U32(entry + 4, count) || count == 0) continue;
            // Up to four characters sit in the entry itself, longer text at its offset.
            if (count <= 4)
                offset = static_cast<std::uint32_t>(entry + 8);
            else if (!r.U32(entry + 8, offset))
                continue;
            if (offset > size || size - offset < count) continue;
            const char* text = reinterpret_cast<const char*>(tiff + offset);
            out.description.assign(text, strnlen(text, count));
        } else if (tag == 0x0128) {
            std::uint32_t unit = 0;
            if (type == 3 && r.U16(entry + 8, unit)) out.unit = static_cast<int>(unit);
            if (type == 4 && r.U32(entry + 8, unit)) out.unit = static_cast<int>(unit & 0xFFFF);
        }
    }
    return true;
}

namespace {

// The rational nearest `value` whose numerator and denominator fit 31 bits (readers that
// take them as signed see the same value), the
// denominator a power of ten up to a million.
bool ToRational(double value, std::uint32_t& numerator, std::uint32_t& denominator) {
    if (!(value > 0.0) || value >= 2.0e9) return false;
    double den = 1.0;
    while (den < 1.0e6 && value * den * 10.0 < 2.0e9) den *= 10.0;
    const double num = std::round(value * den);
    if (num < 1.0) return false;
    numerator = static_cast<std::uint32_t>(num);
    denominator = static_cast<std::uint32_t>(den);
    while (numerator % 10 == 0 && denominator % 10 == 0) {
        numerator /= 10;
        denominator /= 10;
    }
    return true;
}

void PutLE(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

}  // namespace

std::vector<std::uint8_t> MakeResolutionExif(double pixelsPerCentimetre,
                                             const std::string& description) {
    const bool withResolution = pixelsPerCentimetre != 0.0;
    std::uint32_t num = 0, den = 0;
    if (withResolution && !ToRational(pixelsPerCentimetre, num, den)) return {};
    const std::string text = description.substr(0, description.find('\0'));
    const bool withText = !text.empty();
    if (!withResolution && !withText) return {};
    const std::uint32_t entries = (withText ? 1 : 0) + (withResolution ? 3 : 0);
    // Header (8), IFD0 (2 + 12 per entry + 4 for the next IFD), then the two rationals and
    // the text.
    const std::uint32_t ifdEnd = 8 + 2 + 12 * entries + 4;
    const std::uint32_t rationals = ifdEnd;
    const std::uint32_t textAt = rationals + (withResolution ? 16 : 0);
    const std::uint32_t textCount = static_cast<std::uint32_t>(text.size()) + 1;
    std::vector<std::uint8_t> out = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0};
    PutLE(out, entries, 2);
    auto entry = [&](std::uint32_t tag, std::uint32_t type, std::uint32_t count,
                     std::uint32_t value) {
        PutLE(out, tag, 2);
        PutLE(out, type, 2);
        PutLE(out, count, 4);
        PutLE(out, value, 4);
    };
    if (withText) {
        if (textCount <= 4) {
            std::uint32_t packed = 0;
            for (std::size_t i = 0; i < text.size(); ++i)
                packed |= std::uint32_t{static_cast<std::uint8_t>(text[i])} << (8 * i);
            entry(0x010E, 2, textCount, packed);
        } else {
            entry(0x010E, 2, textCount, textAt);
        }
    }
    if (withResolution) {
        entry(0x011A, 5, 1, rationals);
        entry(0x011B, 5, 1, rationals + 8);
        entry(0x0128, 3, 1, 3);  // centimetre
    }
    PutLE(out, 0, 4);  // no further IFD
    if (withResolution)
        for (int i = 0; i < 2; ++i) {
            PutLE(out, num, 4);
            PutLE(out, den, 4);
        }
    if (withText && textCount > 4) {
        out.insert(out.end(), text.begin(), text.end());
        out.push_back(0);
    }
    if (out.size() > 0xFFFF - 2) return {};
    return out;
}

double ExifUnitFactor(int unit) {
    switch (unit) {
        case 1:
        case 2:
            return 1.0;
        case 3:
            return 0.3937007874;
        case 4:
            return 0.03937007874;
        case 5:
            return 0.00003937007874;
        default:
            return 0.0;
    }
}

ExifResolution ScanJpegResolution(std::FILE* stream) {
    ExifResolution result;
    if (!stream) return result;
    const long start = std::ftell(stream);
    if (start < 0) return result;

    if (std::fgetc(stream) == 0xFF && std::fgetc(stream) == 0xD8) {
        std::vector<std::uint8_t> section;
        for (int n = 0; n < kMaxSections; ++n) {
            int c = std::fgetc(stream);
            if (c != 0xFF) break;
            int fills = 0;
            c = std::fgetc(stream);
            while (c == 0xFF && ++fills <= kMaxFillBytes) c = std::fgetc(stream);
            if (c == EOF || c == 0xFF) break;
            if (c == 0xD9 || c == 0xDA) break;  // end of image, start of scan
            const int hi = std::fgetc(stream);
            const int lo = std::fgetc(stream);
            if (hi == EOF || lo == EOF) break;
            const int length = hi << 8 | lo;
            if (length < 2) break;
            section.resize(static_cast<std::size_t>(length - 2));
            if (!section.empty() &&
                std::fread(section.data(), 1, section.size(), stream) != section.size())
                break;
            if (c == 0xE1 && !result.found && section.size() > 6 &&
                std::memcmp(section.data(), "Exif\0\0", 6) == 0) {
                result.found = true;
                ParseExifResolution(section.data() + 6, section.size() - 6, result);
            }
        }
    }
    std::clearerr(stream);
    std::fseek(stream, start, SEEK_SET);
    return result;
}

}  // namespace qelvo
