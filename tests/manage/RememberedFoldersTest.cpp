#include "manage/RememberedFolders.h"
#include "support/TempFolder.h"
#include "system/SessionState.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

namespace qelvo {
namespace {

namespace fs = std::filesystem;
using Entries = std::vector<std::string>;
const LocalTime kToday{2024, 3, 7, 9, 30, 0};

TEST(FolderList, OnlyTheSameFolderMatchesLookingFromTheSecondEntry) {
    FolderList list;
    list.add("/lab");
    list.add("/lab/20240307");
    list.add("/data/pics");
    list.add("/lab/");
    // Neither a prefix, a longer path nor another letter case is the same folder.
    EXPECT_EQ(list.find("/data/pic"), -1);
    EXPECT_EQ(list.find("/data/Pics"), -1);
    EXPECT_EQ(list.find("/lab/2024"), -1);
    EXPECT_EQ(list.find("/data/pics//"), 2) << "a trailing slash is ignored";
    EXPECT_EQ(list.find("/lab/20240307"), 1);
    EXPECT_EQ(list.find("/lab"), 3) << "the first entry is examined last";
    EXPECT_EQ(FolderList::withoutTrailingSlash("/"), "/");
    list.select(2);
    list.removeMatching("/lab");
    EXPECT_EQ(list.entries(), (Entries{"/lab/20240307", "/data/pics"}));
    EXPECT_EQ(list.selectedText(), "/data/pics") << "selection follows its entry";
}

class RememberedFoldersTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* d : {"A", "B", "lab", "lab/20240301"}) fs::create_directories(dir_ / d);
    }
    std::string settings() const { return dir_.read("QELVO-LAB.cfg"); }
    test::TempFolder dir_;
};

TEST_F(RememberedFoldersTest, LastLineWinsAndMissingFoldersAreSkipped) {
    dir_.write("QELVO-LAB.cfg",
               dir_ / "A" + "\n" + dir_ / "B" + "\n" + dir_ / "gone" + "\n" + dir_ / "A" + "\n");
    RememberedFolders folders(dir_.path());
    const std::string day = folders.read(kToday);
    EXPECT_EQ(day, dir_ / "20240307");
    EXPECT_TRUE(fs::is_directory(day));
    EXPECT_EQ(storageFolder(), day);
    EXPECT_EQ(folders.list().entries(), (Entries{dir_ / "B", dir_ / "A", day}));
    EXPECT_EQ(folders.list().selected(), 2);
}

TEST_F(RememberedFoldersTest, EachFolderIsListedOnceWhereItsLastLineIs) {
    const std::string lab = dir_ / "lab", day1 = dir_ / "lab/20240301";
    dir_.write("QELVO-LAB.cfg", lab + "\n" + day1 + "\n" + dir_ / "A" + "\n" + lab + "/\n");
    RememberedFolders folders(dir_.path());
    folders.read(kToday);
    // The last line names "lab" again (with a slash): it moves that entry only.
    EXPECT_EQ(folders.list().entries(), (Entries{day1, dir_ / "A", lab + "/", dir_ / "20240307"}));
}

TEST_F(RememberedFoldersTest, DayFolderIsAppendedOncePerDay) {
    RememberedFolders first(dir_.path());
    first.read(kToday);  // creates the missing file, then records the day folder
    EXPECT_EQ(settings(), dir_ / "20240307" + "\n");
    RememberedFolders again(dir_.path());
    again.read(kToday);
    EXPECT_EQ(settings(), dir_ / "20240307" + "\n") << "a second opening the same day adds nothing";
    EXPECT_EQ(again.list().entries(), (Entries{dir_ / "20240307"}));
    RememberedFolders nextDay(dir_.path());
    nextDay.read({2024, 3, 8, 0, 0, 0});
    EXPECT_EQ(settings(), dir_ / "20240307" + "\n" + dir_ / "20240308" + "\n");
}

TEST_F(RememberedFoldersTest, HostileFileContentIsReadSafely) {
    std::string content = dir_ / "A" + "\r\n";      // CRLF line end
    content += std::string(5000, 'x') + "\n";       // a huge line, read in pieces
    content += std::string("\x01\xff\x00zz\n", 6);  // binary bytes and a NUL
    content += '\n';                                // an empty line
    content += dir_ / "B";                          // no final line feed
    dir_.write("QELVO-LAB.cfg", content);
    RememberedFolders folders(dir_.path());
    folders.read(kToday);
    EXPECT_EQ(folders.list().entries(), (Entries{dir_ / "A", dir_ / "B", dir_ / "20240307"}));
}

TEST_F(RememberedFoldersTest, LongLinesAreSplitIntoPiecesOf2078Bytes) {
    std::string line(2078 + 10, 'p');
    dir_.write("QELVO-LAB.cfg", line + "\n" + std::string(2077, 'q') + "\n");
    std::vector<std::string> lines;
    ASSERT_TRUE(SettingsFile(dir_.path()).readLines(lines));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].size(), 2078u);
    EXPECT_EQ(lines[1].size(), 10u);
    EXPECT_EQ(lines[2].size(), 2077u);
}

TEST_F(RememberedFoldersTest, APipeOrDeviceInPlaceOfTheFileIsNeitherWaitedOnNorRead) {
    const std::string file = dir_ / "QELVO-LAB.cfg";
    ASSERT_EQ(::mkfifo(file.c_str(), 0644), 0);
    RememberedFolders fromPipe(dir_.path());
    const std::string day = fromPipe.read(kToday);
    fromPipe.remember(dir_ / "A");
    EXPECT_EQ(fromPipe.list().entries(), (Entries{day, dir_ / "A"}));
    EXPECT_TRUE(fs::is_fifo(file));

    // An endless source of empty lines would otherwise never finish reading.
    fs::remove(file);
    fs::create_symlink("/dev/zero", file);
    RememberedFolders fromZeros(dir_.path());
    EXPECT_EQ(fromZeros.read(kToday), day);
    EXPECT_EQ(fromZeros.list().entries(), (Entries{day}));
}

TEST_F(RememberedFoldersTest, UnwritableRootKeepsTheDayFolderInMemory) {
    const std::string root = dir_ / "missing-root";  // nothing can be created under it
    RememberedFolders folders(root + "/sub");
    const std::string day = folders.read(kToday);
    EXPECT_EQ(folders.list().entries(), (Entries{day}));
    EXPECT_EQ(storageFolder(), day);
    EXPECT_FALSE(fs::exists(root));
}

TEST_F(RememberedFoldersTest, RememberingAFolderSelectsThatFolderAndAppendsItOnce) {
    fs::create_directories(dir_ / "b");
    RememberedFolders folders(dir_.path());
    const std::string day = folders.read(kToday);
    folders.remember(dir_ / "B");
    folders.remember(dir_ / "B/");  // the same folder
    EXPECT_EQ(storageFolder(), dir_ / "B");
    folders.remember(dir_ / "b");  // another folder on a case-sensitive file system
    EXPECT_EQ(storageFolder(), dir_ / "b");
    // The root is a folder of its own, not the day folder below it.
    folders.remember(dir_.path());
    EXPECT_EQ(storageFolder(), dir_.path());
    EXPECT_EQ(settings(), day + "\n" + dir_ / "B" + "\n" + dir_ / "b" + "\n" + dir_.path() + "\n");
    folders.remember(dir_ / "B");
    EXPECT_EQ(storageFolder(), dir_ / "B");
    EXPECT_EQ(folders.list().selected(), 1);
}

}  // namespace
}  // namespace qelvo
