#include "media/FormatChoice.h"

#include <gtest/gtest.h>

namespace qelvo {
namespace {

using Kind = OfferedFormat::Kind;

OfferedFormat offer(Kind kind, int w, int h, int fps, const char* pixels = "YUY2") {
    OfferedFormat f;
    f.kind = kind;
    f.mediaType = kind == Kind::Jpeg  ? "image/jpeg"
                  : kind == Kind::Raw ? "video/x-raw"
                                      : "video/x-bayer";
    f.pixelFormat = kind == Kind::Jpeg ? "" : pixels;
    f.width = w;
    f.height = h;
    f.rateNumerator = fps;
    return f;
}

// A usual USB camera: full rate at 1280x720 only as Motion JPEG, raw at 10 fps there.
std::vector<OfferedFormat> usbCamera() {
    return {offer(Kind::Raw, 640, 480, 30), offer(Kind::Raw, 1280, 720, 10),
            offer(Kind::Jpeg, 1280, 720, 30), offer(Kind::Jpeg, 640, 480, 30),
            offer(Kind::Jpeg, 1920, 1080, 30)};
}

TEST(FormatChoiceTest, FastestAtTheSizeWinsAndRawWinsAnEqualRate) {
    const FormatChoice choice(usbCamera(), true);
    auto hd = choice.choose(1280, 720, 640, 480);
    ASSERT_TRUE(hd);
    EXPECT_EQ(hd->kind, Kind::Jpeg);
    EXPECT_EQ(hd->describe(), "1280x720 Motion JPEG at 30 fps");

    // Without a size asked, the camera's own size; raw and JPEG both at 30 fps: raw.
    auto own = choice.choose(0, 0, 640, 480);
    ASSERT_TRUE(own);
    EXPECT_EQ(own->kind, Kind::Raw);
    EXPECT_EQ(own->width, 640);

    // Rates compare as fractions: 30000/1001 is slower than 30/1.
    auto ntsc = offer(Kind::Raw, 1280, 720, 30000);
    ntsc.rateDenominator = 1001;
    auto hdNtsc = FormatChoice({ntsc, offer(Kind::Jpeg, 1280, 720, 30)}, true).atSize(1280, 720);
    ASSERT_TRUE(hdNtsc);
    EXPECT_EQ(hdNtsc->kind, Kind::Jpeg);
}

TEST(FormatChoiceTest, WithoutADecoderOrASizeTheBestDecodableFormatStands) {
    // No JPEG decoder: 1280x720 falls back to the slow raw format.
    auto hd = FormatChoice(usbCamera(), false).choose(1280, 720, 640, 480);
    ASSERT_TRUE(hd);
    EXPECT_EQ(hd->describe(), "1280x720 raw YUY2 at 10 fps");

    // A size the camera does not offer: its own size; no own size known: its first offer.
    auto own = FormatChoice(usbCamera(), true).choose(1024, 768, 0, 0);
    ASSERT_TRUE(own);
    EXPECT_EQ(own->width, 640);

    // Its own size only as a Bayer mosaic: the largest size it can be shown at.
    auto largest = FormatChoice({offer(Kind::Other, 1600, 1200, 15, "bggr"),
                                 offer(Kind::Raw, 800, 600, 15), offer(Kind::Raw, 320, 240, 30)},
                                true)
                       .choose(0, 0, 1600, 1200);
    ASSERT_TRUE(largest);
    EXPECT_EQ(largest->width, 800);
}

TEST(FormatChoiceTest, NothingDecodableIsNoChoiceAndSaysWhatWasOffered) {
    const FormatChoice bayer(
        {offer(Kind::Other, 640, 480, 30, "bggr"), offer(Kind::Other, 1280, 720, 15, "bggr"),
         offer(Kind::Jpeg, 640, 480, 30)},
        false);
    EXPECT_FALSE(bayer.choose(1280, 720, 640, 480));
    EXPECT_EQ(bayer.offeredTypes(), "video/x-bayer (bggr), image/jpeg");
    EXPECT_FALSE(FormatChoice({}, true).choose(0, 0, 0, 0));
    // A size of zero is never a format, whatever its kind.
    EXPECT_FALSE(FormatChoice({offer(Kind::Raw, 0, 0, 30)}, true).choose(0, 0, 0, 0));
}

}  // namespace
}  // namespace qelvo
