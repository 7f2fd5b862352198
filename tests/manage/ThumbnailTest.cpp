#include "manage/ThumbnailButton.h"
#include "manage/ThumbnailCache.h"
#include "support/TempFolder.h"
#include "support/TestBitmaps.h"

#include <gtest/gtest.h>

#include <QImage>

#include <fstream>
#include <thread>

namespace qelvo {
namespace {

using test::near;
using test::writeJpeg;

TEST(ThumbnailCacheTest, RewrittenFileShowsItsNewContent) {
    test::TempFolder dir;
    const std::string path = dir / "pic.jpg";
    ASSERT_TRUE(writeJpeg(path, 320, 240, QColor(220, 20, 20)));
    ThumbnailCache cache;
    const QSize size(98, 76);
    QImage first = cache.scaled(path, size);
    ASSERT_EQ(first.size(), size);
    EXPECT_TRUE(near(first.pixelColor(50, 40), QColor(220, 20, 20)));
    cache.scaled(path, size);
    EXPECT_EQ(cache.decodes(), 1u);  // the second paint came from the cache

    // Same size on disk is possible; the modification time still tells them apart.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(writeJpeg(path, 320, 240, QColor(20, 20, 220)));
    QImage second = cache.scaled(path, size);
    EXPECT_TRUE(near(second.pixelColor(50, 40), QColor(20, 20, 220)));
    EXPECT_EQ(cache.decodes(), 2u);
    EXPECT_EQ(cache.size(), 1u);
}

TEST(ThumbnailCacheTest, PrefetchDecodesEachNewPictureOnceAndGivesTheSamePictures) {
    test::TempFolder dir;
    std::vector<std::string> paths;
    const QColor colours[] = {QColor(220, 20, 20), QColor(20, 200, 20), QColor(20, 20, 220),
                              QColor(200, 200, 20), QColor(20, 200, 200)};
    for (int i = 0; i < 5; ++i) {
        const char names[][8] = {"p0.jpg", "p1.jpg", "p2.jpg", "p3.jpg", "p4.jpg"};
        paths.push_back(dir / names[i]);
        ASSERT_TRUE(writeJpeg(paths.back(), 640, 480, colours[i]));
    }
    std::ofstream(dir / "broken.jpg") << "not a picture";
    paths.push_back(dir / "broken.jpg");
    paths.push_back("");                   // an empty slot
    paths.push_back(dir / "missing.jpg");  // gone meanwhile
    const QSize size(98, 76);

    ThumbnailCache cache;
    cache.scaled(paths[0], size);  // already cached: not decoded again
    cache.prefetch(paths, size);
    EXPECT_EQ(cache.decodes(), 6u) << "five pictures and the broken file, each once";
    for (int i = 0; i < 5; ++i) {
        const QImage thumb = cache.scaled(paths[i], size);
        ASSERT_EQ(thumb.size(), size);
        EXPECT_TRUE(near(thumb.pixelColor(40, 30), colours[i])) << i;
        EXPECT_EQ(thumb, ThumbnailCache::decodeScaled(paths[i], size)) << i;
    }
    EXPECT_TRUE(cache.scaled(dir / "broken.jpg", size).isNull());
    EXPECT_EQ(cache.decodes(), 6u) << "every later paint came from the cache";
    cache.prefetch(paths, size);
    EXPECT_EQ(cache.decodes(), 6u);
}

TEST(ThumbnailCacheTest, StretchesWithoutKeepingTheAspectRatio) {
    test::TempFolder dir;
    const std::string path = dir / "wide.jpg";
    // Left half red, right half green, in a wide picture.
    CxImage image;
    ASSERT_TRUE(image.Create(400, 100, 24, FormatJpeg));
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 400; ++x)
            image.SetPixelRgb(x, y, x < 200 ? RgbQuad{0, 0, 230, 0} : RgbQuad{0, 230, 0, 0});
    ASSERT_TRUE(image.SaveFile(path.c_str(), FormatJpeg));
    ThumbnailCache cache;
    const QImage thumb = cache.scaled(path, QSize(100, 100));
    ASSERT_EQ(thumb.size(), QSize(100, 100));
    EXPECT_TRUE(near(thumb.pixelColor(20, 5), QColor(230, 0, 0)));
    EXPECT_TRUE(near(thumb.pixelColor(80, 95), QColor(0, 230, 0)));
}

TEST(ThumbnailButtonTest, GeometryOfPictureAndLabel) {
    EXPECT_EQ(ThumbnailButton::pictureRect(QSize(100, 100)), QRect(1, 1, 98, 76));
    EXPECT_EQ(ThumbnailButton::labelRect(QSize(100, 100)), QRect(1, 79, 98, 20));
    EXPECT_EQ(ThumbnailButton::labelFont().pixelSize(), 10);
}

// Paints a thumbnail over a white window and returns what shows.
QImage paintedThumbnail(ThumbnailCache& cache, const std::string& path, const std::string& name) {
    QWidget window;
    window.setAutoFillBackground(true);
    QPalette white = window.palette();
    white.setColor(QPalette::Window, Qt::white);
    window.setPalette(white);
    window.resize(100, 100);
    ThumbnailButton button(0, cache, &window);
    button.setGeometry(0, 0, 100, 100);
    button.setFile(path, name);
    return window.grab().toImage();
}

int darkPixels(const QImage& image, const QRect& area) {
    int dark = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(image.pixel(x, y)) < 128) ++dark;
    return dark;
}

