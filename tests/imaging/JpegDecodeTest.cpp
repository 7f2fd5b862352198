#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/CxImage.h"
#include "imaging/JpegResolution.h"
#include "support/TempFolder.h"
#include "support/TestPictures.h"

namespace qelvo {
namespace {

using test::JpegRecipe;
using test::MakeJpeg;
using test::TempFolder;
using test::WriteBytes;

CxImage LoadBytes(const TempFolder& dir, const std::vector<std::uint8_t>& bytes, int format,
                  bool* ok = nullptr) {
    const std::string path = dir / "in.bin";
    WriteBytes(path, bytes);
    CxImage img;
    const bool loaded = img.LoadFile(path.c_str(), format);
    if (ok) *ok = loaded;
    return img;
}

TEST(JpegDecode, GreyColourAndFourComponentFiles) {
    TempFolder dir;
    struct Case {
        int components;
        bool progressive;
        int restartRows;
    } cases[] = {{1, false, 0}, {3, false, 0}, {4, false, 0}, {3, true, 0},
                 {1, true, 0},  {3, false, 1}, {3, true, 2}};
    for (const Case& c : cases) {
        JpegRecipe params;
        params.width = 45;
        params.height = 29;
        params.components = c.components;
        params.progressive = c.progressive;
        params.restartRows = c.restartRows;
        const auto bytes = MakeJpeg(params);
        bool ok = false;
        CxImage img = LoadBytes(dir, bytes, FormatJpeg, &ok);
        ASSERT_TRUE(ok) << img.LastError();
        EXPECT_EQ(img.Width(), 45);
        EXPECT_EQ(img.Height(), 29);
        EXPECT_EQ(img.BitsPerPixel(), c.components == 1 ? 8 : 24);
        EXPECT_EQ(img.IsGrayScale(), c.components == 1);
        EXPECT_EQ(img.Format(), FormatJpeg);

        // Pixels as libjpeg gives them, bottom-up, blue-green-red (or converted CMYK).
        const auto ref = test::DecodeJpeg(bytes);
        for (int y = 0; y < 29; y += 4) {
            for (int x = 0; x < 45; x += 3) {
                const std::uint8_t* p = ref.pixels.data() + (y * 45 + x) * c.components;
                const int row = 28 - y;
                if (c.components == 1) {
                    ASSERT_EQ(img.GetPixelIndex(x, row), p[0]);
                } else if (c.components == 3) {
                    ASSERT_EQ(img.GetPixelColor(x, row), (RgbQuad{p[2], p[1], p[0], 0}));
                } else {
                    const unsigned k = p[3];
                    ASSERT_EQ(img.GetPixelColor(x, row),
                              (RgbQuad{static_cast<std::uint8_t>(k * p[2] / 255),
                                       static_cast<std::uint8_t>(k * p[1] / 255),
                                       static_cast<std::uint8_t>(k * p[0] / 255), 0}));
                }
            }
        }
    }
}

TEST(JpegDecode, GreyPicturesSaveAsOneComponentFiles) {
    TempFolder dir;
    JpegRecipe params;
    params.components = 1;
    CxImage img = LoadBytes(dir, MakeJpeg(params), FormatJpeg);
    ASSERT_TRUE(img.IsGrayScale());
    const std::string out = dir / "grey.jpg";
    ASSERT_TRUE(img.SaveFile(out.c_str(), FormatJpeg)) << img.LastError();
    const auto decoded = test::DecodeJpeg(test::ReadBytes(out));
    EXPECT_EQ(decoded.components, 1);
    EXPECT_EQ(decoded.width, params.width);
}

TEST(JpegDecode, ResolutionFromJfifDensity) {
    TempFolder dir;
    struct Case {
        int unit, xd, yd, xdpi, ydpi;
    } cases[] = {
        {1, 300, 200, 300, 200}, {2, 40, 118, 102, 300},  // per centimetre: floor(d * 2.54 + 0.5)
        {0, 2, 3, 96, 144},  // aspect only: X keeps 96, Y = trunc(96 * 3 / 2)
        {0, 1, 1, 96, 96},       {1, 0, 0, 96, 96},  // zero stores the default
    };
    for (const Case& c : cases) {
        JpegRecipe params;
        params.densityUnit = c.unit;
        params.xDensity = c.xd;
        params.yDensity = c.yd;
        CxImage img = LoadBytes(dir, MakeJpeg(params), FormatJpeg);
        ASSERT_TRUE(img.IsValid()) << img.LastError();
        EXPECT_EQ(img.XDpi(), c.xdpi) << c.unit;
        EXPECT_EQ(img.YDpi(), c.ydpi) << c.unit;
    }
    JpegRecipe noJfif;
    noJfif.jfif = false;
    CxImage img = LoadBytes(dir, MakeJpeg(noJfif), FormatJpeg);
    EXPECT_EQ(img.XDpi(), 96);
    EXPECT_EQ(img.YDpi(), 96);
}

TEST(JpegDecode, ResolutionFromExifWinsOverJfif) {
    TempFolder dir;
    struct Case {
        std::uint32_t xn, xd, yn, yd;
        int unit;
        int xdpi, ydpi;
    } cases[] = {
        {300, 1, 150, 1, 2, 300, 150},  {72, 1, 72, 1, 1, 72, 72},
        {100, 1, 50, 1, 3, 254, 127},    // per centimetre
        {10, 1, 4, 1, 4, 254, 101},      // per millimetre
        {1, 100, 0, 1, 5, 254, 96},      // per micrometre; zero Y keeps the default
        {300, 1, 300, 1, 7, 96, 96},     // unknown unit: nothing applied
        {600, 2, 300, 1, -1, 300, 300},  // unit tag absent: inches
    };
    for (const Case& c : cases) {
        for (bool bigEndian : {false, true}) {
            JpegRecipe params;
            params.densityUnit = 1;
            params.xDensity = 55;
            params.yDensity = 55;
            params.exif = test::ExifPayload(c.xn, c.xd, c.yn, c.yd, c.unit, bigEndian);
            CxImage img = LoadBytes(dir, MakeJpeg(params), FormatJpeg);
            ASSERT_TRUE(img.IsValid()) << img.LastError();
            EXPECT_EQ(img.XDpi(), c.xdpi) << c.unit;
            EXPECT_EQ(img.YDpi(), c.ydpi) << c.unit;
        }
    }
}

TEST(JpegDecode, ExifParserRefusesOffsetsOutsideTheBlock) {
    auto payload = test::ExifPayload(300, 1, 300, 1, 2, false);
    std::vector<std::uint8_t> tiff(payload.begin() + 6, payload.end());
    ExifResolution r;
    ASSERT_TRUE(ParseExifResolution(tiff.data(), tiff.size(), r));
    EXPECT_EQ(r.xResolution, 300.0);
    // Every truncation and every IFD offset must stay inside the block.
    for (std::size_t n = 0; n < tiff.size(); ++n) {
        std::vector<std::uint8_t> cut(tiff.begin(), tiff.begin() + static_cast<long>(n));
        ExifResolution out;
        ParseExifResolution(cut.data(), cut.size(), out);
    }
    for (std::uint8_t b : {0x00, 0x7F, 0xFF}) {
        auto bad = tiff;
        bad[4] = bad[5] = bad[6] = bad[7] = b;  // IFD offset
        ExifResolution out;
        ParseExifResolution(bad.data(), bad.size(), out);
        auto entries = tiff;
        entries[8] = entries[9] = 0xFF;  // 65535 entries
        ParseExifResolution(entries.data(), entries.size(), out);
        EXPECT_EQ(out.xResolution, 300.0);  // the real entries are still found first
    }
}

TEST(JpegDecode, BrokenFilesFailCleanlyOrDecodeWhatIsThere) {
    TempFolder dir;
    bool ok = true;
    CxImage empty = LoadBytes(dir, {}, FormatJpeg, &ok);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(empty.IsValid());

    // Straight JPEG decode of an empty stream gives libjpeg's empty-input message.
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    CxImage direct;
    EXPECT_FALSE(direct.Decode(f, FormatJpeg));
    EXPECT_STREQ(direct.LastError(), "Empty input file");
    std::fclose(f);
    EXPECT_FALSE(direct.Decode(nullptr, FormatJpeg));
    EXPECT_STREQ(direct.LastError(), "null file handler");

    JpegRecipe params;
    params.width = 64;
    params.height = 64;
    auto bytes = MakeJpeg(params);
    auto cut = std::vector<std::uint8_t>(bytes.begin(),
                                         bytes.begin() + static_cast<long>(bytes.size() / 2));
    CxImage half = LoadBytes(dir, cut, FormatJpeg, &ok);
    EXPECT_TRUE(ok) << half.LastError();
    EXPECT_EQ(half.Width(), 64);

    // A picture that was there stays when a later decode fails.
    CxImage keep = LoadBytes(dir, bytes, FormatJpeg);
    const std::string junk = dir / "junk.bin";
    WriteBytes(junk, {0x12, 0x34, 0x56, 0x78, 0x9A});
    EXPECT_FALSE(keep.LoadFile(junk.c_str(), FormatUnknown));
    EXPECT_STREQ(keep.LastError(), "Decode: Unknown or wrong format");
    EXPECT_EQ(keep.Width(), 64);
    EXPECT_FALSE(keep.LoadFile(junk.c_str(), FormatJpeg));
    EXPECT_STRNE(keep.LastError(), "Decode: Unknown or wrong format");  // the JPEG reason
    EXPECT_EQ(keep.Width(), 64);
    EXPECT_FALSE(keep.LoadFile((dir / "absent.jpg").c_str(), FormatJpeg));

    // Every truncation point and some flipped bytes: never a crash.
    for (std::size_t n = 0; n < bytes.size(); n += 7) {
        CxImage img = LoadBytes(
            dir, std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(n)),
            FormatUnknown);
        (void)img;
    }
    for (std::size_t n = 2; n < 200 && n < bytes.size(); ++n) {
        auto flipped = bytes;
        flipped[n] ^= 0xA5;
        CxImage img = LoadBytes(dir, flipped, FormatJpeg);
        if (img.IsValid()) {
            EXPECT_GT(img.Width(), 0);
        }
    }
}

TEST(JpegDecode, EnormousDimensionsAreRefusedBeforeAllocation) {
    JpegRecipe params;
    params.width = 16;
    params.height = 16;
    auto bytes = MakeJpeg(params);
    // Patch the frame header to claim 65000 x 65000.
    for (std::size_t i = 0; i + 8 < bytes.size(); ++i) {
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
            bytes[i + 5] = 0xFD;
            bytes[i + 6] = 0xE8;
            bytes[i + 7] = 0xFD;
            bytes[i + 8] = 0xE8;
            break;
        }
    }
    TempFolder dir;
    bool ok = true;
    CxImage img = LoadBytes(dir, bytes, FormatJpeg, &ok);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(img.IsValid());
    std::FILE* f = std::fopen((dir / "in.bin").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_FALSE(img.Decode(f, FormatJpeg));
    std::fclose(f);
    EXPECT_STREQ(img.LastError(), "CXIMAGE_MAX_MEMORY exceeded");
}

TEST(Wbmp, RoundTripAndHeaderErrors) {
    TempFolder dir;
    CxImage mono = test::RandomPicture(21, 9, 1, 4, true);
    const std::string path = dir / "m.wbmp";
    ASSERT_TRUE(mono.SaveFile(path.c_str(), FormatWbmp)) << mono.LastError();
    const auto bytes = test::ReadBytes(path);
    ASSERT_EQ(bytes.size(), 4u + 3u * 9u);
    EXPECT_EQ(bytes[0], 0);
    EXPECT_EQ(bytes[2], 21);
    EXPECT_EQ(bytes[3], 9);

    CxImage back;
    ASSERT_TRUE(back.LoadFile(path.c_str(), FormatWbmp)) << back.LastError();
    EXPECT_EQ(back.Format(), FormatWbmp);
    EXPECT_EQ(back.BitsPerPixel(), 1);
    EXPECT_EQ(back.PaletteColor(1), (RgbQuad{255, 255, 255, 0}));
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 21; ++x) ASSERT_EQ(back.GetPixelIndex(x, y), mono.GetPixelIndex(x, y));
    CxImage guessed;
    ASSERT_TRUE(guessed.LoadFile(path.c_str(), FormatUnknown));
    EXPECT_EQ(guessed.Format(), FormatWbmp);

