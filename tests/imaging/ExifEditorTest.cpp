// The EXIF layout editor, the JPEG segment walk under it and the quality estimate that
// the picture tools' re-encoding relies on.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "imaging/CxImage.h"
#include "imaging/ExifEditor.h"
#include "imaging/JpegQuality.h"
#include "imaging/JpegSegments.h"
#include "imaging/fuzz/ExifInput.h"
#include "support/FuzzSupport.h"
#include "support/TempFolder.h"
#include "support/TestPictures.h"

namespace qelvo {
namespace {

using fuzz::exifBlock;
using fuzz::ExifRecipe;

ExifLayout Layout(std::vector<std::uint8_t> block) {
    ExifLayout layout;
    EXPECT_TRUE(ExifEditor(block.data(), block.size()).Read(layout));
    return layout;
}

TEST(ExifEditorTest, ResetsOrientationAndSizeInEitherByteOrderAndKeepsTheRest) {
    for (bool big : {false, true})
        for (bool longDimensions : {false, true}) {
            SCOPED_TRACE(std::string(big ? "big" : "little") + (longDimensions ? " LONG" : ""));
            std::vector<std::uint8_t> block = exifBlock({big, 6, 640, 480, longDimensions});
            const ExifLayout before = Layout(block);
            EXPECT_EQ(before.orientation, 6);
            EXPECT_EQ(before.pixelWidth, 640);
            EXPECT_EQ(before.pixelHeight, 480);
            ASSERT_TRUE(ExifEditor(block.data(), block.size()).ResetLayout(480, 640));
            // Byte for byte what a camera would have written for the turned picture.
            EXPECT_EQ(block, exifBlock({big, 1, 480, 640, longDimensions}));

            // Tags that are absent stay absent.
            block = exifBlock({big, -1, 640, 0, longDimensions});
            ASSERT_TRUE(ExifEditor(block.data(), block.size()).ResetLayout(48, 64));
            EXPECT_EQ(block, exifBlock({big, -1, 48, 0, longDimensions}));
        }
    // A SHORT cannot hold 70000: nothing changes.
    std::vector<std::uint8_t> block = exifBlock({});
    const std::vector<std::uint8_t> original = block;
    EXPECT_FALSE(ExifEditor(block.data(), block.size()).ResetLayout(70000, 20));
    EXPECT_EQ(block, original);
}

TEST(ExifEditorTest, MalformedBlocksAreNeitherReadNorChanged) {
    // Offsets into the little-endian block: the TIFF header at 6, IFD0 at 14 with its
    // entries from 16 (Make, Orientation, Exif IFD pointer).
    const std::vector<std::uint8_t> good = exifBlock({});
    auto with = [&](std::size_t at, std::vector<std::uint8_t> bytes) {
        std::vector<std::uint8_t> b = good;
        std::memcpy(b.data() + at, bytes.data(), bytes.size());
        return b;
    };
    const std::uint8_t exifPointerValue = 16 + 2 * 12 + 8;
    const std::vector<std::vector<std::uint8_t>> cases = {
        {},
        std::vector<std::uint8_t>(good.begin(), good.begin() + 13),  // IFD offset cut
        std::vector<std::uint8_t>(good.begin(), good.begin() + 40),  // inside IFD0
        with(0, {'E', 'x', 'i', 'F'}),
        with(6, {'I', 'M'}),                               // no byte order
        with(8, {43, 0}),                                  // not TIFF
        with(10, {0xF0, 0xFF, 0xFF, 0xFF}),                // IFD0 far past the end
        with(14, {0xFF, 0xFF}),                            // more entries than the block holds
        with(exifPointerValue, {0xF0, 0xFF, 0xFF, 0x7F}),  // Exif IFD past the end
        with(16 + 12 + 4, {2}),                            // two orientation values
        with(16 + 12 + 2, {5}),                            // orientation as a RATIONAL
        with(40, {0x12, 0x01}),                            // Orientation twice
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        std::vector<std::uint8_t> block = cases[i];
        ExifLayout layout;
        EXPECT_FALSE(ExifEditor(block.data(), block.size()).Read(layout));
        EXPECT_FALSE(ExifEditor(block.data(), block.size()).ResetLayout(10, 20));
        EXPECT_EQ(block, cases[i]);
    }
    // Every cut of a sound block, in both byte orders, through the fuzzer's own check.
    for (bool big : {false, true}) {
        const std::vector<std::uint8_t> block = exifBlock({big});
        for (std::size_t n = 0; n < block.size(); ++n)
            ASSERT_EQ(fuzz::checkExifInput({reinterpret_cast<const char*>(block.data()), n}), "")
                << "cut at " << n;
    }
}

TEST(JpegSegmentsTest, TheExifSegmentGoesBehindJfifAndIsFoundAgain) {
    CxImage picture = test::PhotoPicture(32, 16, 3);
    test::TempFolder dir;
    const std::string path = dir / "p.jpg";
    picture.SetQuality(80);
    ASSERT_TRUE(picture.SaveFile(path.c_str(), FormatJpeg));
    std::vector<std::uint8_t> file = test::ReadBytes(path);
    JpegSegment segment;
    EXPECT_FALSE(FindExifSegment(file, segment));
    const std::vector<std::uint8_t> block = exifBlock({true});
    ASSERT_TRUE(InsertApp1Segment(file, block));
    ASSERT_TRUE(FindExifSegment(file, segment));
    EXPECT_EQ(segment.start, 20u);  // after the start marker and the 18-byte JFIF segment
    EXPECT_EQ(std::vector<std::uint8_t>(file.begin() + segment.payload,
                                        file.begin() + segment.payload + segment.payloadSize),
              block);
    // The file still decodes, with its JFIF resolution.
    const test::DecodedJpeg decoded = test::DecodeJpeg(file);
    EXPECT_EQ(decoded.width, 32);
    EXPECT_TRUE(decoded.jfif);
    EXPECT_FALSE(InsertApp1Segment(file, std::vector<std::uint8_t>(0x10000, 0)));
}

TEST(JpegQualityTest, EstimatesTheQualityLibjpegWasGiven) {
    for (int quality : {5, 20, 50, 75, 92, 100}) {
        test::JpegRecipe recipe;
        recipe.quality = quality;
        EXPECT_EQ(EstimateJpegQuality(test::MakeJpeg(recipe)), quality);
    }
    // The program's encoder allows tables beyond the baseline range.
    CxImage picture = test::PhotoPicture(32, 16, 3);
    for (int quality : {3, 80}) {
        const std::vector<std::uint8_t> file = test::EncodeWithLibjpeg(picture, quality);
        EXPECT_EQ(EstimateJpegQuality(file), quality);
    }
    EXPECT_EQ(EstimateJpegQuality({0xFF, 0xD8, 0xFF, 0xD9}), 0);
}

TEST(ExifFuzzInputs, SeedsAndKeptInputsGiveSoundResults) {
    test::TempFolder seeds;
    ASSERT_GT(fuzz::writeExifSeeds(seeds.path()), 0);
    for (const auto& [name, bytes] : fuzz::folderFiles(seeds.path()))
        EXPECT_EQ(fuzz::checkExifInput(bytes), "") << "seed " << name;
    const auto kept = fuzz::folderFiles(QELVO_EXIF_FUZZ_REGRESSIONS);
    EXPECT_FALSE(kept.empty());
    for (const auto& [name, bytes] : kept)
        EXPECT_EQ(fuzz::checkExifInput(bytes), "") << "kept input " << name;
}

}  // namespace
}  // namespace qelvo
