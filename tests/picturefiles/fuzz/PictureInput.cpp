#include "picturefiles/fuzz/PictureInput.h"

#include <tiffio.h>

#include <cmath>

#include "support/FuzzSupport.h"

namespace qelvo::fuzz {

namespace {

// Pictures claiming more than 4 megapixels are skipped: decoding one takes seconds under
// the sanitizers and starves the search; the size limits are covered by the unit tests.
constexpr std::uint64_t kLargestChecked = std::uint64_t{1} << 22;

// PNG keeps whole pixels per metre, so a pixel of millimetres is stored only roughly.
bool sameCalibration(const PictureCalibration& a, const PictureCalibration& b) {
    if (a.objective != b.objective) return false;
    if (a.calibrated() != b.calibrated()) return false;
    const double um = a.micrometresPerPixel;
    return !a.calibrated() || std::fabs(um - b.micrometresPerPixel) <= (1e-5 + 0.5e-6 * um) * um;
}

}  // namespace

std::string checkPictureInput(PictureFormat format, std::string_view input) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(input.data());
    std::string error;
    const std::optional<PictureFileInfo> info = readPictureBytesInfo(data, input.size(), &error);
    if (!info) return error.empty() ? "a refused header gives no reason" : "";
    if (info->width <= 0 || info->height <= 0) return "header with an empty size";
    if (std::uint64_t(info->width) * std::uint64_t(info->height) > kLargestChecked) return "";
    const std::optional<PictureData> picture = readPictureBytes(data, input.size(), &error);
    if (!picture) return error.empty() ? "a refused picture gives no reason" : "";
    if (picture->width != info->width || picture->height != info->height ||
        picture->bitsPerSample != info->bitsPerSample || picture->channels != info->channels)
        return "the header and the picture disagree";
    if (picture->samples.size() != picture->rowBytes() * std::size_t(picture->height))
        return "samples do not match the size";
    if (!sameCalibration(info->calibration, picture->calibration))
        return "the header and the picture disagree on the calibration";

    std::vector<std::uint8_t> bytes;
    if (!encodePicture(format, *picture, bytes, &error)) {
        // JPEG's frame cannot hold every size another format can.
        if (format == PictureFormat::Jpeg && (picture->width > 65500 || picture->height > 65500))
            return "";
        return "a picture read does not write back: " + error;
    }
    const std::optional<PictureData> again = readPictureBytes(bytes.data(), bytes.size(), &error);
    if (!again) return "a picture written does not read back: " + error;
    if (again->width != picture->width || again->height != picture->height)
        return "the size changed on the way back";
    if (format != PictureFormat::Jpeg && again->samples != picture->samples)
        return "samples changed on a lossless way back";
    if (!sameCalibration(picture->calibration, again->calibration))
        return "the calibration changed on the way back";
    return {};
}

int writePictureSeeds(PictureFormat format, const std::string& folder) {
    const char* ext = format == PictureFormat::Jpeg  ? "jpg"
                      : format == PictureFormat::Png ? "png"
                                                     : "tif";
    int written = 0;
    int n = 0;
    for (int channels : {1, 3})
        for (int bits : {8, 16})
            for (double pixelSize : {0.0, 0.3456}) {
                PictureData p;
                p.width = 13 + n;
                p.height = 9;
                p.channels = channels;
                p.bitsPerSample = bits;
                p.samples.resize(p.rowBytes() * p.height);
                for (std::size_t i = 0; i < p.samples.size(); ++i)
                    p.samples[i] = static_cast<std::uint8_t>(i * 37 + n);
                p.calibration = {pixelSize, pixelSize > 0 ? "40x" : ""};
                std::vector<std::uint8_t> bytes;
                if (encodePicture(format, p, bytes, nullptr))
                    written +=
                        writeFile(folder + "/seed-" + std::to_string(n++) + "." + ext,
                                  {reinterpret_cast<const char*>(bytes.data()), bytes.size()});
            }
    if (format != PictureFormat::Tiff) return written;
    // Layouts other programs write: tiles, LZW with a predictor, a palette, separate planes,
    // centimetre resolution.
    struct Variant {
        const char* name;
        bool tiled;
        std::uint16_t compression, photometric, planar, samples;
    };
    for (const Variant& v :
         {Variant{"tiled", true, COMPRESSION_NONE, PHOTOMETRIC_RGB, PLANARCONFIG_CONTIG, 3},
          Variant{"lzw", false, COMPRESSION_LZW, PHOTOMETRIC_RGB, PLANARCONFIG_CONTIG, 3},
          Variant{"planes", false, COMPRESSION_NONE, PHOTOMETRIC_RGB, PLANARCONFIG_SEPARATE, 3},
          Variant{"palette", false, COMPRESSION_PACKBITS, PHOTOMETRIC_PALETTE, PLANARCONFIG_CONTIG,
                  1},
          Variant{"deflate", false, COMPRESSION_ADOBE_DEFLATE, PHOTOMETRIC_MINISBLACK,
                  PLANARCONFIG_CONTIG, 1}}) {
        const std::string path = folder + "/foreign-" + v.name + ".tif";
        TIFF* t = TIFFOpen(path.c_str(), "w");
        if (!t) continue;
        const std::uint32_t w = 20, h = 18;
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, v.samples);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, v.photometric);
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, v.planar);
        TIFFSetField(t, TIFFTAG_COMPRESSION, v.compression);
        TIFFSetField(t, TIFFTAG_XRESOLUTION, 5000.0);
        TIFFSetField(t, TIFFTAG_YRESOLUTION, 5000.0);
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_CENTIMETER);
        if (v.compression == COMPRESSION_LZW) TIFFSetField(t, TIFFTAG_PREDICTOR, 2);
        if (v.photometric == PHOTOMETRIC_PALETTE) {
            std::vector<std::uint16_t> r(256), g(256), b(256);
            for (int i = 0; i < 256; ++i) r[i] = g[i] = b[i] = static_cast<std::uint16_t>(i * 257);
            TIFFSetField(t, TIFFTAG_COLORMAP, r.data(), g.data(), b.data());
        }
        std::vector<std::uint8_t> buffer(std::size_t(w) * h * v.samples);
        for (std::size_t i = 0; i < buffer.size(); ++i)
            buffer[i] = static_cast<std::uint8_t>(i * 7);
        bool ok = true;
        if (v.tiled) {
            TIFFSetField(t, TIFFTAG_TILEWIDTH, 16u);
            TIFFSetField(t, TIFFTAG_TILELENGTH, 16u);
            std::vector<std::uint8_t> tile(TIFFTileSize(t), 0x40);
            for (std::uint32_t y = 0; y < h; y += 16)
                for (std::uint32_t x = 0; x < w; x += 16)
                    ok = ok && TIFFWriteTile(t, tile.data(), x, y, 0, 0) >= 0;
        } else {
            TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 4u);
            const int planes = v.planar == PLANARCONFIG_SEPARATE ? v.samples : 1;
            const int perRow = v.planar == PLANARCONFIG_SEPARATE ? 1 : v.samples;
            for (int s = 0; s < planes; ++s)
                for (std::uint32_t y = 0; y < h; ++y)
                    ok = ok && TIFFWriteScanline(t, buffer.data() + std::size_t(y) * w * perRow, y,
                                                 static_cast<std::uint16_t>(s)) == 1;
        }
        TIFFClose(t);
        written += ok;
    }
    return written;
}

}  // namespace qelvo::fuzz
