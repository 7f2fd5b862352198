#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "imaging/ColorSpace.h"
#include "imaging/CxImage.h"
#include "support/ImageOpsReference.h"
#include "support/TestPictures.h"

namespace qelvo {
namespace {

using test::Copy;
using test::ExpectSamePixels;
using test::RandomPicture;

struct Size {
    int w, h;
};
const Size kSizes[] = {{1, 1}, {5, 3}, {37, 23}, {64, 17}, {3, 41}};

CxImage Filled(int w, int h, RgbQuad c) {
    CxImage img;
    img.Create(w, h, 24);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.SetPixelRgb(x, y, c);
    return img;
}

TEST(ColourSpace, KnownConversions) {
    const colour::Hsl red = colour::RgbToHsl(RgbQuad{0, 0, 255, 0});
    EXPECT_EQ(red.h, 0);
    EXPECT_EQ(red.s, 255);
    EXPECT_EQ(red.l, 128);
    for (int g : {0, 1, 77, 128, 254, 255}) {
        const auto v = static_cast<std::uint8_t>(g);
        const colour::Hsl grey = colour::RgbToHsl(RgbQuad{v, v, v, 0});
        EXPECT_EQ(grey.h, 170);
        EXPECT_EQ(grey.s, 0);
        EXPECT_EQ(grey.l, g);
        // With no saturation the way back gives the same grey.
        EXPECT_EQ(colour::HslToRgb(grey), (RgbQuad{v, v, v, 0})) << g;
    }
    // Blue-dominant hue wraps modulo 256: pure magenta-ish hues stay bytes.
    EXPECT_EQ(colour::RgbToHsl(RgbQuad{255, 0, 0, 0}).h, 170);
    EXPECT_EQ(colour::RgbToHsl(RgbQuad{0, 255, 0, 0}).h, 85);
    EXPECT_EQ(colour::RgbToHsl(RgbQuad{10, 0, 255, 0}).h, 254);  // red with a little blue
    const RgbQuad back = colour::HslToRgb(colour::Hsl{0, 255, 128});
    EXPECT_EQ(back.red, 254);  // m2 * 255 falls just short of 255 in single precision
    EXPECT_LE(back.green, 1);
    EXPECT_LE(back.blue, 1);

    const colour::Yuv yuv = colour::RgbToYuv(RgbQuad{0, 0, 255, 0});
    EXPECT_EQ(yuv.y, 76);
    EXPECT_EQ(yuv.u, 85);   // trunc((0 - 76) * 0.565 + 128) = trunc(85.06)
    EXPECT_EQ(yuv.v, 255);  // clamped
    EXPECT_EQ(colour::YuvToRgb(colour::Yuv{100, 128, 128}), (RgbQuad{100, 100, 100, 0}));
    EXPECT_EQ(colour::GreyLevel(RgbQuad{255, 255, 255, 0}), 255);
}

TEST(AdjustLevels, EdgeValues) {
    CxImage img;
    img.Create(256, 1, 24);
    for (int i = 0; i < 256; ++i) img.Bits()[i] = static_cast<std::uint8_t>(i);
    const CxImage ramp = Copy(img);
    auto after = [&](int b, int c, int k) {
        CxImage t = Copy(ramp);
        t.AdjustLevels(b, c);
        return static_cast<int>(t.Bits()[k]);
    };
    for (int k = 0; k < 256; ++k) {
        EXPECT_EQ(after(0, 0, k), k);
        EXPECT_EQ(after(1, 0, k), k == 255 ? 255 : k + 1);
        EXPECT_EQ(after(0, -100, k), 128);
    }
    EXPECT_EQ(after(0, 100, 64), 0);
    EXPECT_EQ(after(0, 100, 192), 255);
    EXPECT_EQ(after(-300, 0, 200), 0);
    CxImage empty;
    EXPECT_FALSE(empty.AdjustLevels(0, 0));
}

TEST(AdjustLevels, MatchesPerPixelReferenceAndKeepsGreyPicturesGrey) {
    for (const Size s : kSizes) {
        for (auto [b, c] : {std::pair{10, 20}, std::pair{-40, 65}, std::pair{3, -70}}) {
            CxImage img = RandomPicture(s.w, s.h, 24, s.w * 31 + b);
            CxImage ref = Copy(img);
            ASSERT_TRUE(img.AdjustLevels(b, c));
            test::RefAdjustLevels24(ref, b, c);
            ExpectSamePixels(img, ref, "adjust 24");
        }
        CxImage grey = RandomPicture(s.w, s.h, 8, s.h, true);
        const CxImage before = Copy(grey);
        ASSERT_TRUE(grey.AdjustLevels(15, 40));
        EXPECT_TRUE(grey.IsGrayScale());
        for (int y = 0; y < s.h; ++y)
            for (int x = 0; x < s.w; ++x)
                ASSERT_EQ(grey.GetPixelIndex(x, y),
                          test::RefLevel(before.GetPixelIndex(x, y), 40, 15));
    }
    // A colour palette maps its entries and keeps the indices.
    CxImage pal = RandomPicture(9, 4, 4, 7);
    const CxImage before = Copy(pal);
    ASSERT_TRUE(pal.AdjustLevels(20, 0));
    EXPECT_EQ(std::memcmp(pal.Bits(), before.Bits(), pal.ImageSize()), 0);
    EXPECT_EQ(pal.PaletteColor(3).red, test::RefLevel(before.PaletteColor(3).red, 0, 20));
}

TEST(SetHueSaturation, ReplaceAndBlendMatchTheDefinitions) {
    for (const Size s : kSizes) {
        for (float blend : {1.0f, 0.5f, 0.25f, 0.0f, 3.0f}) {
            CxImage img = RandomPicture(s.w, s.h, 24, s.w + s.h);
            CxImage ref = Copy(img);
            ASSERT_TRUE(img.SetHueSaturation(40, 180, blend));
            test::RefSetHueSaturation24(ref, 40, 180, blend);
            ExpectSamePixels(img, ref, "hue/sat");
        }
    }
}

TEST(SetHueSaturation, ZeroSaturationGivesGreysAndTintsReachGreys) {
    CxImage img = RandomPicture(31, 9, 24, 5);
    const CxImage before = Copy(img);
    ASSERT_TRUE(img.SetHueSaturation(77, 0, 1.0f));
    for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < 31; ++x) {
            const RgbQuad c = img.GetPixelColor(x, y);
            EXPECT_EQ(c.red, c.green);
            EXPECT_EQ(c.green, c.blue);
            EXPECT_EQ(c.red, colour::RgbToHsl(before.GetPixelColor(x, y)).l);
        }
    }
    CxImage grey = Filled(3, 3, RgbQuad{128, 128, 128, 0});
    ASSERT_TRUE(grey.SetHueSaturation(0, 100, 1.0f));  // hue 0 = red
    const RgbQuad tint = grey.GetPixelColor(1, 1);
    EXPECT_GT(tint.red, tint.green);
    EXPECT_EQ(tint.green, tint.blue);
    EXPECT_EQ(colour::RgbToHsl(tint).l, 128);
}

