#include "picturefiles/PictureFile.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <QImage>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>

#include "picturefiles/fuzz/PictureInput.h"
#include "support/FuzzSupport.h"
#include "support/TempFolder.h"

namespace qelvo {
namespace {

using test::TempFolder;

PictureData gradient(int width, int height, int channels, int bits) {
    PictureData p;
    p.width = width;
    p.height = height;
    p.channels = channels;
    p.bitsPerSample = bits;
    p.samples.resize(p.rowBytes() * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c) {
                const int i = (y * width + x) * channels + c;
                if (bits == 8) {
                    p.samples[i] = static_cast<std::uint8_t>((x * 7 + y * 3 + c * 80) & 0xFF);
                } else {
                    const auto v =
                        static_cast<std::uint16_t>((x * 977 + y * 131 + c * 20000) & 0xFFFF);
                    std::memcpy(p.samples.data() + 2 * i, &v, 2);
                }
            }
    return p;
}

std::string run(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen((command + " 2>&1").c_str(), "r"), ::pclose);
    std::string out;
    char buffer[4096];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe.get())) out += buffer;
    return out;
}

bool haveTool(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

std::vector<std::uint8_t> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes, std::size_t n) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(n));
}

TEST(PictureFile, FormatFollowsTheExtensionInAnyCase) {
    EXPECT_EQ(pictureFormatOf("a/b.JPG"), PictureFormat::Jpeg);
    EXPECT_EQ(pictureFormatOf("b.jpeg"), PictureFormat::Jpeg);
    EXPECT_EQ(pictureFormatOf("b.Png"), PictureFormat::Png);
    EXPECT_EQ(pictureFormatOf("b.tif"), PictureFormat::Tiff);
    EXPECT_EQ(pictureFormatOf("b.TIFF"), PictureFormat::Tiff);
    EXPECT_EQ(pictureFormatOf("b.bmp"), std::nullopt);
    EXPECT_EQ(pictureFormatOf("dir.png/b"), std::nullopt);
}

// Every kind each format keeps, written and read back with its calibration; the lossless
// formats give back the very samples, 16 bits included.
TEST(PictureFile, RoundTripKeepsSamplesBitsAndCalibration) {
    TempFolder dir;
    struct Case {
        const char* name;
        int channels, bits;
    };
    for (const char* ext : {"png", "tif"})
        for (Case c : {Case{"rgb8", 3, 8}, Case{"grey8", 1, 8}, Case{"rgb16", 3, 16},
                       Case{"grey16", 1, 16}}) {
            SCOPED_TRACE(std::string(c.name) + "." + ext);
            PictureData p = gradient(37, 23, c.channels, c.bits);
            p.calibration = {0.3456, "40x Plan Apo"};
            const std::string path = dir / (std::string(c.name) + "." + ext);
            std::string error;
            ASSERT_TRUE(writePictureFile(path, p, &error)) << error;
            auto back = readPictureFile(path, &error);
            ASSERT_TRUE(back) << error;
            EXPECT_EQ(back->width, 37);
            EXPECT_EQ(back->height, 23);
            EXPECT_EQ(back->channels, c.channels);
            EXPECT_EQ(back->bitsPerSample, c.bits);
            EXPECT_EQ(back->samples, p.samples);
            EXPECT_NEAR(back->calibration.micrometresPerPixel, 0.3456, 0.3456e-5);
            EXPECT_EQ(back->calibration.objective, "40x Plan Apo");
            auto info = readPictureFileInfo(path, &error);
            ASSERT_TRUE(info) << error;
            EXPECT_EQ(info->bitsPerSample, c.bits);
            EXPECT_NEAR(info->calibration.micrometresPerPixel, 0.3456, 0.3456e-5);
        }
    for (int channels : {1, 3}) {
        PictureData p = gradient(64, 48, channels, 16);
        p.calibration = {2.5, "10x"};
        const std::string path = dir / "p.jpg";
        std::string error;
        ASSERT_TRUE(writePictureFile(path, p, &error)) << error;
        auto back = readPictureFile(path, &error);
        ASSERT_TRUE(back) << error;
        EXPECT_EQ(back->channels, channels);
        EXPECT_EQ(back->bitsPerSample, 8);
        EXPECT_NEAR(back->calibration.micrometresPerPixel, 2.5, 1e-9);
        EXPECT_EQ(back->calibration.objective, "10x");
    }
    // Uncalibrated stays uncalibrated.
    for (const char* name : {"u.png", "u.tif", "u.jpg"}) {
        std::string error;
        ASSERT_TRUE(writePictureFile(dir / name, gradient(8, 8, 3, 8), &error)) << error;
        auto info = readPictureFileInfo(dir / name, &error);
        ASSERT_TRUE(info) << error;
        EXPECT_FALSE(info->calibration.calibrated()) << name;
    }
}

