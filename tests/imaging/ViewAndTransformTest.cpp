// Zoomed crops computed from the source, lossless JPEG turns and the file helpers under
// them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "imaging/CxImage.h"
#include "imaging/JpegTransform.h"
#include "imaging/ResizedCrop.h"
#include "support/TempFolder.h"
#include "support/TestPictures.h"

namespace qelvo {
namespace {

::testing::AssertionResult SamePixels(const CxImage& a, const CxImage& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height())
        return ::testing::AssertionFailure()
               << a.Width() << "x" << a.Height() << " vs " << b.Width() << "x" << b.Height();
    const std::size_t used = (static_cast<std::size_t>(a.Width()) * a.BitsPerPixel() + 7) / 8;
    for (int y = 0; y < a.Height(); ++y)
        if (std::memcmp(a.RowBits(y), b.RowBits(y), used) != 0)
            return ::testing::AssertionFailure() << "row " << y << " differs";
    return ::testing::AssertionSuccess();
}

TEST(ResizedCropTest, EqualsResizingTheWholePictureThenCropping) {
    struct Case {
        int w, h, bits;
        float zoom;
        int left, top, right, bottom;
    };
    const Case cases[] = {
        {641, 479, 24, 1.2f, 64, 48, 704, 528},     // a panel-sized window, odd size
        {333, 251, 24, 3.6f, 500, 301, 1140, 781},  // deep zoom, window inside
        {97, 61, 24, 8.2f, 700, 400, 1340, 880},    // window over the far edges: clamped
        {640, 480, 24, 1.4f, 128, 96, 768, 576},   {1, 1, 24, 8.2f, 0, 0, 640, 480},
        {123, 77, 8, 2.6f, 13, 7, 250, 190},  // grey palette picture
        {75, 51, 24, 1.0f, 5, 5, 40, 40},     // equal size: a plain crop
        {75, 51, 24, 0.7f, 0, 0, 640, 480},   // smaller than the window
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + " zoom " +
                     std::to_string(c.zoom));
        const CxImage source = test::RandomPicture(c.w, c.h, c.bits, 11, true);
        const int sw = static_cast<int>(static_cast<float>(c.w) * c.zoom);
        const int sh = static_cast<int>(static_cast<float>(c.h) * c.zoom);
        CxImage whole, expected, actual;
        whole.CopyFrom(source);
        ASSERT_TRUE(whole.Resize(sw, sh, 1));
        ASSERT_TRUE(whole.CropTo(c.left, c.top, c.right, c.bottom, &expected));
        ASSERT_TRUE(ResizedCrop(source, sw, sh, c.left, c.top, c.right, c.bottom, actual));
        EXPECT_EQ(actual.BitsPerPixel(), source.BitsPerPixel());
        EXPECT_TRUE(SamePixels(actual, expected));
    }
    // CropTo's failures carry over: an empty window, or nothing left after clamping.
    const CxImage source = test::RandomPicture(40, 30, 24, 3);
    CxImage out;
    EXPECT_FALSE(ResizedCrop(source, 48, 36, 10, 10, 10, 50, out));
    EXPECT_FALSE(ResizedCrop(source, 48, 36, 60, 0, 90, 20, out));
    EXPECT_FALSE(ResizedCrop(CxImage(), 48, 36, 0, 0, 10, 10, out));
}

CxImage Decoded(const std::vector<std::uint8_t>& bytes) {
    CxImage image;
    std::FILE* f = ::fmemopen(const_cast<std::uint8_t*>(bytes.data()), bytes.size(), "rb");
    if (f) {
        image.Decode(f, FormatJpeg);
        std::fclose(f);
    }
    return image;
}

TEST(JpegTransformTest, FourQuarterTurnsOfASnapshotGiveItsPixelsBack) {
    test::TempFolder dir;
    const std::string path = dir / "snap.jpg";
    CxImage snapshot = test::PhotoPicture(640, 480, 5);
    snapshot.SetQuality(80);
    ASSERT_TRUE(snapshot.SaveFile(path.c_str(), FormatJpeg));
    const CxImage original = Decoded(test::ReadBytes(path));
    ASSERT_TRUE(original.IsValid());

    std::string error;
    ASSERT_EQ(TransformJpegLosslessly(path, JpegTurn::QuarterClockwise, error),
              LosslessOutcome::Done);
    const CxImage turned = Decoded(test::ReadBytes(path));
    ASSERT_EQ(turned.Width(), 480);
    ASSERT_EQ(turned.Height(), 640);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(TransformJpegLosslessly(path, JpegTurn::QuarterClockwise, error),
                  LosslessOutcome::Done);
    EXPECT_TRUE(SamePixels(Decoded(test::ReadBytes(path)), original));
    EXPECT_EQ(dir.entries().size(), 1u);  // no temporary file left behind

    // Half turns, flips and mirrors undo themselves exactly as well.
    for (JpegTurn turn : {JpegTurn::HalfTurn, JpegTurn::FlipVertical, JpegTurn::MirrorHorizontal}) {
        ASSERT_EQ(TransformJpegLosslessly(path, turn, error), LosslessOutcome::Done);
        EXPECT_FALSE(SamePixels(Decoded(test::ReadBytes(path)), original));
        ASSERT_EQ(TransformJpegLosslessly(path, turn, error), LosslessOutcome::Done);
        EXPECT_TRUE(SamePixels(Decoded(test::ReadBytes(path)), original));
    }
}

