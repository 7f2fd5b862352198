// TIFF through libtiff.  Pixel sizes are written as ImageJ writes them (resolution in pixels
// per micrometre, unit none, an ImageJ description naming the unit), so that ImageJ and
// Fiji open the file calibrated; centimetre resolutions are read as well.
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <sstream>

#include "picturefiles/PictureFileInternal.h"

namespace qelvo::detail {

namespace {

// ---- libtiff over bytes in memory

struct MemoryStream {
    const std::uint8_t* readData = nullptr;    // reading: the file
    std::vector<std::uint8_t>* out = nullptr;  // writing: grows as libtiff writes
    std::uint64_t size = 0;
    std::uint64_t at = 0;
    std::string error;
};

tmsize_t streamRead(thandle_t handle, void* buffer, tmsize_t count) {
    auto* s = static_cast<MemoryStream*>(handle);
    if (count <= 0 || s->at >= s->size) return 0;
    const std::uint64_t n =
        std::min<std::uint64_t>(static_cast<std::uint64_t>(count), s->size - s->at);
    const std::uint8_t* from = s->out ? s->out->data() : s->readData;
    std::memcpy(buffer, from + s->at, n);
    s->at += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t streamWrite(thandle_t handle, void* buffer, tmsize_t count) {
    auto* s = static_cast<MemoryStream*>(handle);
    if (!s->out || count < 0) return -1;
    const std::uint64_t end = s->at + static_cast<std::uint64_t>(count);
    if (end > kMaxPictureBytes * 2) return -1;
    if (end > s->out->size()) s->out->resize(end);
    std::memcpy(s->out->data() + s->at, buffer, static_cast<std::size_t>(count));
    s->at = end;
    if (end > s->size) s->size = end;
    return count;
}

toff_t streamSeek(thandle_t handle, toff_t offset, int whence) {
    auto* s = static_cast<MemoryStream*>(handle);
    std::uint64_t base = 0;
    if (whence == SEEK_CUR) base = s->at;
    if (whence == SEEK_END) base = s->size;
    const std::uint64_t target = base + offset;
    if (target < base || target > (std::uint64_t{1} << 40)) return static_cast<toff_t>(-1);
    s->at = target;
    return target;
}

int streamClose(thandle_t) {
    return 0;
}
toff_t streamSize(thandle_t handle) {
    return static_cast<MemoryStream*>(handle)->size;
}
int noMap(thandle_t, void**, toff_t*) {
    return 0;
}
void noUnmap(thandle_t, void*, toff_t) {}

int onError(TIFF*, void* user, const char*, const char* format, va_list args) {
    auto* s = static_cast<MemoryStream*>(user);
    if (s->error.empty()) {
        char text[256];
        std::vsnprintf(text, sizeof text, format, args);
        s->error = text;
    }
    return 1;
}

int onWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

TiffHandle openStream(MemoryStream& stream, const char* mode) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options) return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(options, onError, &stream);
    TIFFOpenOptionsSetWarningHandlerExtR(options, onWarning, &stream);
    // What libtiff allocates itself (tag arrays, strip buffers) stays in proportion to the
    // file read: a few bytes must not claim a gigabyte of strip offsets.  Writing needs no
    // more than a row at a time.
    const std::uint64_t largest =
        stream.out ? std::uint64_t{64} << 20
                   : std::min<std::uint64_t>(kMaxPictureBytes,
                                             stream.size * 8 + (std::uint64_t{64} << 20));
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(largest));
    TIFF* tiff = TIFFClientOpenExt("picture", mode, &stream, streamRead, streamWrite, streamSeek,
                                   streamClose, streamSize, noMap, noUnmap, options);
    TIFFOpenOptionsFree(options);
    return TiffHandle(tiff);
}

// ---- calibration

constexpr char kImageJVersion[] = "ImageJ=1.54f";

