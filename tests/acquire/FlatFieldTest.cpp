#include <functional>
#include "acquire/FlatField.h"
#include "acquire/FlatFieldStore.h"

#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

using qelvo::PictureData;
using qelvo::acquire::FlatField;
using qelvo::acquire::FlatFieldStore;

namespace {

PictureData picture16(int w, int h, const std::function<std::uint16_t(int, int, int)>& f) {
    PictureData p;
    p.width = w;
    p.height = h;
    p.bitsPerSample = 16;
    p.samples.resize(std::size_t(w) * h * 6);
    auto* s = reinterpret_cast<std::uint16_t*>(p.samples.data());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) s[(std::size_t(y) * w + x) * 3 + c] = f(x, y, c);
    return p;
}

PictureData picture8(int w, int h, const std::function<std::uint8_t(int, int, int)>& f) {
    PictureData p;
    p.width = w;
    p.height = h;
    p.samples.resize(std::size_t(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) p.samples[(std::size_t(y) * w + x) * 3 + c] = f(x, y, c);
    return p;
}

std::uint16_t at16(const PictureData& p, int x, int y, int c) {
    std::uint16_t v;
    std::memcpy(&v, p.samples.data() + ((std::size_t(y) * p.width + x) * 3 + c) * 2, 2);
    return v;
}

}  // namespace

TEST(FlatField, FollowsTheFormulaPerChannelAndClamps) {
    // Flat: left half 20000, right half 40000 (red), 30000 (green, blue) ; dark 1000 everywhere.
    const int w = 4, h = 2;
    auto flat = picture16(w, h, [](int x, int, int c) -> std::uint16_t {
        return x < 2 ? 21000 : (c == 0 ? 41000 : 31000);
    });
    auto dark = picture16(w, h, [](int, int, int) -> std::uint16_t { return 1000; });
    std::string error;
    auto field = FlatField::make(flat, &dark, &error);
    ASSERT_TRUE(field) << error;
    EXPECT_DOUBLE_EQ(field->channelMeans()[0], 30000.0);
    EXPECT_DOUBLE_EQ(field->channelMeans()[1], 25000.0);

    // The flat itself comes out even: mean(flat - dark) everywhere.
    auto out = field->correct(flat, &error);
    ASSERT_TRUE(out) << error;
    EXPECT_EQ(out->bitsPerSample, 16);
    for (int x = 0; x < w; ++x) {
        EXPECT_EQ(at16(*out, x, 1, 0), 30000);
        EXPECT_EQ(at16(*out, x, 1, 2), 25000);
    }
    // (in - dark) * mean / (flat - dark), clamped at both ends.
    auto in = picture16(w, h, [](int x, int y, int) -> std::uint16_t {
        return y == 0 ? (x < 2 ? 11000 : 500) : 65000;
    });
    out = field->correct(in, &error);
    ASSERT_TRUE(out);
    EXPECT_EQ(at16(*out, 0, 0, 0), 15000);  // 10000 * 30000 / 20000
    EXPECT_EQ(at16(*out, 0, 0, 1), 12500);  // 10000 * 25000 / 20000
    EXPECT_EQ(at16(*out, 3, 0, 0), 0);      // below the dark
    EXPECT_EQ(at16(*out, 0, 1, 0), 65535);  // 64000 * 1.5
}

