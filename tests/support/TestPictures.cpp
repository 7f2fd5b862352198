#include "support/TestPictures.h"

// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace qelvo::test {

CxImage RandomPicture(int width, int height, int bits, std::uint32_t seed, bool greyPalette) {
    CxImage img;
    img.Create(width, height, bits, FormatUnknown);
    std::mt19937 rng(seed);
    for (std::uint32_t i = 0; i < img.ImageSize(); ++i)
        img.Bits()[i] = static_cast<std::uint8_t>(rng());
    if (img.BitsPerPixel() < 24) {
        if (greyPalette) {
            img.SetGrayPalette();
        } else {
            for (int i = 0; i < img.ColorsUsed(); ++i) {
                img.SetPaletteColor(
                    i, RgbQuad{static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()),
                               static_cast<std::uint8_t>(rng()), 0});
            }
        }
    }
    return img;
}

CxImage PhotoPicture(int width, int height, std::uint32_t seed) {
    CxImage img;
    img.Create(width, height, 24, FormatUnknown);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> noise(-6, 6);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = img.RowBits(y);
        for (int x = 0; x < width; ++x) {
            const double fx = static_cast<double>(x) / width;
            const double fy = static_cast<double>(y) / height;
            const double d = std::hypot(fx - 0.6, fy - 0.4);
            int r = static_cast<int>(200 * fx + 40 * std::sin(fy * 9.0));
            int g = static_cast<int>(180 * fy + 50 * std::cos(d * 20.0));
            int b = static_cast<int>(d < 0.2 ? 220 - 400 * d : 60 + 90 * fx * fy);
            if (((x / 97) + (y / 61)) % 5 == 0) r = 255 - r;
            const int n = noise(rng);
            row[3 * x] = static_cast<std::uint8_t>(std::clamp(b + n, 0, 255));
            row[3 * x + 1] = static_cast<std::uint8_t>(std::clamp(g + n, 0, 255));
            row[3 * x + 2] = static_cast<std::uint8_t>(std::clamp(r + n, 0, 255));
        }
    }
    return img;
}

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> MakeJpeg(const JpegRecipe& params) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = static_cast<JDIMENSION>(params.width);
    cinfo.image_height = static_cast<JDIMENSION>(params.height);
    cinfo.input_components = params.components;
    cinfo.in_color_space = params.components == 1   ? JCS_GRAYSCALE
                           : params.components == 4 ? JCS_CMYK
                                                    : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, params.quality, TRUE);
    if (params.progressive) jpeg_simple_progression(&cinfo);
    cinfo.restart_in_rows = params.restartRows;
    cinfo.write_JFIF_header = params.jfif ? TRUE : FALSE;
    cinfo.density_unit = static_cast<UINT8>(params.densityUnit);
    cinfo.X_density = static_cast<UINT16>(params.xDensity);
    cinfo.Y_density = static_cast<UINT16>(params.yDensity);
    jpeg_start_compress(&cinfo, TRUE);
    if (!params.exif.empty()) {
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, params.exif.data(),
                          static_cast<unsigned>(params.exif.size()));
    }
    std::mt19937 rng(params.seed);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(params.width) * params.components);
    while (cinfo.next_scanline < cinfo.image_height) {
        for (std::size_t i = 0; i < row.size(); ++i)
            row[i] =
                static_cast<std::uint8_t>((i * 7 + cinfo.next_scanline * 3 + rng() % 8) & 0xFF);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<std::uint8_t> bytes(out, out + outSize);
    std::free(out);
    return bytes;
}

