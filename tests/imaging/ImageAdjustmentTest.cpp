#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

#include "imaging/CxImage.h"
#include "imaging/ImageAdjustment.h"
#include "imaging/NearestSample.h"
#include "support/ImageOpsReference.h"
#include "support/TempFolder.h"
#include "support/TestPictures.h"

namespace qelvo {
namespace {

using test::ExpectSamePixels;

struct KindCase {
    int kind, maximum, step;
};
// Each kind with its range and a value a step away from the initial 0.
const KindCase kKinds[] = {{ImageAdjustment::Brightness, 255, 60},
                           {ImageAdjustment::Contrast, 100, -35},
                           {ImageAdjustment::Hue, 180, 75},
                           {ImageAdjustment::Saturation, 100, 40},
                           {ImageAdjustment::Histogram, 500, -420}};

std::string SavedPhoto(const test::TempFolder& dir, int w, int h, bool grey = false) {
    const std::string path = dir / (grey ? "grey.jpg" : "photo.jpg");
    if (grey) {
        test::JpegRecipe recipe;
        recipe.width = w;
        recipe.height = h;
        recipe.components = 1;
        test::WriteBytes(path, test::MakeJpeg(recipe));
    } else
        test::PhotoPicture(w, h, 5).SaveFile(path.c_str(), FormatJpeg);
    return path;
}

// The preview, adjusted on a copy the preview's size, shows exactly the whole adjusted picture
// sampled to that size, and the level counts are those of the whole adjusted picture; at the
// initial value and after a step, for colour and greyscale pictures and every channel choice.
TEST(ImageAdjustment, PreviewAndLevelsEqualTheWholeComputation) {
    test::TempFolder dir;
    for (const bool grey : {false, true}) {
        const std::string path = SavedPhoto(dir, 203, 151, grey);
        for (const KindCase& k : kKinds) {
            for (const int value : {0, k.step}) {
                for (const auto channel : {ImageAdjustment::Master, ImageAdjustment::Green}) {
                    SCOPED_TRACE(testing::Message()
                                 << "grey " << grey << " kind " << k.kind << " value " << value
                                 << " channel " << channel);
                    ImageAdjustment preview(k.kind, -k.maximum, k.maximum);
                    preview.SetPreviewSize(57, 43);
                    ASSERT_TRUE(preview.Load(path));
                    ASSERT_TRUE(preview.Apply(value, channel));
                    ASSERT_EQ(preview.AdjustedPreview().Width(), 57);

                    CxImage full, sampled;
                    ASSERT_TRUE(preview.AdjustFull(full));
                    ASSERT_TRUE(SampleNearest(full, 57, 43, sampled));
                    ExpectSamePixels(preview.AdjustedPreview(), sampled, "preview");

                    if (k.kind != ImageAdjustment::Histogram) continue;
                    long r[256], g[256], b[256], y[256];
                    const long largest = full.CountLevels(r, g, b, y, 0);
                    EXPECT_EQ(preview.LargestLevel(), largest);
                    for (int i = 0; i < 256; ++i) {
                        ASSERT_EQ(preview.Levels(ImageAdjustment::Red)[i], r[i]) << i;
                        ASSERT_EQ(preview.Levels(ImageAdjustment::Blue)[i], b[i]) << i;
                        ASSERT_EQ(preview.Levels(ImageAdjustment::Master)[i], y[i]) << i;
                    }
                }
            }
        }
    }
}

// A step changes the picture (so the comparison above is not between unchanged pictures),
// except where nothing should change: brightness and contrast 0 leave every byte alone.
TEST(ImageAdjustment, ZeroBrightnessAndContrastChangeNothingAndStepsDo) {
    test::TempFolder dir;
    const std::string path = SavedPhoto(dir, 40, 30);
    for (const KindCase& k : kKinds) {
        ImageAdjustment a(k.kind, -k.maximum, k.maximum);
        ASSERT_TRUE(a.Load(path));
        CxImage atZero, atStep;
        ASSERT_TRUE(a.Apply(0, ImageAdjustment::Master));
        a.AdjustFull(atZero);
        ASSERT_TRUE(a.Apply(k.step, ImageAdjustment::Master));
        a.AdjustFull(atStep);
        bool stepChanged = false;
        for (int y = 0; y < 30 && !stepChanged; ++y)
            stepChanged = std::memcmp(atStep.RowBits(y), a.Original().RowBits(y), 120) != 0;
        EXPECT_TRUE(stepChanged) << "kind " << k.kind;
        if (k.kind <= ImageAdjustment::Contrast) ExpectSamePixels(atZero, a.Original(), "at 0");
    }

    // Brightness at the ends of its range.
    ImageAdjustment bright(ImageAdjustment::Brightness, -255, 255);
    ASSERT_TRUE(bright.Load(path));
    for (const int value : {255, -255}) {
        CxImage full;
        bright.Apply(value, ImageAdjustment::Master);
        bright.AdjustFull(full);
        const RgbQuad expected = value > 0 ? RgbQuad{255, 255, 255, 0} : RgbQuad{};
        EXPECT_EQ(full.GetPixelColor(7, 9), expected);
    }
}

// The hue slider covers the hue circle once: -180 is byte 0, +180 byte 255, and +76 (where
// a wrapping byte came back to 0) is a hue of its own.
TEST(ImageAdjustment, HueValueMapsOnceOntoTheHueByte) {
    test::TempFolder dir;
    const std::string path = SavedPhoto(dir, 24, 16);
    ImageAdjustment hue(ImageAdjustment::Hue, -180, 180);
    ASSERT_TRUE(hue.Load(path));
    auto adjusted = [&](int value) {
        CxImage out;
        hue.Apply(value, ImageAdjustment::Master);
        hue.AdjustFull(out);
        return out;
    };
    auto direct = [&](int byte) {
        CxImage out = test::Copy(hue.Original());
        out.SetHueSaturation(static_cast<std::uint8_t>(byte), 100, 1.0f);
        return out;
    };
    ExpectSamePixels(adjusted(-180), direct(0), "-180");
    ExpectSamePixels(adjusted(180), direct(255), "+180");
    ExpectSamePixels(adjusted(76), direct(256 * 255 / 360), "+76");
    EXPECT_NE(adjusted(76).GetPixelColor(3, 3), adjusted(-180).GetPixelColor(3, 3));
}

TEST(ImageAdjustment, OutOfRangeValuesApplyNothing) {
    test::TempFolder dir;
    const std::string path = SavedPhoto(dir, 24, 16);
    ImageAdjustment a(ImageAdjustment::Brightness, -255, 255);
    ASSERT_TRUE(a.Load(path));
    ASSERT_TRUE(a.Apply(200, ImageAdjustment::Master));
    const RgbQuad before = a.AdjustedPreview().GetPixelColor(2, 2);
    EXPECT_FALSE(a.Apply(300, ImageAdjustment::Master));
    EXPECT_FALSE(a.Apply(-256, ImageAdjustment::Master));
    EXPECT_EQ(a.AdjustedPreview().GetPixelColor(2, 2), before);
}

// A picture that cannot be read gives empty previews and zero levels, and saving it writes
// nothing and says why (the file stays as it was).
TEST(ImageAdjustment, UnreadablePictureSavesNothing) {
    test::TempFolder dir;
    const std::string path = dir / "broken.jpg";
    const std::vector<std::uint8_t> junk = {'n', 'o', 't', ' ', 'a', ' ', 'J', 'P', 'E', 'G'};
    test::WriteBytes(path, junk);
    ImageAdjustment a(ImageAdjustment::Histogram, -500, 500);
    a.SetPreviewSize(50, 40);
    EXPECT_FALSE(a.Load(path));
    EXPECT_TRUE(a.Apply(0, ImageAdjustment::Master));
    EXPECT_FALSE(a.AdjustedPreview().IsValid());
    EXPECT_EQ(a.LargestLevel(), 0);
    std::string reason;
    EXPECT_FALSE(a.Save(path, reason));
    EXPECT_NE(reason.find("Unknown or wrong format"), std::string::npos) << reason;
    EXPECT_EQ(test::ReadBytes(path), junk);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"broken.jpg"});