TEST(JpegTransformTest, RefusesWhatItCannotDoPerfectlyAndWritesNothing) {
    test::TempFolder dir;
    // 100 x 75 with 2 x 2 sampling leaves partial blocks at both edges.
    CxImage odd = test::PhotoPicture(100, 75, 2);
    const std::string path = dir / "odd.jpg";
    ASSERT_TRUE(odd.SaveFile(path.c_str(), FormatJpeg));
    std::vector<std::uint8_t> bytes = test::ReadBytes(path);
    std::string error;
    for (JpegTurn turn : {JpegTurn::QuarterClockwise, JpegTurn::HalfTurn, JpegTurn::FlipVertical,
                          JpegTurn::MirrorHorizontal})
        EXPECT_EQ(TransformJpegLosslessly(path, turn, error), LosslessOutcome::NotPossible);
    EXPECT_EQ(test::ReadBytes(path), bytes);

    // Cut short, not a JPEG at all, missing.
    EXPECT_TRUE(JpegDataComplete(bytes));
    bytes.resize(bytes.size() * 2 / 3);
    EXPECT_FALSE(JpegDataComplete(bytes));
    test::WriteBytes(path, bytes);
    EXPECT_EQ(TransformJpegLosslessly(path, JpegTurn::HalfTurn, error),
              LosslessOutcome::NotPossible);
    EXPECT_EQ(test::ReadBytes(path), bytes);
    test::WriteBytes(path, {'G', 'I', 'F', '8', '9', 'a', 0, 0});
    EXPECT_EQ(TransformJpegLosslessly(path, JpegTurn::HalfTurn, error),
              LosslessOutcome::NotPossible);
    EXPECT_EQ(TransformJpegLosslessly(dir / "gone.jpg", JpegTurn::HalfTurn, error),
              LosslessOutcome::NotPossible);
}

// A complete, valid baseline JPEG of flat grey, 2 x 2 sampled colour, of any size: every
// block is coded in two bits (a one-symbol DC table and a one-symbol AC table), so even a
// picture too large to decode fits in a small file.
std::vector<std::uint8_t> FlatJpeg(int width, int height) {
    std::vector<std::uint8_t> f;
    f.reserve(1024);
    f.insert(f.end(), {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00});
    f.insert(f.end(), 64, 1);
    const auto hi = [](int v) { return static_cast<std::uint8_t>(v >> 8); };
    const auto lo = [](int v) { return static_cast<std::uint8_t>(v); };
    f.insert(f.end(), {0xFF, 0xC0, 0x00, 0x11, 0x08, hi(height), lo(height), hi(width), lo(width),
                       0x03, 0x01, 0x22, 0x00, 0x02, 0x11, 0x00, 0x03, 0x11, 0x00});
    for (std::uint8_t table : {0x00, 0x10}) {
        f.insert(f.end(), {0xFF, 0xC4, 0x00, 0x14, table, 0x01});
        f.insert(f.end(), 15, 0);
        f.push_back(0x00);
    }
    f.insert(f.end(),
             {0xFF, 0xDA, 0x00, 0x0C, 0x03, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x00, 0x3F, 0x00});
    const std::uint64_t mcus =
        std::uint64_t((width + 15) / 16) * static_cast<std::uint64_t>((height + 15) / 16);
    f.insert(f.end(), (mcus * 6 * 2 + 7) / 8, 0);
    f.insert(f.end(), {0xFF, 0xD9});
    return f;
}

TEST(JpegTransformTest, LeavesPicturesBeyondTheDecodersLimitAlone) {
    test::TempFolder dir;
    const std::string path = dir / "flat.jpg";
    // Small enough to decode: turned in its compressed form.
    test::WriteBytes(path, FlatJpeg(64, 48));
    std::string error;
    ASSERT_EQ(TransformJpegLosslessly(path, JpegTurn::QuarterClockwise, error),
              LosslessOutcome::Done);
    CxImage turned;
    ASSERT_TRUE(turned.LoadFile(path.c_str(), FormatJpeg));
    EXPECT_EQ(turned.Width(), 48);
    // Just past the picture size the decoder accepts: the transform would need hundreds of
    // megabytes of coefficients for a picture nothing else will open.
    const std::vector<std::uint8_t> huge = FlatJpeg(9472, 9472);
    test::WriteBytes(path, huge);
    ASSERT_TRUE(JpegDataComplete(huge));
    EXPECT_EQ(TransformJpegLosslessly(path, JpegTurn::QuarterClockwise, error),
              LosslessOutcome::NotPossible);
    EXPECT_EQ(test::ReadBytes(path), huge);
}

TEST(JpegTransformTest, CompletenessLooksPastAnEmbeddedThumbnail) {
    // An APP1 segment carrying a whole small JPEG (with its own end marker) before the
    // main picture's scan: cutting the main scan must still count as incomplete.
    test::JpegRecipe thumbRecipe;
    thumbRecipe.width = 16;
    thumbRecipe.height = 16;
    const std::vector<std::uint8_t> thumb = test::MakeJpeg(thumbRecipe);
    test::JpegRecipe recipe;
    recipe.width = 200;
    recipe.height = 150;
    recipe.exif.assign(6 + thumb.size(), 0);
    std::memcpy(recipe.exif.data(), "Exif", 4);
    std::memcpy(recipe.exif.data() + 6, thumb.data(), thumb.size());
    std::vector<std::uint8_t> file = test::MakeJpeg(recipe);
    EXPECT_TRUE(JpegDataComplete(file));
    file.resize(file.size() - 200);
    EXPECT_FALSE(JpegDataComplete(file));
}

}  // namespace
}  // namespace qelvo
