#include "manage/PictureStrip.h"
#include "manage/StripSelection.h"

#include <gtest/gtest.h>

using namespace qelvo;
using Click = StripSelection::Click;

TEST(StripSelection, SelectsAsFileManagersDo) {
    const std::vector<std::string> names{"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"};
    using V = std::vector<std::string>;
    StripSelection s;
    s.click(names, 1, Click::Plain);
    EXPECT_EQ(s.inOrder(names), V{"b.jpg"});
    // Ctrl adds and removes; the order is always the strip's.
    s.click(names, 4, Click::Toggle);
    s.click(names, 0, Click::Toggle);
    EXPECT_EQ(s.inOrder(names), (V{"a.jpg", "b.jpg", "e.jpg"}));
    s.click(names, 4, Click::Toggle);
    EXPECT_EQ(s.inOrder(names), (V{"a.jpg", "b.jpg"}));
    // Shift: the range from the last click (the Ctrl+click on e), replacing the selection,
    // in either direction, the anchor staying put.
    s.click(names, 2, Click::Extend);
    EXPECT_EQ(s.inOrder(names), (V{"c.jpg", "d.jpg", "e.jpg"}));
    s.click(names, 3, Click::Extend);
    EXPECT_EQ(s.inOrder(names), (V{"d.jpg", "e.jpg"}));
    // A plain click starts again; out-of-range clicks change nothing.
    s.click(names, 2, Click::Plain);
    s.click(names, 7, Click::Toggle);
    EXPECT_EQ(s.inOrder(names), V{"c.jpg"});
    EXPECT_EQ(s.count(), 1);
}

TEST(StripSelection, ShiftWithoutAnchorAndVanishedPictures) {
    const std::vector<std::string> names{"a.jpg", "b.jpg", "c.jpg"};
    StripSelection s;
    s.click(names, 2, Click::Extend);  // nothing clicked before: selects the one
    EXPECT_EQ(s.inOrder(names), std::vector<std::string>{"c.jpg"});
    s.click(names, 0, Click::Extend);
    EXPECT_EQ(s.count(), 3);
    // A deleted picture leaves the selection, and the anchor with it.
    const std::vector<std::string> after{"a.jpg", "b.jpg"};
    s.keepListed(after);
    EXPECT_EQ(s.inOrder(after), after);
    EXPECT_FALSE(s.contains("c.jpg"));
    s.click(after, 0, Click::Toggle);
    s.keepListed({"b.jpg"});
    s.click({"b.jpg"}, 0, Click::Extend);  // the anchor a.jpg went: a fresh start
    EXPECT_EQ(s.count(), 1);
}