    // A folder that went away while the dialog was open: the save says so.
    ImageAdjustment good(ImageAdjustment::Brightness, -255, 255);
    ASSERT_TRUE(good.Load(SavedPhoto(dir, 8, 8)));
    EXPECT_FALSE(good.Save(dir / "gone/photo.jpg", reason));
    EXPECT_NE(reason.find("No such file"), std::string::npos) << reason;

    ImageAdjustment missing(ImageAdjustment::Brightness, -255, 255);
    EXPECT_FALSE(missing.Load(dir / "gone.jpg"));
    EXPECT_NE(missing.LoadError().find("No such file"), std::string::npos) << missing.LoadError();
}

// A JPEG cut short decodes, with grey fill in place of what is missing: it is refused with
// the picture tools' reason, and saving it changes nothing.
TEST(ImageAdjustment, ACutShortJpegIsRefusedWithThePictureToolsReason) {
    test::TempFolder dir;
    const std::string path = SavedPhoto(dir, 160, 120);
    std::vector<std::uint8_t> cut = test::ReadBytes(path);
    cut.resize(cut.size() * 2 / 3);
    test::WriteBytes(path, cut);
    ImageAdjustment a(ImageAdjustment::Brightness, -255, 255);
    EXPECT_FALSE(a.Load(path));
    EXPECT_EQ(a.LoadError(), "the file is not a complete JPEG picture");
    EXPECT_FALSE(a.Original().IsValid());
    a.Apply(40, ImageAdjustment::Master);
    std::string reason;
    EXPECT_FALSE(a.Save(path, reason));
    EXPECT_NE(reason.find("the file is not a complete JPEG picture"), std::string::npos) << reason;
    EXPECT_EQ(test::ReadBytes(path), cut);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"photo.jpg"});
}

// Tiny and very large pictures work with the histogram kind (the heaviest).
TEST(ImageAdjustment, OnePixelAndEightThousandBySixThousand) {
    test::TempFolder dir;
    for (const auto& [w, h] : {std::pair{1, 1}, std::pair{8000, 6000}}) {
        CxImage picture = test::PhotoPicture(w, h, 3);
        const std::string path = dir / "big.jpg";
        ASSERT_TRUE(picture.SaveFile(path.c_str(), FormatJpeg));
        picture.Clear();
        ImageAdjustment a(ImageAdjustment::Histogram, -500, 500);
        a.SetPreviewSize(262, 212);
        ASSERT_TRUE(a.Load(path)) << w;
        ASSERT_TRUE(a.Apply(-500, ImageAdjustment::Red));
        EXPECT_EQ(a.AdjustedPreview().Width(), 262);
        long total = 0;
        for (int i = 0; i < 256; ++i) total += a.Levels(ImageAdjustment::Master)[i];
        EXPECT_EQ(total, static_cast<long>(w) * h);
        std::string reason;
        EXPECT_TRUE(a.Save(path, reason)) << reason;
    }
}

}  // namespace
}  // namespace qelvo