// Micrometres per unit an ImageJ description may name; 0 for units that are no length.
double micrometresPerImageJUnit(const std::string& unit) {
    if (unit == "micron" || unit == "microns" || unit == "um" || unit == "\xC2\xB5m" ||
        unit == "\xB5m" || unit == "\\u00B5m")
        return 1.0;
    if (unit == "nm" || unit == "nanometer" || unit == "nanometre") return 1.0e-3;
    if (unit == "mm" || unit == "millimeter" || unit == "millimetre") return 1.0e3;
    if (unit == "cm" || unit == "centimeter" || unit == "centimetre") return 1.0e4;
    if (unit == "m" || unit == "meter" || unit == "metre") return 1.0e6;
    return 0.0;
}

struct Description {
    bool imageJ = false;
    std::string unit;
    std::string objective;
};

Description parseDescription(const char* text) {
    Description d;
    if (!text) return d;
    const std::string all(text, strnlen(text, 1 << 16));
    d.imageJ = all.rfind("ImageJ=", 0) == 0;
    std::istringstream lines(all);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq);
        if (key == "unit") d.unit = line.substr(eq + 1);
        if (key == "objective") d.objective = storableObjective(line.substr(eq + 1));
    }
    return d;
}

PictureCalibration readCalibration(TIFF* tiff) {
    PictureCalibration calibration;
    char* text = nullptr;
    Description description;
    if (TIFFGetField(tiff, TIFFTAG_IMAGEDESCRIPTION, &text) == 1)
        description = parseDescription(text);
    calibration.objective = description.objective;
    float xres = 0.0f;
    std::uint16_t unit = RESUNIT_INCH;
    if (TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &xres) != 1 || !(xres > 0.0f) ||
        !std::isfinite(xres))
        return calibration;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_RESOLUTIONUNIT, &unit);
    if (unit == RESUNIT_CENTIMETER) {
        calibration.micrometresPerPixel = plausiblePixelSize(1.0e4 / xres);
    } else if (unit == RESUNIT_NONE && description.imageJ) {
        const double perUnit = micrometresPerImageJUnit(description.unit);
        if (perUnit > 0.0) calibration.micrometresPerPixel = plausiblePixelSize(perUnit / xres);
    }
    // Inches are what programs write by default (72 or 96 per inch): no calibration.
    return calibration;
}

// ---- reading samples

struct Layout {
    std::uint32_t width = 0, height = 0;
    std::uint16_t bits = 0, samples = 0, photometric = 0, planar = 0, format = 0;
};

bool directlyReadable(const Layout& l) {
    if (l.bits != 8 && l.bits != 16) return false;
    if (l.format != SAMPLEFORMAT_UINT || l.planar != PLANARCONFIG_CONTIG) return false;
    if (l.photometric == PHOTOMETRIC_MINISBLACK || l.photometric == PHOTOMETRIC_MINISWHITE)
        return l.samples >= 1 && l.samples <= 2;
    if (l.photometric == PHOTOMETRIC_RGB) return l.samples >= 3 && l.samples <= 4;
    return false;
}

// Copies the first `channels` samples of each of `count` pixels of `from` (which has
// `stride` samples a pixel) into `to`.
void takeSamples(const std::uint8_t* from, std::uint8_t* to, std::uint32_t count, int channels,
                 int stride, int bytes) {
    if (channels == stride) {
        std::memcpy(to, from, std::size_t{count} * channels * bytes);
        return;
    }
    for (std::uint32_t i = 0; i < count; ++i)
        std::memcpy(to + std::size_t{i} * channels * bytes, from + std::size_t{i} * stride * bytes,
                    static_cast<std::size_t>(channels) * bytes);
}