TEST(ThumbnailButtonTest, DrawsPictureAndLabelAndOnlyTheLabelForBrokenFiles) {
    test::TempFolder dir;
    ThumbnailCache cache;
    const std::string good = dir / "20240307-093000.jpg";
    ASSERT_TRUE(writeJpeg(good, 640, 480, QColor(30, 30, 200)));
    QImage shown = paintedThumbnail(cache, good, "20240307-093000.jpg");
    const QRect picture = ThumbnailButton::pictureRect(QSize(100, 100));
    EXPECT_TRUE(near(shown.pixelColor(picture.center()), QColor(30, 30, 200)));
    EXPECT_TRUE(near(shown.pixelColor(picture.bottomRight()), QColor(30, 30, 200)));
    EXPECT_EQ(shown.pixelColor(50, picture.bottom() + 2), QColor(Qt::white));  // gap
    EXPECT_GT(darkPixels(shown, ThumbnailButton::labelRect(QSize(100, 100))), 10);

    const std::string broken = dir / "zero.jpg";
    std::ofstream(broken).close();
    shown = paintedThumbnail(cache, broken, "zero.jpg");
    EXPECT_EQ(shown.pixelColor(picture.center()), QColor(Qt::white));
    EXPECT_GT(darkPixels(shown, ThumbnailButton::labelRect(QSize(100, 100))), 10);

    // An empty slot draws nothing at all.
    shown = paintedThumbnail(cache, "", "");
    EXPECT_EQ(darkPixels(shown, QRect(0, 0, 100, 100)), 0);
}

TEST(ThumbnailButtonTest, AStillFrameShowsUntilTheStripIsRedrawn) {
    test::TempFolder dir;
    ThumbnailCache cache;
    const std::string good = dir / "a.jpg";
    ASSERT_TRUE(writeJpeg(good, 64, 48, QColor(30, 30, 200)));
    QWidget window;
    window.resize(100, 100);
    ThumbnailButton button(0, cache, &window);
    button.setGeometry(0, 0, 100, 100);
    button.setFile(good, "a.jpg");
    std::vector<std::uint8_t> green(4 * 4 * 3);
    for (std::size_t i = 0; i < green.size(); i += 3) green[i + 1] = 255;  // B, G, R
    button.submitFrame(green.data(), 4, 4, 12);
    QImage shown = window.grab().toImage();
    EXPECT_TRUE(near(shown.pixelColor(50, 90), QColor(0, 255, 0)));  // over the label too
    button.redraw();
    shown = window.grab().toImage();
    EXPECT_TRUE(near(shown.pixelColor(50, 40), QColor(30, 30, 200)));
}

}  // namespace
}  // namespace qelvo
