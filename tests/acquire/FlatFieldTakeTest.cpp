#include "acquire/FlatFieldTake.h"

#include "frames/FramePool.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace qelvo;
using namespace qelvo::acquire;
using Kind = FlatFieldStore::Kind;

namespace {

// A camera whose frames are all one grey `level`, `width` x `height` (frame `resizeAt` and
// after at twice the width); silent after `silentAfter` frames.
class GreyCamera : public LapseFrameSource {
public:
    std::optional<SourcedFrame> nextFrame(std::uint64_t after, std::chrono::milliseconds,
                                          std::string* error) override {
        const std::uint64_t n = after + 1;
        if (n > silentAfter) {
            if (error) *error = "the camera delivered no frame for 3 s";
            return std::nullopt;
        }
        SourcedFrame f;
        f.sequence = latest_ = n;
        f.frame.width = n >= resizeAt ? width * 2 : width;
        f.frame.height = height;
        f.frame.length = f.frame.rowBytes() * height;
        auto block = pool_.acquire(f.frame.length);
        std::memset(block->data(), level, f.frame.length);
        f.frame.pixels = block;
        return f;
    }
    std::uint64_t latestSequence() const override { return latest_; }
    std::chrono::nanoseconds frameInterval() const override {
        return std::chrono::milliseconds(33);
    }

    int width = 8;
    int height = 6;
    int level = 200;
    std::uint64_t silentAfter = ~0ull;
    std::uint64_t resizeAt = ~0ull;

private:
    std::uint64_t latest_ = 0;
    FramePool pool_;
};

}  // namespace

TEST(FlatFieldTake, StoresCheckedReferencesAndKeepsWhatIsStoredOnEveryRefusal) {
    test::TempFolder dir;
    const FlatFieldStore store(dir.path());
    GreyCamera camera;

    // A black "flat" (the light off): refused, nothing stored.
    camera.level = 3;
    auto refused = takeReference(camera, store, "Scope", "10x", Kind::Flat, 2);
    EXPECT_FALSE(refused.ok);
    EXPECT_NE(refused.message.find("no light"), std::string::npos) << refused.message;
    EXPECT_FALSE(store.load("Scope", "10x").flat);
    camera.level = 200;

    // A flat: stored, 16-bit, and the correction made from it.
    auto result = takeReference(camera, store, "Scope", "10x", Kind::Flat, 4);
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_TRUE(result.hasFlat);
    EXPECT_FALSE(result.hasDark);
    ASSERT_TRUE(result.correction);
    EXPECT_NEAR(result.correction->channelMeans()[1], 200 * 257, 1);
    auto stored = store.load("Scope", "10x");
    ASSERT_TRUE(stored.flat);
    EXPECT_EQ(stored.flat->bitsPerSample, 16);
    EXPECT_EQ(stored.flat->width, 8);

    // A "dark" brighter than the flat (the light was left on): refused, nothing stored.
    camera.level = 220;
    result = takeReference(camera, store, "Scope", "10x", Kind::Dark, 4);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.message.find("darker than the dark"), std::string::npos) << result.message;
    EXPECT_FALSE(store.load("Scope", "10x").dark);
    EXPECT_TRUE(result.correction) << "the flat still corrects";

    // One taken in the same light as the flat: refused as well.
    camera.level = 197;
    result = takeReference(camera, store, "Scope", "10x", Kind::Dark, 2);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.message.find("hardly brighter"), std::string::npos) << result.message;

    // A proper dark: both kept, the correction takes it off.
    camera.level = 10;
    result = takeReference(camera, store, "Scope", "10x", Kind::Dark, 2);
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_TRUE(result.hasDark);
    ASSERT_TRUE(result.correction);
    EXPECT_NEAR(result.correction->channelMeans()[0], 190 * 257, 1);

    // Frames of another size than the stored dark: refused, with both sizes said.
    camera.width = 16;
    camera.level = 200;
    result = takeReference(camera, store, "Scope", "10x", Kind::Flat, 2);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.message.find("16x6"), std::string::npos) << result.message;
    EXPECT_NE(result.message.find("8x6"), std::string::npos) << result.message;
    EXPECT_EQ(store.load("Scope", "10x").flat->width, 8);
    EXPECT_TRUE(result.correction);

    // Clearing removes both; another objective's references are its own.
    camera.width = 8;
    ASSERT_TRUE(takeReference(camera, store, "Scope", "40x", Kind::Flat, 1).ok);
    result = clearReferences(store, "Scope", "10x");
    EXPECT_TRUE(result.ok) << result.message;
    EXPECT_FALSE(result.hasFlat || result.hasDark || result.correction);
    EXPECT_FALSE(store.load("Scope", "10x").flat);
    EXPECT_TRUE(loadReferences(store, "Scope", "40x").correction);
}

TEST(FlatFieldTake, NoLivePictureOrAChangingOneStoresNothing) {
    test::TempFolder dir;
    const FlatFieldStore store(dir.path());
    GreyCamera camera;
    camera.silentAfter = 3;
    auto result = takeReference(camera, store, "Scope", "10x", Kind::Flat, 8);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.message.find("no live picture"), std::string::npos) << result.message;

    GreyCamera resizing;
    resizing.resizeAt = 3;
    result = takeReference(resizing, store, "Scope", "10x", Kind::Flat, 8);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.message.find("size changed"), std::string::npos) << result.message;

    std::atomic<bool> stop{true};
    GreyCamera steady;
    EXPECT_FALSE(takeReference(steady, store, "Scope", "10x", Kind::Flat, 8, &stop).ok);
    EXPECT_FALSE(takeReference(steady, store, "Scope", "", Kind::Flat, 8).ok);
    EXPECT_FALSE(store.load("Scope", "10x").flat);
    EXPECT_FALSE(loadReferences(store, "Scope", "10x").correction);
}