TEST(Saturate, BothColourSpacesMatchTheDefinitions) {
    for (const Size s : kSizes) {
        for (int space : {1, 2}) {
            for (int amount : {-60, 0, 45}) {
                CxImage img = RandomPicture(s.w, s.h, 24, amount + 100 + space);
                CxImage ref = Copy(img);
                ASSERT_TRUE(img.Saturate(amount, space));
                test::RefSaturate(ref, amount, space);
                ExpectSamePixels(img, ref, "saturate");
            }
        }
        // Palette pictures snap to their own palette.
        CxImage pal = RandomPicture(s.w, s.h, 8, 3);
        CxImage ref = Copy(pal);
        ASSERT_TRUE(pal.Saturate(50, 1));
        test::RefSaturate(ref, 50, 1);
        ExpectSamePixels(pal, ref, "saturate palette");
    }
    CxImage img = RandomPicture(4, 4, 24, 1);
    EXPECT_FALSE(img.Saturate(10, 3));
    EXPECT_STREQ(img.LastError(), "Saturate: wrong colorspace");
}

TEST(StretchLevels, MatchesReferenceForBothMethodsAndDepths) {
    for (const Size s : kSizes) {
        for (int method : {0, 1}) {
            for (double threshold : {0.0, 0.1, 0.5}) {
                // Narrow the levels so the stretch has something to do.
                CxImage img = RandomPicture(s.w, s.h, 24, s.w * 7 + method);
                img.AdjustLevels(-10, -50);
                CxImage ref = Copy(img);
                ASSERT_TRUE(img.StretchLevels(method, threshold));
                test::RefStretchLevels(ref, method, threshold);
                ExpectSamePixels(img, ref, "stretch");

                CxImage pal = RandomPicture(s.w, s.h, 4, s.h + method);
                CxImage palRef = Copy(pal);
                ASSERT_TRUE(pal.StretchLevels(method, threshold));
                test::RefStretchLevels(palRef, method, threshold);
                ExpectSamePixels(pal, palRef, "stretch palette");
            }
        }
    }
}