    // Multi-byte widths: 200 = 0x81 0x48.
    CxImage wide;
    wide.Create(200, 1, 1);
    wide.SetGrayPalette();
    ASSERT_TRUE(wide.SaveFile(path.c_str(), FormatWbmp));
    const auto wb = test::ReadBytes(path);
    EXPECT_EQ(wb[2], 0x81);
    EXPECT_EQ(wb[3], 0x48);

    auto decodeError = [&](std::vector<std::uint8_t> data) {
        WriteBytes(path, data);
        std::FILE* f = std::fopen(path.c_str(), "rb");
        CxImage img;
        EXPECT_FALSE(img.Decode(f, FormatWbmp));
        std::fclose(f);
        return std::string(img.LastError());
    };
    EXPECT_EQ(decodeError({0, 0, 5}), "Not a WBMP");
    EXPECT_EQ(decodeError({1, 0, 5, 5}), "Unsupported WBMP type");
    EXPECT_EQ(decodeError({0, 0, 0, 5}), "Corrupted WBMP");
    // Huge claimed size with no data: refused before anything is allocated.
    EXPECT_EQ(decodeError({0, 0, 0x8F, 0xFF, 0xFF, 0xFF, 0x7F, 0x8F, 0xFF, 0xFF, 0xFF, 0x7F}),
              "Corrupted WBMP");
    EXPECT_EQ(decodeError({0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 1}), "Not a WBMP");
    // From a stream whose length cannot be told, the size limit of the picture refuses it.
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const std::uint8_t huge[] = {0, 0, 0x81, 0x80, 0x80, 0x80, 0x00, 0x81, 0x80, 0x80, 0x80, 0x00};
    ASSERT_EQ(::write(fds[1], huge, sizeof huge), static_cast<ssize_t>(sizeof huge));
    ::close(fds[1]);
    std::FILE* pipeIn = ::fdopen(fds[0], "rb");
    CxImage fromPipe;
    EXPECT_FALSE(fromPipe.Decode(pipeIn, FormatWbmp));
    EXPECT_STREQ(fromPipe.LastError(), "WBMP Create failed");
    std::fclose(pipeIn);
}

TEST(FuzzRegressions, EveryInputThatOnceCrashedLoadsSafely) {
    const std::string folder = QELVO_FUZZ_REGRESSIONS;
    DIR* d = ::opendir(folder.c_str());
    ASSERT_NE(d, nullptr);
    int files = 0;
    while (dirent* e = ::readdir(d)) {
        if (e->d_name[0] == '.') continue;
        const std::string path = folder + "/" + e->d_name;
        for (int format : {FormatUnknown, FormatJpeg, FormatWbmp}) {
            CxImage img;
            if (img.LoadFile(path.c_str(), format)) {
                EXPECT_GT(img.Width(), 0) << path;
                EXPECT_GT(img.XDpi(), 0) << path;
            }
        }
        ++files;
    }
    ::closedir(d);
    EXPECT_GT(files, 0);
}

}  // namespace
}  // namespace qelvo