std::vector<std::uint8_t> EncodeWithLibjpeg(const CxImage& picture, int quality) {
    const bool grey = picture.BitsPerPixel() == 8;
    const int w = picture.Width(), h = picture.Height();
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = static_cast<JDIMENSION>(w);
    cinfo.image_height = static_cast<JDIMENSION>(h);
    cinfo.input_components = grey ? 1 : 3;
    cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, FALSE);
    cinfo.comp_info[0].h_samp_factor = cinfo.comp_info[0].v_samp_factor = 2;
    for (int i = 1; i < cinfo.num_components; ++i)
        cinfo.comp_info[i].h_samp_factor = cinfo.comp_info[i].v_samp_factor = 1;
    cinfo.density_unit = 1;
    cinfo.X_density = static_cast<UINT16>(picture.XDpi());
    cinfo.Y_density = static_cast<UINT16>(picture.YDpi());
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(w) * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        const std::uint8_t* src = picture.RowBits(h - 1 - static_cast<int>(cinfo.next_scanline));
        if (grey) {
            std::copy(src, src + w, row.begin());
        } else {
            for (int x = 0; x < w; ++x) {
                row[3 * x] = src[3 * x + 2];
                row[3 * x + 1] = src[3 * x + 1];
                row[3 * x + 2] = src[3 * x];
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<std::uint8_t> bytes(out, out + outSize);
    std::free(out);
    return bytes;
}

DecodedJpeg DecodeJpeg(const std::vector<std::uint8_t>& file) {
    DecodedJpeg result;
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&cinfo, TRUE);
    result.jfif = cinfo.saw_JFIF_marker;
    result.densityUnit = cinfo.density_unit;
    result.xDensity = cinfo.X_density;
    result.yDensity = cinfo.Y_density;
    result.components = cinfo.num_components;
    result.maxHSamp = cinfo.max_h_samp_factor;
    jpeg_start_decompress(&cinfo);
    result.width = static_cast<int>(cinfo.output_width);
    result.height = static_cast<int>(cinfo.output_height);
    const std::size_t stride = std::size_t{cinfo.output_width} * cinfo.output_components;
    result.pixels.resize(stride * cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW rows[1] = {result.pixels.data() + stride * cinfo.output_scanline};
        jpeg_read_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return result;
}

std::vector<std::uint8_t> ExifPayload(std::uint32_t xNum, std::uint32_t xDen, std::uint32_t yNum,
                                      std::uint32_t yDen, int unit, bool bigEndian) {
    std::vector<std::uint8_t> p = {'E', 'x', 'i', 'f', 0, 0};
    const std::size_t tiff = p.size();
    auto u16 = [&](std::uint32_t v) {
        if (bigEndian) {
            p.push_back(static_cast<std::uint8_t>(v >> 8));
            p.push_back(static_cast<std::uint8_t>(v));
        } else {
            p.push_back(static_cast<std::uint8_t>(v));
            p.push_back(static_cast<std::uint8_t>(v >> 8));
        }
    };
    auto u32 = [&](std::uint32_t v) {
        if (bigEndian) {
            u16(v >> 16);
            u16(v & 0xFFFF);
        } else {
            u16(v & 0xFFFF);
            u16(v >> 16);
        }
    };
    p.push_back(bigEndian ? 'M' : 'I');
    p.push_back(bigEndian ? 'M' : 'I');
    u16(42);
    u32(8);
    const std::uint32_t entries = unit < 0 ? 2 : 3;
    u16(entries);
    const std::uint32_t dataOffset = 8 + 2 + 12 * entries + 4;
    u16(0x011A);  // XResolution
    u16(5);
    u32(1);
    u32(dataOffset);
    u16(0x011B);  // YResolution
    u16(5);
    u32(1);
    u32(dataOffset + 8);
    if (unit >= 0) {
        u16(0x0128);  // ResolutionUnit
        u16(3);
        u32(1);
        u16(static_cast<std::uint32_t>(unit));
        u16(0);
    }
    u32(0);  // no next IFD
    if (p.size() - tiff != dataOffset) throw std::logic_error("exif layout");
    u32(xNum);
    u32(xDen);
    u32(yNum);
    u32(yDen);
    return p;
}

}  // namespace qelvo::test
