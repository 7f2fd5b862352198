#include "capture/SnapshotWriter.h"
#include "manage/PictureStrip.h"
#include "support/TempFolder.h"
#include "support/TestBitmaps.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace qelvo {
namespace {

std::string pictureName(int i) {
    char name[32];
    std::snprintf(name, sizeof name, "20240307-0930%02d.jpg", i);
    return name;
}

class PictureStripTest : public ::testing::Test {
protected:
    void addPictures(int n) {
        for (int i = 0; i < n; ++i) dir_.write(pictureName(i), "x");
    }
    std::vector<std::string> slotPaths() const {
        std::vector<std::string> s;
        for (int k = 0; k < PictureStrip::kSlots; ++k) s.push_back(strip_.slot(k));
        return s;
    }
    std::vector<std::string> range(int from, int to) const {
        std::vector<std::string> s;
        for (int i = from; i <= to; ++i) s.push_back(pictureName(i));
        return s;
    }
    test::TempFolder dir_;
    PictureStrip strip_;
};

TEST_F(PictureStripTest, FewPicturesFillFromTheFirstClipWithoutABar) {
    addPictures(3);
    dir_.write("movie.avi", "x");
    std::filesystem::create_directories(dir_ / "folder.jpg");
    dir_.write("UPPER.JPG", "x");
    strip_.listFolder(dir_.path(), true);
    EXPECT_EQ(strip_.pictureCount(), 4);
    EXPECT_FALSE(strip_.barVisible());
    EXPECT_EQ(slotPaths(), (std::vector<std::string>{pictureName(0), pictureName(1), pictureName(2),
                                                     "UPPER.JPG", "", "", "", ""}));
}

TEST_F(PictureStripTest, TwentyPicturesScrollToTheEndAndStepOneAtATime) {
    addPictures(20);
    strip_.listFolder(dir_.path(), true);
    EXPECT_TRUE(strip_.barVisible());
    EXPECT_EQ(strip_.barMaximum(), 12);
    EXPECT_EQ(strip_.firstIndex(), 12);
    EXPECT_EQ(slotPaths(), range(12, 19));

    strip_.barAction(dir_.path(), PictureStrip::BarAction::LineLeft);
    EXPECT_EQ(slotPaths(), range(11, 18));
    strip_.barAction(dir_.path(), PictureStrip::BarAction::PageRight);
    strip_.barAction(dir_.path(), PictureStrip::BarAction::LineRight);
    EXPECT_EQ(strip_.firstIndex(), 12) << "never past count - 8";
    strip_.barAction(dir_.path(), PictureStrip::BarAction::Top);
    EXPECT_EQ(slotPaths(), range(0, 7));
    strip_.barAction(dir_.path(), PictureStrip::BarAction::Thumb, 5);
    EXPECT_EQ(slotPaths(), range(5, 12));
    EXPECT_FALSE(strip_.barAction(dir_.path(), PictureStrip::BarAction::EndScroll));
    EXPECT_EQ(strip_.firstIndex(), 5);
}

TEST_F(PictureStripTest, RelistingWithoutScrollKeepsThePositionAfterADeletion) {
    addPictures(20);
    strip_.listFolder(dir_.path(), true);
    std::filesystem::remove(dir_ / pictureName(19));
    strip_.listFolder(dir_.path(), false);
    EXPECT_EQ(strip_.firstIndex(), 12) << "the stored index stays";
    EXPECT_EQ(slotPaths(), range(11, 18)) << "the refill starts at count - 8";

    dir_.write(pictureName(40), "x");  // a new snapshot is listed but not scrolled to
    strip_.listFolder(dir_.path(), false);
    std::vector<std::string> expected = range(12, 18);
    expected.push_back(pictureName(40));
    EXPECT_EQ(slotPaths(), expected);
}

TEST_F(PictureStripTest, MissingFolderGivesAnEmptyStrip) {
    addPictures(10);
    strip_.listFolder(dir_.path(), true);
    strip_.listFolder(dir_ / "vanished", true);
    EXPECT_EQ(strip_.pictureCount(), 0);
    EXPECT_FALSE(strip_.barVisible());
    EXPECT_EQ(slotPaths(), std::vector<std::string>(8));
}

TEST_F(PictureStripTest, SlotPathsAndTheSlotShowingAPath) {
    addPictures(2);
    strip_.listFolder(dir_.path(), true);
    EXPECT_EQ(strip_.slotPath(dir_.path(), 1), dir_ / pictureName(1));
    EXPECT_EQ(strip_.slotPath(dir_.path(), 5), "");
    EXPECT_EQ(strip_.slotShowing(dir_.path(), dir_ / pictureName(1)), 1);
    EXPECT_EQ(strip_.slotShowing(dir_.path(), dir_ / "20240307-093001.JPG"), -1);
}

TEST_F(PictureStripTest, SameSecondSnapshotsFollowTheirBaseNameAndTheNewestComesLast) {
    const auto grey = test::solidFrame(16, 8, QColor(0x80, 0x80, 0x80));
    ASSERT_TRUE(grey->isComplete());
    const FrameRecord& frame = *grey;
    const LocalTime second{2026, 12, 8, 21, 42, 24};
    const std::string first = writeSnapshot(frame, dir_.path(), second);
    const std::string again = writeSnapshot(frame, dir_.path(), second);
    ASSERT_EQ(again, dir_ / "20261208-214224-1.jpg");
    dir_.write("20261208-214224-2.jpg", "x");
    dir_.write("20261208-214224-10.jpg", "x");
    dir_.write("20261208-214225.jpg", "x");
    dir_.write("20261208-214223-3.jpg", "x");
    EXPECT_EQ(PictureStrip::listPictures(dir_.path()),
              (std::vector<std::string>{"20261208-214223-3.jpg", "20261208-214224.jpg",
                                        "20261208-214224-1.jpg", "20261208-214224-2.jpg",
                                        "20261208-214224-10.jpg", "20261208-214225.jpg"}));
    EXPECT_EQ(first, dir_ / "20261208-214224.jpg");
}

TEST(PictureStripLabel, LongNamesLoseFourCharactersAtEachEndShortOnesShowEleven) {
    EXPECT_EQ(PictureStrip::label("20240307-093000.jpg"), "0307-093000");
    EXPECT_EQ(PictureStrip::label("abc.jpg"), "abc.jpg");
    EXPECT_EQ(PictureStrip::label("fifteen_chars.j"), "fifteen_cha");
    EXPECT_EQ(PictureStrip::label("eighteen_chars.jpg"), "eighteen_ch");
    // Counted in characters: "é" is one character of two bytes.
    EXPECT_EQ(PictureStrip::label("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
                                  "abcdefghijk.jpg"),
              "abcdefghijk");
    EXPECT_EQ(PictureStrip::label("caf\xC3\xA9-photo-001.jpg"), "caf\xC3\xA9-photo-");
}

}  // namespace
}  // namespace qelvo