TEST(StretchLevels, FullRangeStaysNarrowGreysSpreadAndGreyPicturesMapTheirIndices) {
    // Levels already covering 0..255: no change.
    CxImage full;
    full.Create(256, 2, 24);
    for (int x = 0; x < 256; ++x) {
        const auto v = static_cast<std::uint8_t>(x);
        full.SetPixelRgb(x, 0, RgbQuad{v, v, v, 0});
        full.SetPixelRgb(x, 1, RgbQuad{v, v, v, 0});
    }
    const CxImage before = Copy(full);
    ASSERT_TRUE(full.StretchLevels(0, 0.0));
    ExpectSamePixels(full, before, "full range");

    // Greys between 50 and 200 spread to 0..255.
    CxImage narrow;
    narrow.Create(151, 1, 24);
    for (int x = 0; x < 151; ++x) {
        const auto v = static_cast<std::uint8_t>(50 + x);
        narrow.SetPixelRgb(x, 0, RgbQuad{v, v, v, 0});
    }
    ASSERT_TRUE(narrow.StretchLevels(0, 0.0));
    EXPECT_EQ(colour::RgbToYuv(narrow.GetPixelColor(0, 0)).y, 0);
    EXPECT_EQ(colour::RgbToYuv(narrow.GetPixelColor(150, 0)).y, 255);

    // Identity grey pictures map their indices whatever the method.
    CxImage grey;
    grey.Create(3, 1, 8);
    grey.SetGrayPalette();
    grey.SetPixelIndex(0, 0, 100);
    grey.SetPixelIndex(1, 0, 150);
    grey.SetPixelIndex(2, 0, 200);
    ASSERT_TRUE(grey.StretchLevels(1, 0.0));
    EXPECT_EQ(grey.GetPixelIndex(0, 0), 0);
    EXPECT_EQ(grey.GetPixelIndex(1, 0), 127);
    EXPECT_EQ(grey.GetPixelIndex(2, 0), 255);
    EXPECT_TRUE(grey.IsGrayScale());
}

TEST(EqualizeLevels, MatchesTheReferenceLeavesAllBlackAloneAndKeepsGreyPicturesGrey) {
    for (const Size s : kSizes) {
        CxImage img = RandomPicture(s.w, s.h, 24, s.w * s.h);
        CxImage ref = Copy(img);
        const bool expected = test::RefEqualize24(ref);
        EXPECT_EQ(img.EqualizeLevels(), expected);
        ExpectSamePixels(img, ref, "equalize");
    }
    CxImage black = Filled(5, 5, RgbQuad{0, 0, 0, 0});
    EXPECT_FALSE(black.EqualizeLevels());
    EXPECT_EQ(black.GetPixelColor(2, 2), (RgbQuad{0, 0, 0, 0}));
    CxImage one = Filled(5, 5, RgbQuad{90, 90, 90, 0});
    ASSERT_TRUE(one.EqualizeLevels());
    EXPECT_EQ(one.GetPixelColor(3, 1), (RgbQuad{255, 255, 255, 0}));

    // A greyscale picture keeps its identity ramp, so it can still be saved as JPEG.
    CxImage grey = RandomPicture(20, 10, 8, 4, true);
    ASSERT_TRUE(grey.EqualizeLevels());
    EXPECT_TRUE(grey.IsGrayScale());
}