bool readDirect(TIFF* tiff, const Layout& l, PictureData& picture, MemoryStream& stream) {
    const int bytes = l.bits / 8;
    const int channels = picture.channels;
    const std::size_t rowBytes = picture.rowBytes();
    if (TIFFIsTiled(tiff)) {
        std::uint32_t tw = 0, th = 0;
        TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tw);
        TIFFGetField(tiff, TIFFTAG_TILELENGTH, &th);
        const tmsize_t tileSize = TIFFTileSize(tiff);
        if (tw == 0 || th == 0 || tileSize <= 0 ||
            static_cast<std::uint64_t>(tileSize) < std::uint64_t{tw} * th * l.samples * bytes) {
            stream.error = "damaged tile layout";
            return false;
        }
        std::vector<std::uint8_t> tile(static_cast<std::size_t>(tileSize));
        for (std::uint64_t y0 = 0; y0 < l.height; y0 += th)
            for (std::uint64_t x0 = 0; x0 < l.width; x0 += tw) {
                if (TIFFReadTile(tiff, tile.data(), static_cast<std::uint32_t>(x0),
                                 static_cast<std::uint32_t>(y0), 0, 0) < 0)
                    return false;
                const std::uint64_t rows = std::min<std::uint64_t>(th, l.height - y0);
                const auto cols =
                    static_cast<std::uint32_t>(std::min<std::uint64_t>(tw, l.width - x0));
                for (std::uint64_t r = 0; r < rows; ++r)
                    takeSamples(
                        tile.data() + r * tw * l.samples * bytes,
                        picture.samples.data() + (y0 + r) * rowBytes + x0 * channels * bytes, cols,
                        channels, l.samples, bytes);
            }
        return true;
    }
    const tmsize_t scanSize = TIFFScanlineSize(tiff);
    if (scanSize <= 0 ||
        static_cast<std::uint64_t>(scanSize) < std::uint64_t{l.width} * l.samples * bytes) {
        stream.error = "damaged strip layout";
        return false;
    }
    std::vector<std::uint8_t> line(static_cast<std::size_t>(scanSize));
    for (std::uint32_t y = 0; y < l.height; ++y) {
        if (TIFFReadScanline(tiff, line.data(), y, 0) < 0) return false;
        takeSamples(line.data(), picture.samples.data() + y * rowBytes, l.width, channels,
                    l.samples, bytes);
    }
    return true;
}

}  // namespace

bool readTiff(const std::uint8_t* data, std::size_t size, PictureFileInfo& info,
              PictureData* picture, std::string& error) {
    MemoryStream stream;
    stream.readData = data;
    stream.size = size;
    TiffHandle tiff = openStream(stream, "rm");
    auto fail = [&](const std::string& why) {
        error = !stream.error.empty() ? stream.error : why;
        if (picture) *picture = PictureData{};
        return false;
    };
    if (!tiff) return fail("not a readable TIFF file");
    Layout l;
    if (TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &l.width) != 1 ||
        TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &l.height) != 1 || l.width == 0 ||
        l.height == 0)
        return fail("the TIFF file gives no picture size");
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_BITSPERSAMPLE, &l.bits);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_SAMPLESPERPIXEL, &l.samples);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_PLANARCONFIG, &l.planar);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_SAMPLEFORMAT, &l.format);
    if (TIFFGetField(tiff.get(), TIFFTAG_PHOTOMETRIC, &l.photometric) != 1)
        l.photometric = l.samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    const bool direct = directlyReadable(l);
    info.format = PictureFormat::Tiff;
    info.width = static_cast<int>(std::min<std::uint32_t>(l.width, 0x7FFFFFFF));
    info.height = static_cast<int>(std::min<std::uint32_t>(l.height, 0x7FFFFFFF));
    info.channels = direct ? (l.photometric == PHOTOMETRIC_RGB ? 3 : 1) : 3;
    info.bitsPerSample = direct ? l.bits : 8;
    info.calibration = readCalibration(tiff.get());
    const std::uint64_t pixels = std::uint64_t{l.width} * l.height;
    if (pixels * 4 * (info.bitsPerSample / 8) > kMaxPictureBytes || l.width > 0x7FFFFFFF / 8 ||
        l.height > 0x7FFFFFFF)
        return fail("the picture is too large (" + std::to_string(l.width) + "x" +
                    std::to_string(l.height) + ")");
    if (!picture) return true;

    picture->width = info.width;
    picture->height = info.height;
    picture->channels = info.channels;
    picture->bitsPerSample = info.bitsPerSample;
    picture->calibration = info.calibration;
    if (direct) {
        picture->samples.resize(picture->rowBytes() * l.height);
        if (!readDirect(tiff.get(), l, *picture, stream))
            return fail("the TIFF file is damaged or cut short");
        if (l.photometric == PHOTOMETRIC_MINISWHITE) {
            if (l.bits == 8) {
                for (std::uint8_t& v : picture->samples) v = static_cast<std::uint8_t>(255 - v);
            } else {
                auto* v = reinterpret_cast<std::uint16_t*>(picture->samples.data());
                for (std::size_t i = 0; i < picture->samples.size() / 2; ++i)
                    v[i] = static_cast<std::uint16_t>(65535 - v[i]);
            }
        }
        // libtiff gives 16-bit samples in the machine's order already.
        return true;
    }
    // Every other layout (palette, YCbCr, 1-bit, separate planes, ...) through libtiff's
    // RGBA reader, as 8-bit RGB.
    char why[1024] = {};
    if (!TIFFRGBAImageOK(tiff.get(), why)) return fail(std::string("unsupported TIFF: ") + why);
    std::vector<std::uint32_t> raster(pixels);
    if (!TIFFReadRGBAImageOriented(tiff.get(), l.width, l.height, raster.data(),
                                   ORIENTATION_TOPLEFT, 1))
        return fail("the TIFF file is damaged or cut short");
    picture->samples.resize(pixels * 3);
    for (std::uint64_t i = 0; i < pixels; ++i) {
        picture->samples[3 * i] = static_cast<std::uint8_t>(TIFFGetR(raster[i]));
        picture->samples[3 * i + 1] = static_cast<std::uint8_t>(TIFFGetG(raster[i]));
        picture->samples[3 * i + 2] = static_cast<std::uint8_t>(TIFFGetB(raster[i]));
    }
    return true;
}