TEST(PictureFile, TiffCalibrationIsImageJsAsLibtiffReadsIt) {
    ASSERT_TRUE(haveTool("tiffdump")) << "tiffdump (libtiff-tools) is named in scripts/setup";
    TempFolder dir;
    PictureData p = gradient(40, 30, 1, 16);
    p.calibration = {0.25, "100x oil"};
    std::string error;
    ASSERT_TRUE(writePictureFile(dir / "c.tif", p, &error)) << error;
    const std::string dump = run("tiffdump '" + (dir / "c.tif") + "'");
    // 4 pixels per micrometre, no unit: ImageJ takes the unit from its description.
    EXPECT_TRUE(std::regex_search(dump, std::regex(R"(XResolution \(282\) RATIONAL \(5\) 1<4>)")))
        << dump;
    EXPECT_TRUE(std::regex_search(dump, std::regex(R"(YResolution \(283\) RATIONAL \(5\) 1<4>)")))
        << dump;
    EXPECT_TRUE(std::regex_search(dump, std::regex(R"(ResolutionUnit \(296\) SHORT \(3\) 1<1>)")))
        << dump;
    const std::string info = run("tiffinfo '" + (dir / "c.tif") + "'");
    EXPECT_TRUE(std::regex_search(
        info, std::regex("ImageDescription: ImageJ=[0-9.a-z]+\nunit=micron\nobjective=100x oil\n")))
        << info;
    EXPECT_TRUE(std::regex_search(dump, std::regex(R"(BitsPerSample \(258\) SHORT \(3\) 1<16>)")))
        << dump;
}

// Files written by other programs: TIFF in centimetres counts, inches do not.
TEST(PictureFile, ForeignTiffUnitsCentimetreCountsInchDoesNot) {
    TempFolder dir;
    auto writeTiff = [&](const std::string& path, std::uint16_t unit, float resolution) {
        TIFF* t = TIFFOpen(path.c_str(), "w");
        ASSERT_NE(t, nullptr);
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 4u);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, 2u);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(t, TIFFTAG_XRESOLUTION, resolution);
        TIFFSetField(t, TIFFTAG_YRESOLUTION, resolution);
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, unit);
        std::uint8_t row[4] = {0, 10, 200, 255};
        for (std::uint32_t y = 0; y < 2; ++y) TIFFWriteScanline(t, row, y, 0);
        TIFFClose(t);
    };
    writeTiff(dir / "cm.tif", RESUNIT_CENTIMETER, 5000.0f);  // 2 um per pixel
    writeTiff(dir / "inch.tif", RESUNIT_INCH, 72.0f);
    std::string error;
    auto cm = readPictureFile(dir / "cm.tif", &error);
    ASSERT_TRUE(cm) << error;
    EXPECT_NEAR(cm->calibration.micrometresPerPixel, 2.0, 1e-6);
    // White-is-zero samples come back as brightness.
    EXPECT_EQ(cm->samples, (std::vector<std::uint8_t>{255, 245, 55, 0, 255, 245, 55, 0}));
    auto inch = readPictureFileInfo(dir / "inch.tif", &error);
    ASSERT_TRUE(inch) << error;
    EXPECT_FALSE(inch->calibration.calibrated());
}

TEST(PictureFile, PngPhysIsWhatQtReads) {
    TempFolder dir;
    PictureData p = gradient(20, 10, 3, 8);
    p.calibration = {0.5, "20x"};
    std::string error;
    ASSERT_TRUE(writePictureFile(dir / "c.png", p, &error)) << error;
    QImage image(QString::fromStdString(dir / "c.png"));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.dotsPerMeterX(), 2000000);  // 0.5 um per pixel
    EXPECT_EQ(image.dotsPerMeterY(), 2000000);
    EXPECT_EQ(image.text("Objective"), "20x");
    EXPECT_EQ(image.pixelColor(3, 2).red(), (3 * 7 + 2 * 3) & 0xFF);

    // A PNG of Qt's own with a resolution in pixels per metre counts as calibrated.
    QImage qt(8, 8, QImage::Format_Grayscale16);
    qt.fill(Qt::gray);
    qt.setDotsPerMeterX(1000000);
    qt.setDotsPerMeterY(1000000);
    ASSERT_TRUE(qt.save(QString::fromStdString(dir / "qt.png")));
    auto info = readPictureFileInfo(dir / "qt.png", &error);
    ASSERT_TRUE(info) << error;
    EXPECT_EQ(info->bitsPerSample, 16);
    EXPECT_EQ(info->channels, 1);
    EXPECT_NEAR(info->calibration.micrometresPerPixel, 1.0, 1e-9);
}

TEST(PictureFile, JpegExifIsWhatExiv2Reads) {
    ASSERT_TRUE(haveTool("exiv2")) << "exiv2 is named in scripts/setup";
    TempFolder dir;
    PictureData p = gradient(32, 16, 3, 8);
    p.calibration = {0.3456, "40x"};
    std::string error;
    ASSERT_TRUE(writePictureFile(dir / "c.jpg", p, &error)) << error;
    const std::string tags = run("exiv2 -q -Pkv '" + (dir / "c.jpg") + "'");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(tags, m, std::regex(R"(Exif\.Image\.XResolution\s+(\d+)/(\d+))")))
        << tags;
    const double perCm = std::stod(m[1]) / std::stod(m[2]);
    EXPECT_NEAR(1.0e4 / perCm, 0.3456, 1e-8);
    EXPECT_TRUE(std::regex_search(tags, std::regex(R"(Exif\.Image\.YResolution\s+\d+/\d+)")))
        << tags;
    EXPECT_TRUE(std::regex_search(tags, std::regex(R"(Exif\.Image\.ResolutionUnit\s+3\n)")))
        << tags;
    EXPECT_TRUE(
        std::regex_search(tags, std::regex(R"(Exif\.Image\.ImageDescription\s+objective=40x)")))
        << tags;
}