TEST(CountLevels, CountsEveryChannelAndReturnsTheLargestBin) {
    CxImage img = Filled(2, 2, RgbQuad{10, 20, 30, 0});
    long r[256], g[256], b[256], grey[256];
    std::fill(r, r + 256, 99L);
    EXPECT_EQ(img.CountLevels(r, g, b, grey, 0), 4);
    EXPECT_EQ(r[30], 4);
    EXPECT_EQ(g[20], 4);
    EXPECT_EQ(b[10], 4);
    EXPECT_EQ(grey[colour::GreyLevel(RgbQuad{10, 20, 30, 0})], 4);
    EXPECT_EQ(r[0], 0);

    // Every channel of odd-sized pictures (the 24-bit rows go through the vector counting)
    // against colour reads, and the largest bin of a single array.
    for (const Size s : kSizes) {
        for (int bits : {24, 8}) {
            CxImage pic = RandomPicture(s.w, s.h, bits, 77);
            long ref[4][256] = {};
            for (int y = 0; y < s.h; ++y) {
                for (int x = 0; x < s.w; ++x) {
                    const RgbQuad c = pic.GetPixelColor(x, y);
                    ++ref[0][c.red];
                    ++ref[1][c.green];
                    ++ref[2][c.blue];
                    ++ref[3][colour::GreyLevel(c)];
                }
            }
            pic.CountLevels(r, g, b, grey);
            EXPECT_TRUE(std::equal(r, r + 256, ref[0])) << s.w << "x" << s.h << " " << bits;
            EXPECT_TRUE(std::equal(g, g + 256, ref[1])) << s.w << "x" << s.h << " " << bits;
            EXPECT_TRUE(std::equal(b, b + 256, ref[2])) << s.w << "x" << s.h << " " << bits;
            EXPECT_TRUE(std::equal(grey, grey + 256, ref[3])) << s.w << "x" << s.h << " " << bits;
            EXPECT_EQ(pic.CountLevels(nullptr, g, nullptr, nullptr),
                      *std::max_element(ref[1], ref[1] + 256));
        }
    }
}

// ---- geometry

TEST(Rotate, QuarterTurnsAreExact) {
    for (const Size s : kSizes) {
        for (int bits : {24, 8, 4, 1}) {
            const CxImage src = RandomPicture(s.w, s.h, bits, s.w * 3 + bits);
            const int w = s.w, h = s.h;
            const CxImage cw = test::RefRemap(src, h, w, [&](int m, int n) {
                return std::pair{w - 1 - n, m};
            });
            const CxImage ccw = test::RefRemap(src, h, w, [&](int m, int n) {
                return std::pair{n, h - 1 - m};
            });
            for (float angle : {90.0f, -270.0f, 450.0f}) {
                CxImage img = Copy(src);
                ASSERT_TRUE(img.RotateDegrees(angle));
                ExpectSamePixels(img, cw, "clockwise");
            }
            for (float angle : {-90.0f, 270.0f}) {
                CxImage img = Copy(src);
                ASSERT_TRUE(img.RotateDegrees(angle));
                ExpectSamePixels(img, ccw, "counter-clockwise");
            }
            CxImage img = Copy(src);
            img.RotateDegrees(90);
            img.RotateDegrees(90);
            img.RotateDegrees(90);
            img.RotateDegrees(90);
            ExpectSamePixels(img, src, "four quarter turns");
        }
    }
}

TEST(Rotate, DestinationReceivesTheResultAndAttributes) {
    CxImage src = RandomPicture(4, 3, 24, 1);
    src.SetXDpi(200);
    src.SetYDpi(100);
    const CxImage before = Copy(src);
    CxImage dst;
    ASSERT_TRUE(src.RotateDegrees(90, &dst));
    ExpectSamePixels(src, before, "source untouched");
    EXPECT_EQ(dst.Width(), 3);
    EXPECT_EQ(dst.Height(), 4);
    EXPECT_EQ(dst.XDpi(), 200);
    EXPECT_EQ(dst.YDpi(), 100);
    // Output (m, n) = source (w - 1 - n, m): the top-left corner goes to the top-right.
    EXPECT_EQ(dst.GetPixelColor(2, 3), src.GetPixelColor(0, 2));
    EXPECT_EQ(dst.GetPixelColor(0, 0), src.GetPixelColor(3, 0));
}