TEST(FlatField, LiveFramePathMatchesTheReferenceWithinOneLevel) {
    const int w = 37, h = 23;  // odd width: padded grabber rows
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> any(0, 255);
    auto flat = picture16(w, h, [&](int x, int y, int c) -> std::uint16_t {
        const double r2 = (x - 18.0) * (x - 18.0) + (y - 11.0) * (y - 11.0);
        return std::uint16_t(60000 * (1.0 - r2 / 1500.0) - c * 3000 + any(rng));
    });
    auto dark =
        picture16(w, h, [&](int, int, int) -> std::uint16_t { return 2000 + any(rng) * 7; });
    auto in = picture8(w, h, [&](int, int, int) -> std::uint8_t { return any(rng); });
    std::string error;
    auto field = FlatField::make(flat, &dark, &error);
    ASSERT_TRUE(field) << error;
    auto reference = field->correct(in, &error);
    ASSERT_TRUE(reference);
    EXPECT_EQ(reference->bitsPerSample, 8);

    const std::size_t row = (std::size_t(w) * 3 + 3) / 4 * 4;
    std::vector<std::uint8_t> frame(row * h, 0x55);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                frame[(h - 1 - y) * row + x * 3 + (2 - c)] =
                    in.samples[(std::size_t(y) * w + x) * 3 + c];
    std::vector<std::uint8_t> out(frame.size());
    ASSERT_TRUE(field->correctGrabberFrame(frame.data(), out.data(), out.size()));
    int worst = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                worst = std::max(
                    worst, std::abs(int(out[(h - 1 - y) * row + x * 3 + (2 - c)]) -
                                    int(reference->samples[(std::size_t(y) * w + x) * 3 + c])));
    EXPECT_LE(worst, 1);
    // In place gives the same.
    ASSERT_TRUE(field->correctGrabberFrame(frame.data(), frame.data(), frame.size()));
    EXPECT_EQ(frame, out);
    EXPECT_FALSE(field->correctGrabberFrame(frame.data(), out.data(), frame.size() - 1));
}

TEST(FlatField, LiveFramePathStaysWithinOneLevelAtHighGainsAndFractionalDarks) {
    // Gains from about 1 to the limit (a flat dimming to almost the dark at the right), darks
    // of up to 40 levels with fractions, every input level.
    const int w = 257, h = 11;  // padded rows, and a tail after the last whole vector
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> jitter(0, 256);
    auto dark = picture16(w, h, [&](int, int y, int c) -> std::uint16_t {
        return std::uint16_t(y * 800 + c * 97 + jitter(rng));
    });
    auto flat = picture16(w, h, [&](int x, int y, int c) -> std::uint16_t {
        const double light = 40000.0 / (1.0 + x * x * 0.004);
        return std::uint16_t(y * 800 + c * 97 + 256 + light);
    });
    auto in = picture8(w, h, [&](int x, int y, int c) -> std::uint8_t {
        return std::uint8_t((x * 7 + y * 31 + c * 5) & 255);
    });
    std::string error;
    auto field = FlatField::make(flat, &dark, &error);
    ASSERT_TRUE(field) << error;
    auto reference = field->correct(in, &error);
    ASSERT_TRUE(reference) << error;
    const std::size_t row = (std::size_t(w) * 3 + 3) / 4 * 4;
    std::vector<std::uint8_t> frame(row * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                frame[(h - 1 - y) * row + x * 3 + (2 - c)] =
                    in.samples[(std::size_t(y) * w + x) * 3 + c];
    // Every kernel the processor runs gives the same bytes, odd tails included.
    const auto kernels = FlatField::liveKernels();
    ASSERT_FALSE(kernels.empty());
    EXPECT_EQ(kernels.back(), "plain");
    std::vector<std::uint8_t> plain(frame.size());
    ASSERT_TRUE(field->correctGrabberFrameWith("plain", frame.data(), plain.data(), frame.size()));
    for (const std::string& kernel : kernels) {
        std::vector<std::uint8_t> got(frame.size());
        ASSERT_TRUE(field->correctGrabberFrameWith(kernel, frame.data(), got.data(), got.size()));
        EXPECT_EQ(got, plain) << kernel;
    }
    EXPECT_FALSE(field->correctGrabberFrameWith("sse9", frame.data(), plain.data(), frame.size()));
    ASSERT_TRUE(field->correctGrabberFrame(frame.data(), frame.data(), frame.size()));
    EXPECT_EQ(frame, plain);
    int worst = 0, unclamped = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                const int want = reference->samples[(std::size_t(y) * w + x) * 3 + c];
                if (want > 0 && want < 255) ++unclamped;
                worst = std::max(worst,
                                 std::abs(int(frame[(h - 1 - y) * row + x * 3 + (2 - c)]) - want));
            }
    EXPECT_LE(worst, 1);
    EXPECT_GT(unclamped, w * h);  // most samples are neither black nor saturated
}