bool writeTiff(const PictureData& picture, std::vector<std::uint8_t>& out, std::string& error) {
    out.clear();
    MemoryStream stream;
    stream.out = &out;
    bool ok = false;
    {
        TiffHandle tiff = openStream(stream, "w");
        if (!tiff) {
            error = stream.error.empty() ? "the TIFF writer could not start" : stream.error;
            return false;
        }
        TIFF* t = tiff.get();
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(picture.width));
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(picture.height));
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, static_cast<std::uint16_t>(picture.bitsPerSample));
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, static_cast<std::uint16_t>(picture.channels));
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC,
                     picture.channels == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
        TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
        TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
        const std::string objective = storableObjective(picture.calibration.objective);
        if (picture.calibration.calibrated() || !objective.empty()) {
            std::string description = std::string(kImageJVersion) + "\n";
            if (picture.calibration.calibrated()) description += "unit=micron\n";
            if (!objective.empty()) description += "objective=" + objective + "\n";
            TIFFSetField(t, TIFFTAG_IMAGEDESCRIPTION, description.c_str());
        }
        if (picture.calibration.calibrated()) {
            const double perMicrometre = 1.0 / picture.calibration.micrometresPerPixel;
            TIFFSetField(t, TIFFTAG_XRESOLUTION, perMicrometre);
            TIFFSetField(t, TIFFTAG_YRESOLUTION, perMicrometre);
            TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_NONE);
        }
        ok = true;
        for (int y = 0; ok && y < picture.height; ++y) {
            auto* row = const_cast<std::uint8_t*>(picture.samples.data() + picture.rowBytes() * y);
            ok = TIFFWriteScanline(t, row, static_cast<std::uint32_t>(y), 0) == 1;
        }
        ok = ok && TIFFFlush(t) == 1;
    }
    ok = ok && stream.error.empty();
    if (!ok) {
        error = stream.error.empty() ? "the TIFF file could not be written" : stream.error;
        out.clear();
        return false;
    }
    out.resize(stream.size);
    return true;
}

}  // namespace qelvo::detail