TEST(Rotate, HalfTurnAndGeneralAngles) {
    for (const Size s : kSizes) {
        for (int bits : {24, 8, 4}) {
            const CxImage src = RandomPicture(s.w, s.h, bits, s.h * 5 + bits);
            const int w = s.w, h = s.h;
            const CxImage half = test::RefRemap(src, w, h, [&](int x, int y) {
                return std::pair{w - 1 - x, h - 1 - y};
            });
            CxImage a = Copy(src);
            ASSERT_TRUE(a.RotateHalfTurn());
            ExpectSamePixels(a, half, "half turn");
            CxImage b = Copy(src);
            ASSERT_TRUE(b.RotateDegrees(180));
            ExpectSamePixels(b, half, "180");
            CxImage c = Copy(src);
            ASSERT_TRUE(c.RotateDegrees(-540));
            ExpectSamePixels(c, half, "-540");
            CxImage d = Copy(src);
            ASSERT_TRUE(d.RotateDegrees(360));  // general path, identity
            ExpectSamePixels(d, src, "360");
        }
    }
    // A general angle follows the inverse mapping with nearest pixels.
    CxImage src = RandomPicture(21, 13, 24, 9);
    src.SetTransparentIndex(0);
    src.SetTransparentColor(RgbQuad{1, 2, 3, 0});
    CxImage img = Copy(src);
    ASSERT_TRUE(img.RotateDegrees(30));
    const double a = std::acos(0.0) * -30.0 * 0.011111111111111112;
    const double c = std::cos(a), s = std::sin(a);
    float xs[4], ys[4];
    const float cx[4] = {0, 21, 0, 21}, cy[4] = {0, 0, 13, 13};
    for (int i = 0; i < 4; ++i) {
        xs[i] = static_cast<float>(cx[i] * c - cy[i] * s);
        ys[i] = static_cast<float>(cx[i] * s + cy[i] * c);
    }
    const float minX = *std::min_element(xs, xs + 4), maxX = *std::max_element(xs, xs + 4);
    const float minY = *std::min_element(ys, ys + 4), maxY = *std::max_element(ys, ys + 4);
    ASSERT_EQ(img.Width(), static_cast<int>(std::floor(maxX + 0.5 - minX)));
    ASSERT_EQ(img.Height(), static_cast<int>(std::floor(maxY + 0.5 - minY)));
    int outside = 0;
    for (int n = 0; n < img.Height(); ++n) {
        for (int m = 0; m < img.Width(); ++m) {
            const int x = m + static_cast<int>(minX), y = n + static_cast<int>(minY);
            const int sx = static_cast<int>(x * c + y * s + 0.5),
                      sy = static_cast<int>(y * c - x * s + 0.5);
            outside += sx < 0 || sy < 0 || sx >= 21 || sy >= 13;
            ASSERT_EQ(img.GetPixelColor(m, n), src.GetPixelColor(sx, sy)) << m << "," << n;
        }
    }
    EXPECT_GT(outside, 0);  // corners take the transparent colour
}

TEST(FlipAndMirror, MatchReferenceOnAllDepths) {
    for (const Size s : kSizes) {
        for (int bits : {24, 8, 4, 1}) {
            const CxImage src = RandomPicture(s.w, s.h, bits, s.w + bits);
            const int w = s.w, h = s.h;
            CxImage f = Copy(src);
            ASSERT_TRUE(f.FlipVertical());
            ExpectSamePixels(f,
                             test::RefRemap(src, w, h,
                                            [&](int x, int y) {
                                                return std::pair{x, h - 1 - y};
                                            }),
                             "flip");
            CxImage m = Copy(src);
            ASSERT_TRUE(m.MirrorHorizontal());
            ExpectSamePixels(m,
                             test::RefRemap(src, w, h,
                                            [&](int x, int y) {
                                                return std::pair{w - 1 - x, y};
                                            }),
                             "mirror");
        }
    }
    CxImage empty;
    EXPECT_FALSE(empty.FlipVertical());
    EXPECT_FALSE(empty.MirrorHorizontal());
    EXPECT_FALSE(empty.RotateDegrees(90));
}