TEST(FlatField, RefusesReferencesAndPicturesOfAnotherSize) {
    auto flat = picture16(8, 6, [](int, int, int) -> std::uint16_t { return 30000; });
    auto dark = picture16(8, 5, [](int, int, int) -> std::uint16_t { return 10; });
    std::string error;
    EXPECT_FALSE(FlatField::make(flat, &dark, &error));
    EXPECT_NE(error.find("8x5"), std::string::npos) << error;
    auto black = picture16(8, 6, [](int, int, int) -> std::uint16_t { return 0; });
    EXPECT_FALSE(FlatField::make(black, nullptr, &error));

    auto field = FlatField::make(flat, nullptr, &error);
    ASSERT_TRUE(field);
    auto other = picture8(16, 12, [](int, int, int) -> std::uint8_t { return 9; });
    EXPECT_FALSE(field->correct(other, &error));
    EXPECT_EQ(error,
              "the flat-field references are 8x6 but the picture is 16x12; take them "
              "again at this size");
}

TEST(FlatFieldStore, KeepsReferencesPerDeviceAndObjectiveAcrossInstances) {
    qelvo::test::TempFolder dir;
    const auto flat10 = picture16(6, 4, [](int x, int, int c) -> std::uint16_t {
        return std::uint16_t(20000 + x * 1000 + c);
    });
    const auto dark10 = picture8(6, 4, [](int, int, int) -> std::uint8_t { return 3; });
    const auto flat40 = picture16(6, 4, [](int, int, int) -> std::uint16_t { return 50000; });
    const std::string device = "Scope / 1";  // a slash in the name stays in one folder
    std::string error;
    {
        FlatFieldStore store(dir.path());
        ASSERT_TRUE(store.save(device, "10x", FlatFieldStore::Kind::Flat, flat10, &error)) << error;
        ASSERT_TRUE(store.save(device, "10x", FlatFieldStore::Kind::Dark, dark10, &error)) << error;
        ASSERT_TRUE(store.save(device, "40x", FlatFieldStore::Kind::Flat, flat40, &error)) << error;
        // A dark of another size than the stored flat is refused, the flat kept.
        const auto big = picture8(12, 8, [](int, int, int) -> std::uint8_t { return 3; });
        EXPECT_FALSE(store.save(device, "40x", FlatFieldStore::Kind::Dark, big, &error));
        EXPECT_NE(error.find("6x4"), std::string::npos) << error;
    }
    FlatFieldStore again(dir.path());  // as after a restart
    auto loaded = again.load(device, "10x");
    EXPECT_EQ(loaded.problem, "");
    ASSERT_TRUE(loaded.flat && loaded.dark);
    EXPECT_EQ(loaded.flat->samples, flat10.samples);
    EXPECT_EQ(loaded.dark->bitsPerSample, 16);
    EXPECT_EQ(at16(*loaded.dark, 5, 3, 2), 3 * 257);
    loaded = again.load(device, "40x");
    ASSERT_TRUE(loaded.flat);
    EXPECT_FALSE(loaded.dark);
    EXPECT_EQ(at16(*loaded.flat, 0, 0, 0), 50000);
    EXPECT_FALSE(again.load(device, "4x").flat);
    EXPECT_FALSE(again.load("Other", "10x").flat);
    EXPECT_TRUE(again.correction(device, "10x", &error));

    // A damaged reference is reported, not used.
    {
        FILE* f =
            std::fopen(again.pathFor(device, "40x", FlatFieldStore::Kind::Flat).c_str(), "r+");
        ASSERT_TRUE(f);
        std::fputs("garbage", f);
        std::fclose(f);
    }
    std::string problem;
    EXPECT_FALSE(again.correction(device, "40x", &problem));
    EXPECT_NE(problem.find("could not be read"), std::string::npos) << problem;

    EXPECT_TRUE(again.remove(device, "10x", FlatFieldStore::Kind::Dark, &error));
    EXPECT_FALSE(again.load(device, "10x").dark);
}