// Damaged files of every format are refused with a reason, never read as pictures.
TEST(PictureFile, CutShortOrDamagedFilesAreRefused) {
    TempFolder dir;
    PictureData p = gradient(96, 64, 3, 8);
    p.calibration = {1.0, "4x"};
    for (const char* name : {"d.jpg", "d.png", "d.tif"}) {
        SCOPED_TRACE(name);
        std::string error;
        ASSERT_TRUE(writePictureFile(dir / name, p, &error)) << error;
        const std::vector<std::uint8_t> whole = fileBytes(dir / name);
        for (double share : {0.0, 0.02, 0.3, 0.6, 0.95}) {
            const auto n = static_cast<std::size_t>(whole.size() * share);
            // TIFF keeps its directory after the samples: a cut removes it whatever the place.
            writeBytes(dir / "cut", whole, n);
            error.clear();
            EXPECT_FALSE(readPictureFile(dir / "cut", &error)) << "cut at " << n;
            EXPECT_FALSE(error.empty());
        }
    }
    // Garbage, an empty file, a file that is not there.
    writeBytes(dir / "junk.png", std::vector<std::uint8_t>(100, 0x5A), 100);
    std::string error;
    EXPECT_FALSE(readPictureFile(dir / "junk.png", &error));
    EXPECT_EQ(error, "not a JPEG, PNG or TIFF picture");
    EXPECT_FALSE(readPictureFileInfo(dir / "missing.png", &error));
    EXPECT_EQ(error, "No such file or directory");
    // A PNG whose image data was damaged fails its checksum.
    std::vector<std::uint8_t> png = fileBytes(dir / "d.png");
    png[png.size() / 2] ^= 0x55;
    writeBytes(dir / "flip.png", png, png.size());
    EXPECT_FALSE(readPictureFile(dir / "flip.png", &error));
}

TEST(PictureFile, FailedWritesLeaveNothingBehind) {
    TempFolder dir;
    { std::ofstream(dir / "keep.png") << "old"; }
    PictureData bad = gradient(8, 8, 3, 8);
    bad.samples.pop_back();
    std::string error;
    EXPECT_FALSE(writePictureFile(dir / "keep.png", bad, &error));
    EXPECT_FALSE(error.empty());
    PictureData nan = gradient(8, 8, 3, 8);
    nan.calibration.micrometresPerPixel = std::nan("");
    EXPECT_FALSE(writePictureFile(dir / "keep.png", nan, &error));
    EXPECT_FALSE(writePictureFile(dir / "x.bmp", gradient(8, 8, 3, 8), &error));
    EXPECT_FALSE(writePictureFile(dir / "no/such/folder.tif", gradient(8, 8, 3, 8), &error));
    std::vector<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(dir.path()))
        names.push_back(e.path().filename());
    EXPECT_EQ(names, std::vector<std::string>{"keep.png"});
    EXPECT_EQ(fileBytes(dir / "keep.png"), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
}

// The fuzzers' seeds (the program's own files and other programs' TIFF layouts) and every
// finding kept from them go through the fuzzers' own check.
TEST(PictureFile, FuzzSeedsAndKeptFindingsReadSoundly) {
    TempFolder dir;
    const std::pair<PictureFormat, const char*> targets[] = {{PictureFormat::Png, "png-file"},
                                                             {PictureFormat::Tiff, "tiff-file"},
                                                             {PictureFormat::Jpeg, "jpeg-file"}};
    for (const auto& [format, name] : targets) {
        const std::string seeds = dir / name;
        std::filesystem::create_directories(seeds);
        EXPECT_GE(fuzz::writePictureSeeds(format, seeds), 8) << name;
        for (const std::string& folder :
             {seeds, std::string(QELVO_PICTURE_FUZZ_REGRESSIONS) + "/" + name})
            for (const auto& [file, bytes] : fuzz::folderFiles(folder))
                EXPECT_EQ(fuzz::checkPictureInput(format, bytes), "") << name << "/" << file;
    }
    // The foreign layouts are read, not only refused soundly.
    std::string error;
    for (const char* layout : {"tiled", "lzw", "planes", "palette", "deflate"}) {
        auto picture =
            readPictureFile(dir / (std::string("tiff-file/foreign-") + layout + ".tif"), &error);
        ASSERT_TRUE(picture) << layout << ": " << error;
        EXPECT_EQ(picture->width, 20);
        EXPECT_NEAR(picture->calibration.micrometresPerPixel, 2.0, 1e-6) << layout;
    }
}

}  // namespace
}  // namespace qelvo