TEST(Resize, NearestModeMatchesReference) {
    const std::pair<int, int> targets[] = {{1, 1}, {2, 7}, {50, 31}, {13, 3}, {400, 2}};
    for (const Size s : kSizes) {
        for (int bits : {24, 8}) {
            const CxImage src = RandomPicture(s.w, s.h, bits, s.w * 11 + bits, bits == 8);
            // Twice the size (and twice the width alone) takes the pixel-doubling rows.
            std::vector<std::pair<int, int>> all(std::begin(targets), std::end(targets));
            all.insert(all.end(), {{2 * s.w, 2 * s.h}, {2 * s.w, s.h + 1}});
            for (auto [nw, nh] : all) {
                if (nw == s.w && nh == s.h) continue;
                CxImage img = Copy(src);
                ASSERT_TRUE(img.Resize(nw, nh, 1));
                const float xs = static_cast<float>(s.w) / static_cast<float>(nw);
                const float ys = static_cast<float>(s.h) / static_cast<float>(nh);
                CxImage ref;
                ref.Create(nw, nh, src.BitsPerPixel());
                for (int i = 0; i < src.ColorsUsed(); ++i)
                    ref.SetPaletteColor(i, src.PaletteColor(i));
                for (int y = 0; y < nh; ++y)
                    for (int x = 0; x < nw; ++x)
                        ref.SetPixelRgb(
                            x, y,
                            src.GetPixelColor(static_cast<int>(x * xs), static_cast<int>(y * ys)));
                ExpectSamePixels(img, ref, "resize");
            }
        }
    }
}

TEST(Resize, HalvingSamplesEveryOtherPixelSameSizeIsACopyAndZeroSizesFail) {
    const CxImage src = RandomPicture(10, 6, 24, 3);
    CxImage half = Copy(src);
    ASSERT_TRUE(half.Resize(5, 3, 1));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(half.GetPixelColor(x, y), src.GetPixelColor(2 * x, 2 * y));
    CxImage same = Copy(src);
    ASSERT_TRUE(same.Resize(10, 6, 1));
    ExpectSamePixels(same, src, "same size");
    CxImage dst;
    ASSERT_TRUE(same.Resize(10, 6, 1, &dst));
    ExpectSamePixels(dst, src, "same size copy");
    EXPECT_FALSE(same.Resize(0, 6, 1));
    EXPECT_FALSE(same.Resize(10, 0, 1));
    // The unused interpolating modes give sensible pictures of the asked size.
    for (int mode : {0, 2}) {
        CxImage flat = Filled(9, 7, RgbQuad{30, 60, 90, 0});
        ASSERT_TRUE(flat.Resize(20, 3, mode));
        EXPECT_EQ(flat.Width(), 20);
        EXPECT_EQ(flat.GetPixelColor(11, 1), (RgbQuad{30, 60, 90, 0}));
    }
}

TEST(CropTo, CopiesTheRectangleCountedFromTheTop) {
    for (const Size s : {Size{37, 23}, Size{64, 17}}) {
        for (int bits : {24, 8, 4, 1}) {
            CxImage src = RandomPicture(s.w, s.h, bits, s.w + bits);
            src.SetTransparentIndex(1);
            const int w = s.w, h = s.h;
            CxImage whole;
            ASSERT_TRUE(src.CropTo(0, 0, w, h, &whole));
            ExpectSamePixels(whole, src, "whole");
            EXPECT_EQ(whole.TransparentIndex(), src.TransparentIndex());

            CxImage top;
            ASSERT_TRUE(src.CropTo(0, 0, w, 10, &top));
            ExpectSamePixels(top,
                             test::RefRemap(src, w, 10,
                                            [&](int x, int y) {
                                                return std::pair{x, h - 10 + y};
                                            }),
                             "top ten lines");

            // Reversed and out-of-range corners are clamped and ordered.
            CxImage mid;
            ASSERT_TRUE(src.CropTo(w - 3, 14, 2, -5, &mid));
            ExpectSamePixels(mid,
                             test::RefRemap(src, w - 5, 14,
                                            [&](int x, int y) {
                                                return std::pair{x + 2, h - 14 + y};
                                            }),
                             "clamped");
        }
    }
    CxImage img = RandomPicture(60, 60, 24, 1);
    EXPECT_FALSE(img.CropTo(10, 10, 10, 50));
    EXPECT_FALSE(img.CropTo(0, 70, 60, 80));  // both clamp to the same edge
    EXPECT_EQ(img.Width(), 60);
}

}  // namespace
}  // namespace qelvo
