// Zoom, pan bars and loupe of the picture panel, and the tools that rewrite its file.
#include "desktop/ScriptedDialogs.h"
#include "imaging/CxImage.h"
#include "imaging/DrawScaled.h"
#include "imaging/JpegQuality.h"
#include "imaging/JpegSegments.h"
#include "imaging/ResizedCrop.h"
#include "imaging/fuzz/ExifInput.h"
#include "manage/PanelRender.h"
#include "manage/PicturePanel.h"
#include "manage/PictureTools.h"
#include "manage/PictureView.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <QAbstractSlider>
#include <QScrollBar>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <array>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace qelvo {
namespace {

namespace fs = std::filesystem;
using Tool = PictureTools::Tool;
using Outcome = PictureTools::Outcome;

// Every pixel a colour of its own: red and green the low bytes of x and y, blue their
// high nibbles, so a drawn pixel tells which picture pixel it came from.
CxImage coordinatePicture(int w, int h) {
    CxImage image;
    image.Create(w, h, 24);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = image.RowBits(y);
        for (int x = 0; x < w; ++x) {
            row[3 * x] = static_cast<std::uint8_t>(((x >> 8) << 4) | (y >> 8));
            row[3 * x + 1] = static_cast<std::uint8_t>(y & 0xFF);
            row[3 * x + 2] = static_cast<std::uint8_t>(x & 0xFF);
        }
    }
    return image;
}
int pictureX(QRgb c) {
    return ((qBlue(c) >> 4) << 8) | qRed(c);
}

// A photo-like picture with a red square in its top-left corner.
CxImage markedPicture(int w, int h) {
    CxImage image;
    image.Create(w, h, 24);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool mark = x < w / 5 && y >= h - h / 5;
            image.SetPixelRgb(x, y,
                              mark ? RgbQuad{0, 0, 255, 0}
                                   : RgbQuad{std::uint8_t(40 + x % 90), std::uint8_t(90 + y % 60),
                                             std::uint8_t(30 + (x + y) % 70), 0});
        }
    return image;
}

bool save(CxImage& image, const std::string& path) {
    image.SetQuality(80);
    return image.SaveFile(path.c_str(), FormatJpeg);
}

CxImage load(const std::string& path) {
    CxImage image;
    image.LoadFile(path.c_str(), FormatJpeg);
    return image;
}

std::string bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

QImage upright(const CxImage& image) {
    return ToQImage(image).convertToFormat(QImage::Format_RGB32);
}

// Red in the top-left fifth of a decoded picture's upright view.
bool redAt(const CxImage& image, bool left, bool top) {
    const QImage view = upright(image);
    const int x = left ? view.width() / 10 : view.width() - 1 - view.width() / 10;
    const int y = top ? view.height() / 10 : view.height() - 1 - view.height() / 10;
    const QRgb c = view.pixel(x, y);
    return qRed(c) > 200 && qGreen(c) < 60 && qBlue(c) < 60;
}

std::vector<std::uint8_t> fileBytes(const std::string& path) {
    const std::string bytes = bytesOf(path);
    return {bytes.begin(), bytes.end()};
}

// Four quadrants of their own colour (top-left, top-right, bottom-left, bottom-right), so
// that the corners tell how a picture was turned.
const QColor kQuadrants[4] = {QColor(230, 20, 20), QColor(20, 200, 20), QColor(20, 20, 230),
                              QColor(240, 240, 20)};
CxImage quadrantPicture(int w, int h) {
    CxImage image;
    image.Create(w, h, 24);
    for (int y = 0; y < h; ++y)  // rows count from the bottom
        for (int x = 0; x < w; ++x) {
            const QColor c = kQuadrants[(y < h / 2 ? 2 : 0) + (x < w / 2 ? 0 : 1)];
            image.SetPixelRgb(
                x, y,
                RgbQuad{std::uint8_t(c.blue()), std::uint8_t(c.green()), std::uint8_t(c.red()), 0});
        }
    return image;
}
// Which quadrant colour sits in each corner area of the upright view (-1: none).
std::array<int, 4> corners(const CxImage& image) {
    const QImage view = upright(image);
    std::array<int, 4> found{};
    for (int k = 0; k < 4; ++k) {
        const QColor c = view.pixelColor((k % 2 ? 3 : 1) * view.width() / 4,
                                         (k / 2 ? 3 : 1) * view.height() / 4);
        found[k] = -1;
        for (int q = 0; q < 4; ++q)
            if (std::abs(c.red() - kQuadrants[q].red()) < 50 &&
                std::abs(c.green() - kQuadrants[q].green()) < 50 &&
                std::abs(c.blue() - kQuadrants[q].blue()) < 50)
                found[k] = q;
    }
    return found;
}

// The window's picture area: the panel at (30, 60) and the two pan bars.
class PictureViewTest : public ::testing::Test {
protected:
    PictureViewTest()
        : panel_(&host_),
          vertical_(Qt::Vertical, &host_),
          horizontal_(Qt::Horizontal, &host_),
          view_(panel_, &vertical_, &horizontal_) {
        host_.setGeometry(0, 0, 1024, 768);
        panel_.setGeometry(30, 60, 640, 480);
        vertical_.hide();
        horizontal_.hide();
        host_.show();
        view_.setImageMode(true);
    }
    std::string picture(const std::string& name, CxImage image) {
        const std::string path = folder_ / name;
        EXPECT_TRUE(save(image, path));
        return path;
    }
    void open(const std::string& path) {
        panel_.setPicturePath(path);
        panel_.redraw();
    }
    QImage shown() { return panel_.shownImage().convertToFormat(QImage::Format_RGB32); }

    test::TempFolder folder_;
    QWidget host_;
    PicturePanel panel_;
    QScrollBar vertical_;
    QScrollBar horizontal_;
    PictureView view_;
};

TEST_F(PictureViewTest, ZoomStepsShowAndHideThePanBarsAndPickTheRenderCase) {
    open(picture("a.jpg", markedPicture(640, 480)));
    CxImage decoded = load(panel_.picturePath());
    // Steps of 0.1 in single precision: 0.9, 0.8, 0.7, 0.6, 0.5 (to the float's last bit).
    for (float expected : {0.9f, 0.8f, 0.7f, 0.6f, 0.5f}) {
        view_.zoomOut();
        EXPECT_FLOAT_EQ(view_.zoom(), expected);
    }
    // Below 1 the picture, resized by the zoom, sits centred on the dark surround.
    const int sw = static_cast<int>(640 * view_.zoom()), sh = static_cast<int>(480 * view_.zoom());
    const int left = (640 - sw) / 2, top = (480 - sh) / 2;
    const int rw = 640 - 2 * left, rh = 480 - 2 * top;
    CxImage half;
    ASSERT_TRUE(decoded.Resize(sw, sh, 1, &half));
    const QImage halfView = upright(half);
    QImage view = shown();
    EXPECT_EQ(view.pixel(left - 1, top - 1), panel_render::kSurround);
    EXPECT_EQ(view.pixel(left + rw, top + rh), panel_render::kSurround);
    for (QPoint p : {QPoint(left, top), QPoint(300, 200), QPoint(left + rw - 1, top + rh - 1)})
        EXPECT_EQ(view.pixel(p), halfView.pixel((p.x() - left) * sw / rw, (p.y() - top) * sh / rh))
            << p.x() << "," << p.y();
    for (int i = 0; i < 10; ++i) view_.zoomOut();
    EXPECT_EQ(view_.zoom(), 0.1f);
    EXPECT_FALSE(vertical_.isVisible());

    view_.fit();
    EXPECT_EQ(view_.zoom(), 1.0f);
    EXPECT_FALSE(panel_.showsView());
    view_.zoomIn();
    EXPECT_EQ(view_.zoom(), 1.2f);
    ASSERT_TRUE(view_.panBarsShown());
    EXPECT_TRUE(vertical_.isVisible() && horizontal_.isVisible());
    EXPECT_EQ(vertical_.geometry(), QRect(670, 60, 15, 480));
    EXPECT_EQ(horizontal_.geometry(), QRect(30, 540, 640, 15));
    // 768 x 576: ranges 0-128 and 0-96, centred.
    EXPECT_EQ(horizontal_.maximum(), 128);
    EXPECT_EQ(vertical_.maximum(), 96);
    EXPECT_EQ(view_.horizontalPan(), 64);
    EXPECT_EQ(view_.verticalPan(), 48);
    CxImage big, crop;
    ASSERT_TRUE(decoded.Resize(768, 576, 1, &big));
    ASSERT_TRUE(big.CropTo(64, 48, 704, 528, &crop));
    EXPECT_EQ(shown(), upright(crop));

    view_.zoomIn();
    EXPECT_FLOAT_EQ(view_.zoom(), 1.4f);
    view_.zoomOut();
    EXPECT_EQ(view_.zoom(), 1.2f);
    view_.zoomOut();
    EXPECT_EQ(view_.zoom(), 1.0f);
    EXPECT_FALSE(view_.panBarsShown());
    EXPECT_FALSE(vertical_.isVisible() || horizontal_.isVisible());
    EXPECT_EQ(shown(), panel_render::fit(decoded, {640, 480}));
    view_.zoomOut();
    EXPECT_EQ(view_.zoom(), 0.9f);
    view_.zoomIn();
    EXPECT_EQ(view_.zoom(), 1.0f);
}

TEST_F(PictureViewTest, PanBarActionsMoveTheWindowOneStepAtATimeWithinTheRange) {
    open(picture("a.jpg", markedPicture(640, 480)));
    CxImage decoded = load(panel_.picturePath());
    view_.zoomIn();
    using A = QAbstractSlider;
    struct Step {
        QScrollBar* bar;
        int action;
        int expected;
    };
    const Step steps[] = {
        {&horizontal_, A::SliderSingleStepAdd, 65}, {&horizontal_, A::SliderPageStepSub, 64},
        {&horizontal_, A::SliderToMaximum, 128},    {&horizontal_, A::SliderPageStepAdd, 128},
        {&horizontal_, A::SliderToMinimum, 0},      {&horizontal_, A::SliderSingleStepSub, 0},
        {&vertical_, A::SliderToMaximum, 96},       {&vertical_, A::SliderSingleStepSub, 95},
    };
    for (const Step& s : steps) {
        s.bar->triggerAction(static_cast<A::SliderAction>(s.action));
        EXPECT_EQ(s.bar->value(), s.expected) << s.action;
    }
    horizontal_.setSliderPosition(100);  // thumb dragged
    EXPECT_EQ(view_.horizontalPan(), 100);
    EXPECT_EQ(view_.verticalPan(), 95);
    CxImage big, crop;
    ASSERT_TRUE(decoded.Resize(768, 576, 1, &big));
    ASSERT_TRUE(big.CropTo(100, 95, 740, 575, &crop));
    EXPECT_EQ(shown(), upright(crop));
}

TEST_F(PictureViewTest, ZoomAndBarsOutliveAnotherPictureAndRedrawsShowItFitted) {
    const std::string first = picture("a.jpg", markedPicture(640, 480));
    const std::string second = picture("b.jpg", markedPicture(800, 600));
    open(first);
    view_.zoomIn();
    view_.zoomIn();
    const float zoom = view_.zoom();
    open(second);  // a thumbnail click
    EXPECT_EQ(view_.zoom(), zoom);
    EXPECT_TRUE(view_.panBarsShown());
    CxImage decoded = load(second);
    EXPECT_EQ(shown(), panel_render::fit(decoded, {640, 480}));
    // The bars keep the first picture's range until the next zoom command; a pan step now
    // shows the second picture's zoomed window at the bars' positions.
    horizontal_.triggerAction(QAbstractSlider::SliderSingleStepAdd);
    const int sw = static_cast<int>(800 * view_.zoom()), sh = static_cast<int>(600 * view_.zoom());
    const int h = horizontal_.value(), v = vertical_.value();
    EXPECT_EQ(h, 129);
    EXPECT_EQ(v, 96);
    CxImage crop;
    ASSERT_TRUE(ResizedCrop(decoded, sw, sh, h, v, h + 640, v + 480, crop));
    EXPECT_EQ(shown(), panel_render::fit(crop, {640, 480}));
    panel_.redraw();  // e.g. after a dialog closed
    EXPECT_EQ(shown(), panel_render::fit(decoded, {640, 480}));
    EXPECT_EQ(view_.zoom(), zoom);
    // A picture smaller than the panel has nothing to pan: empty ranges, whole picture.
    const std::string small = picture("s.jpg", markedPicture(100, 75));
    open(small);
    view_.zoomIn();
    EXPECT_EQ(horizontal_.maximum(), 0);
    EXPECT_EQ(vertical_.maximum(), 0);
    CxImage whole;
    ASSERT_TRUE(load(small).Resize(160, 120, 1, &whole));
    EXPECT_EQ(shown(), panel_render::fit(whole, {640, 480}));
}

TEST_F(PictureViewTest, CommandsWaitForImageModeAndAPictureExceptTheLoupeSwitch) {
    view_.zoomIn();
    EXPECT_EQ(view_.zoom(), 1.0f);
    open(picture("a.jpg", markedPicture(64, 48)));
    view_.setImageMode(false);
    view_.zoomIn();
    view_.zoomOut();
    EXPECT_EQ(view_.zoom(), 1.0f);
    view_.toggleLoupe();
    EXPECT_TRUE(view_.magnifierOn());
    EXPECT_FALSE(view_.pointerPressed({350, 300}, Qt::LeftButton, Qt::NoModifier));
    view_.toggleLoupe();
    EXPECT_FALSE(view_.magnifierOn());
}

// The loupe as the straightforward picture operations compute it, with the band taken
// over to picture pixels: crop the middle half, enlarge it twice, paste it over a copy of
// the picture and stretch the result over the panel.
QImage referenceLoupe(const CxImage& picture, const panel_render::LoupeBand& band, QSize panel) {
    const int w = picture.Width(), h = picture.Height(), cw = panel.width(), ch = panel.height();
    const int bl = band.left * w / cw, br = band.right * w / cw;
    const int bt = band.top * h / ch, bb = band.bottom * h / ch;
    const int ox = (br - bl) / 4, oy = (bb - bt) / 4;
    CxImage whole, crop, enlarged;
    whole.CopyFrom(picture);
    if (whole.CropTo(bl + ox, bt + oy, br - ox, bb - oy, &crop) &&
        crop.Resize(2 * (br - bl - 2 * ox), 2 * (bb - bt - 2 * oy), 1, &enlarged))
        whole.PasteOver(enlarged, bl, h - bb);
    QImage out(panel, QImage::Format_RGB32);
    for (int y = 0; y < ch; ++y)
        for (int x = 0; x < cw; ++x) {
            const RgbQuad c = whole.GetPixelColor(x * w / cw, h - 1 - y * h / ch);
            out.setPixel(x, y, qRgb(c.red, c.green, c.blue));
        }
    return out;
}

TEST_F(PictureViewTest, LoupePatchMagnifiesWhatLiesUnderThePointerForAnySize) {
    const QRect panel(30, 60, 640, 480);
    // At the panel's centre the band is a quarter of the panel each way.
    const panel_render::LoupeBand centre = panel_render::loupeBand({350, 300}, panel);
    EXPECT_EQ(centre.left, 240);
    EXPECT_EQ(centre.right, 400);
    EXPECT_EQ(centre.top, 180);
    EXPECT_EQ(centre.bottom, 300);
    for (QSize size : {QSize(640, 480), QSize(2592, 1944), QSize(333, 251)}) {
        const CxImage picture = coordinatePicture(size.width(), size.height());
        const QImage plain = panel_render::fit(picture, panel.size());
        for (QPoint pointer : {QPoint(350, 300), QPoint(100, 80), QPoint(660, 530)}) {
            SCOPED_TRACE(std::to_string(size.width()) + " at " + std::to_string(pointer.x()));
            const panel_render::LoupeBand band = panel_render::loupeBand(pointer, panel);
            const QImage loupe = panel_render::loupe(picture, band, panel.size());
            EXPECT_EQ(loupe, referenceLoupe(picture, band, panel.size()));
        }
        // Around the centre, k panel pixels away in the plain picture show 2k away.
        const int slack = size.width() / 640 + 2;
        for (int k = -30; k <= 30; k += 10) {
            const int at = 320 + k;
            const int xPlain = pictureX(plain.pixel(at, 240));
            const int xLoupe = pictureX(
                panel_render::loupe(picture, centre, panel.size()).pixel(320 + 2 * k, 240));
            EXPECT_NEAR(xLoupe, xPlain, slack) << size.width() << " k " << k;
        }
    }
}

TEST_F(PictureViewTest, LoupeFollowsTheLeftButtonAloneAndReleaseRestoresThePicture) {
    open(picture("big.jpg", markedPicture(2592, 1944)));
    const QImage plain = shown();
    EXPECT_FALSE(view_.pointerPressed({350, 300}, Qt::LeftButton, Qt::NoModifier));  // off
    view_.toggleLoupe();
    EXPECT_FALSE(view_.pointerPressed({20, 300}, Qt::LeftButton, Qt::NoModifier));  // outside
    EXPECT_FALSE(view_.pointerPressed({670, 300}, Qt::LeftButton, Qt::NoModifier));
    EXPECT_FALSE(
        view_.pointerPressed({350, 300}, Qt::LeftButton | Qt::RightButton, Qt::NoModifier));
    EXPECT_FALSE(view_.pointerMoved({350, 300}, Qt::LeftButton, Qt::ShiftModifier));
    EXPECT_FALSE(panel_.showsView());

    ASSERT_TRUE(view_.pointerPressed({350, 300}, Qt::LeftButton, Qt::NoModifier));
    EXPECT_TRUE(view_.loupeDragging());
    const QImage pressed = shown();
    EXPECT_NE(pressed, plain);
    EXPECT_EQ(pressed.pixel(5, 5), plain.pixel(5, 5));  // outside the band: unchanged
    ASSERT_TRUE(view_.pointerMoved({500, 400}, Qt::LeftButton, Qt::NoModifier));
    EXPECT_NE(shown(), pressed);
    const unsigned long long decodes = panel_.pictures().decodes();
    view_.pointerMoved({510, 410}, Qt::LeftButton, Qt::NoModifier);
    EXPECT_EQ(panel_.pictures().decodes(), decodes);  // moves reuse the decoded picture
    view_.leftButtonReleased();
    EXPECT_FALSE(view_.loupeDragging());
    EXPECT_EQ(shown(), plain);
}

// Every rewrite replaces the file through a rename.  On a file system whose times are
// coarse (two seconds on FAT) a rewrite of the same size keeps size and time alike; the
// replaced file must still be read again.
TEST_F(PictureViewTest, AReplacedFileIsReadAgainWhenItsSizeAndTimeStayTheSame) {
    const std::string path = picture("a.jpg", markedPicture(64, 48));
    const CxImage* before = panel_.pictures().picture(path);
    ASSERT_NE(before, nullptr);
    const RgbQuad first = before->GetPixelColor(40, 10);
    // Same length, other pixels: the DC quantiser doubled.
    std::string bytes = bytesOf(path);
    const std::size_t dqt = bytes.find("\xFF\xDB");
    ASSERT_NE(dqt, std::string::npos);
    bytes[dqt + 5] = static_cast<char>(2 * static_cast<unsigned char>(bytes[dqt + 5]));
    const std::string replacement = folder_ / "replacement.tmp";
    std::ofstream(replacement, std::ios::binary) << bytes;
    struct stat original {};
    ASSERT_EQ(::stat(path.c_str(), &original), 0);
    const timespec times[2] = {original.st_atim, original.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, replacement.c_str(), times, 0), 0);
    fs::rename(replacement, path);
    ASSERT_EQ(fs::file_size(path), static_cast<std::uintmax_t>(original.st_size));

    const CxImage* after = panel_.pictures().picture(path);
    ASSERT_NE(after, nullptr);
    EXPECT_NE(after->GetPixelColor(40, 10).red, first.red);
}

class PictureToolsTest : public PictureViewTest {
protected:
    PictureToolsTest() {
        auto scripted = std::make_unique<ScriptedDialogs>();
        dialogs_ = scripted.get();
        previous_ = setDialogs(std::move(scripted));
    }
    ~PictureToolsTest() override { setDialogs(std::move(previous_)); }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder_.path()))
            names.push_back(e.path().filename().string());
        return names;
    }

    PictureTools tools_{nullptr};
    ScriptedDialogs* dialogs_ = nullptr;
    std::unique_ptr<Dialogs> previous_;
};

TEST_F(PictureToolsTest, TurnsAreLosslessWherePerfectAndReencodedElsewhereSameOrientation) {
    // A snapshot's size: each quarter turn rearranges the compressed data.
    const std::string snap = picture("snap.jpg", markedPicture(640, 480));
    const CxImage original = load(snap);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(tools_.run(Tool::RotateQuarter, snap), Outcome::Lossless);
    EXPECT_EQ(upright(load(snap)), upright(original));

    // 100 x 75 leaves partial blocks: decoded, turned, saved at quality 80.
    const std::string odd = picture("odd.jpg", markedPicture(100, 75));
    ASSERT_TRUE(redAt(load(odd), true, true));
    ASSERT_EQ(tools_.run(Tool::RotateQuarter, odd), Outcome::Reencoded);
    CxImage turned = load(odd);
    EXPECT_EQ(turned.Width(), 75);
    EXPECT_EQ(turned.Height(), 100);
    EXPECT_TRUE(redAt(turned, false, true));  // clockwise: top-left goes top-right
    for (int i = 0; i < 3; ++i) tools_.run(Tool::RotateQuarter, odd);
    EXPECT_EQ(load(odd).Width(), 100);
    EXPECT_TRUE(redAt(load(odd), true, true));
    EXPECT_EQ(tools_.run(Tool::FlipVertical, odd), Outcome::Reencoded);
    EXPECT_TRUE(redAt(load(odd), true, false));
    EXPECT_EQ(tools_.run(Tool::MirrorHorizontal, odd), Outcome::Reencoded);
    EXPECT_TRUE(redAt(load(odd), false, false));
    EXPECT_EQ(tools_.run(Tool::RotateHalf, odd), Outcome::Reencoded);
    EXPECT_TRUE(redAt(load(odd), true, true));
    EXPECT_TRUE(dialogs_->messages().isEmpty());
    EXPECT_EQ(entries().size(), 2u);
}

// Each tool's direction, on pictures of whole JPEG blocks (changed without loss) and of
// partial ones (decoded, changed and re-encoded).
TEST_F(PictureToolsTest, EachTransformGoesItsOwnWayOnBothPaths) {
    struct Case {
        Tool tool;
        std::array<int, 4> corners;  // quadrant colours now at top-left ... bottom-right
        bool swapsSides;
    };
    const Case cases[] = {
        {Tool::RotateQuarter, {2, 0, 3, 1}, true},  // clockwise: top-left goes top-right
        {Tool::RotateHalf, {3, 2, 1, 0}, false},
        {Tool::FlipVertical, {2, 3, 0, 1}, false},  // upside down
        {Tool::MirrorHorizontal, {1, 0, 3, 2}, false},
    };
    for (QSize size : {QSize(64, 48), QSize(100, 75)}) {
        const bool lossless = size.width() == 64;
        for (const Case& c : cases) {
            SCOPED_TRACE(std::to_string(size.width()) + " tool " + std::to_string(int(c.tool)));
            const std::string path = picture("q.jpg", quadrantPicture(size.width(), size.height()));
            ASSERT_EQ(corners(load(path)), (std::array<int, 4>{0, 1, 2, 3}));
            EXPECT_EQ(tools_.run(c.tool, path), lossless ? Outcome::Lossless : Outcome::Reencoded);
            const CxImage result = load(path);
            EXPECT_EQ(QSize(result.Width(), result.Height()),
                      c.swapsSides ? size.transposed() : size);
            EXPECT_EQ(corners(result), c.corners);
        }
    }
}

// A camera's EXIF block survives every turn and flip, then says Orientation 1 and the new
// pixel size, its other tags as they were (either byte order, either path).
TEST_F(PictureToolsTest, TurnsKeepExifWithOrientationOneAndTheNewSize) {
    for (QSize size : {QSize(64, 48), QSize(100, 75)}) {
        for (Tool tool : {Tool::RotateQuarter, Tool::FlipVertical}) {
            const bool big = tool == Tool::FlipVertical;
            const auto w = static_cast<std::uint32_t>(size.width());
            const auto h = static_cast<std::uint32_t>(size.height());
            SCOPED_TRACE(std::to_string(w) + (big ? " flip" : " quarter"));
            const std::string path =
                picture("exif.jpg", markedPicture(size.width(), size.height()));
            std::string bytes = bytesOf(path);
            ASSERT_EQ(bytes.substr(2, 4), std::string("\xFF\xE0\x00\x10", 4));  // JFIF first
            const std::vector<std::uint8_t> block = fuzz::exifBlock({big, 6, w, h});
            const std::size_t length = block.size() + 2;
            const std::string segment = std::string("\xFF\xE1") + char(length >> 8) +
                                        char(length & 0xFF) +
                                        std::string(block.begin(), block.end());
            bytes.insert(20, segment);
            std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;

            ASSERT_EQ(tools_.run(tool, path), w == 64 ? Outcome::Lossless : Outcome::Reencoded);
            const std::vector<std::uint8_t> turned = fileBytes(path);
            JpegSegment exif;
            ASSERT_TRUE(FindExifSegment(turned, exif));
            const bool quarter = tool == Tool::RotateQuarter;
            EXPECT_EQ(std::vector<std::uint8_t>(turned.begin() + exif.payload,
                                                turned.begin() + exif.payload + exif.payloadSize),
                      fuzz::exifBlock({big, 1, quarter ? h : w, quarter ? w : h}));
            EXPECT_EQ(load(path).Width(), int(quarter ? h : w));
        }
    }
}

// A turn that cannot be lossless costs one generation at the quality the picture had.
TEST_F(PictureToolsTest, AReencodedTurnKeepsTheQualityOfTheOriginal) {
    for (int quality : {95, 60}) {
        const std::string path = folder_ / "q.jpg";
        CxImage original = markedPicture(100, 75);
        original.SetQuality(static_cast<std::uint8_t>(quality));
        ASSERT_TRUE(original.SaveFile(path.c_str(), FormatJpeg));
        ASSERT_EQ(tools_.run(Tool::RotateQuarter, path), Outcome::Reencoded);
        EXPECT_EQ(EstimateJpegQuality(fileBytes(path)), quality);
    }
}

// A read-only picture is refused and stays as it was; a link is written through to the
// picture it names and stays a link.  Both paths, and the equaliser.
TEST_F(PictureToolsTest, AReadOnlyPictureIsRefusedAndALinkIsWrittenThrough) {
    fs::create_directory(folder_ / "pictures");
    for (QSize size : {QSize(64, 48), QSize(100, 75)}) {
        const bool lossless = size.width() == 64;
        const std::string path = picture("ro.jpg", markedPicture(size.width(), size.height()));
        const std::string before = bytesOf(path);
        fs::permissions(path,
                        fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        for (Tool tool : {Tool::RotateQuarter, Tool::Equalize})
            EXPECT_EQ(tools_.run(tool, path), Outcome::SaveFailed);
        EXPECT_EQ(bytesOf(path), before);
        fs::remove(path);

        const std::string target =
            picture("pictures/t.jpg", markedPicture(size.width(), size.height()));
        const std::string link = folder_ / "link.jpg";
        fs::create_symlink("pictures/t.jpg", link);
        EXPECT_EQ(tools_.run(Tool::RotateQuarter, link),
                  lossless ? Outcome::Lossless : Outcome::Reencoded);
        EXPECT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(load(target).Width(), size.height());
        fs::remove(link);
        fs::remove(target);
    }
    ASSERT_EQ(dialogs_->messages().size(), 4);
    for (const QString& text : dialogs_->messages())
        EXPECT_TRUE(text.startsWith("The picture could not be saved:") &&
                    text.endsWith("the file is read-only"))
            << text.toStdString();
    EXPECT_EQ(entries(), std::vector<std::string>{"pictures"});  // no temporary file left
    EXPECT_TRUE(fs::is_empty(folder_ / "pictures"));
}

TEST_F(PictureToolsTest, EqualizeSavesOnceAtQuality80) {
    const std::string path = picture("e.jpg", markedPicture(120, 90));
    CxImage expected = load(path);
    ASSERT_TRUE(expected.EqualizeLevels());
    const std::string reference = folder_ / "reference.bin";
    ASSERT_TRUE(save(expected, reference));
    ASSERT_EQ(tools_.run(Tool::Equalize, path), Outcome::Reencoded);
    EXPECT_EQ(bytesOf(path), bytesOf(reference));
}

TEST_F(PictureToolsTest, AFailedSaveSaysWhyAndKeepsTheFileByteForByte) {
    const std::string snap = picture("snap.jpg", markedPicture(640, 480));
    const std::string odd = picture("odd.jpg", markedPicture(100, 75));
    const std::string snapBytes = bytesOf(snap), oddBytes = bytesOf(odd);
    // No file may grow past 512 bytes (root ignores folder permissions; this it cannot).
    const auto previousSignal = std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    ::getrlimit(RLIMIT_FSIZE, &previous);
    rlimit tiny = previous;
    tiny.rlim_cur = 512;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
    const Outcome lossless = tools_.run(Tool::RotateQuarter, snap);
    const Outcome reencoded = tools_.run(Tool::Equalize, odd);
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousSignal);
    EXPECT_EQ(lossless, Outcome::SaveFailed);
    EXPECT_EQ(reencoded, Outcome::SaveFailed);
    EXPECT_EQ(bytesOf(snap), snapBytes);
    EXPECT_EQ(bytesOf(odd), oddBytes);
    ASSERT_EQ(dialogs_->messages().size(), 2);
    for (const QString& text : dialogs_->messages()) {
        const QStringList parts = text.split("\n\n");
        ASSERT_EQ(parts.size(), 3) << text.toStdString();
        EXPECT_EQ(parts[0], "The picture could not be saved:");
        EXPECT_FALSE(parts[2].trimmed().isEmpty());  // the reason
    }
    EXPECT_TRUE(dialogs_->messages()[0].contains("too large"));
    EXPECT_EQ(entries().size(), 2u);  // no temporary file left
}

TEST_F(PictureToolsTest, BrokenOrVanishedPicturesWriteNothingAndDrawNothingNew) {
    const std::string path = picture("p.jpg", markedPicture(640, 480));
    open(path);
    view_.toggleLoupe();
    std::string bytes = bytesOf(path);
    struct Case {
        const char* name;
        std::string content;  // empty: the file is deleted
    };
    std::string huge = bytes;  // the frame header claims 20000 x 20000
    const std::size_t sof = huge.find("\xFF\xC0");
    ASSERT_NE(sof, std::string::npos);
    huge[sof + 5] = huge[sof + 7] = char(0x4E);
    huge[sof + 6] = huge[sof + 8] = char(0x20);
    const Case cases[] = {{"truncated", bytes.substr(0, bytes.size() / 2)},
                          {"not a JPEG", "plain text, not a picture"},
                          {"too large", huge},
                          {"deleted", ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        panel_.redraw();
        if (c.content.empty())
            fs::remove(path);
        else
            std::ofstream(path, std::ios::binary | std::ios::trunc) << c.content;
        for (Tool tool : {Tool::Equalize, Tool::RotateQuarter, Tool::MirrorHorizontal})
            EXPECT_EQ(tools_.run(tool, path), Outcome::Unreadable);
        EXPECT_EQ(fs::exists(path), !c.content.empty());
        if (!c.content.empty()) {
            EXPECT_EQ(bytesOf(path), c.content);
        }
        view_.zoomIn();
        view_.zoomOut();
        view_.zoomOut();
        view_.pointerPressed({350, 300}, Qt::LeftButton, Qt::NoModifier);
        view_.leftButtonReleased();
        EXPECT_FALSE(panel_.showsView());
    }
    EXPECT_EQ(dialogs_->messages().size(), 12);
    EXPECT_TRUE(dialogs_->messages()[6].contains("CXIMAGE_MAX_MEMORY exceeded"))
        << dialogs_->messages()[6].toStdString();
}

TEST_F(PictureToolsTest, AFileFarLargerThanAnyPictureIsRefusedUnread) {
    // A JPEG start and then a terabyte (sparse): nothing may try to hold it in memory.
    const std::string path = folder_ / "huge.jpg";
    std::ofstream(path, std::ios::binary) << "\xFF\xD8\xFF\xE0";
    fs::resize_file(path, std::uintmax_t{1} << 40);
    open(path);
    EXPECT_EQ(panel_.pictures().picture(path), nullptr);
    view_.zoomIn();
    EXPECT_FALSE(panel_.showsView());
    for (Tool tool : {Tool::Equalize, Tool::RotateQuarter})
        EXPECT_EQ(tools_.run(tool, path), Outcome::Unreadable);
    EXPECT_EQ(fs::file_size(path), std::uintmax_t{1} << 40);
    ASSERT_EQ(dialogs_->messages().size(), 2);
    EXPECT_TRUE(dialogs_->messages()[0].contains("too large"))
        << dialogs_->messages()[0].toStdString();
}

TEST_F(PictureToolsTest, TinyAndHugePicturesWorkWithEveryTool) {
    for (QSize size : {QSize(1, 1), QSize(8000, 6000)}) {
        SCOPED_TRACE(size.width());
        const std::string path = picture("p.jpg", markedPicture(size.width(), size.height()));
        open(path);
        view_.fit();
        view_.zoomIn();
        EXPECT_TRUE(panel_.showsView());
        for (int i = 0; i < 12; ++i) view_.zoomOut();
        EXPECT_TRUE(panel_.showsView());
        if (!view_.magnifierOn()) view_.toggleLoupe();
        EXPECT_TRUE(view_.pointerPressed({350, 300}, Qt::LeftButton, Qt::NoModifier));
        view_.leftButtonReleased();
        for (Tool tool : {Tool::Equalize, Tool::RotateQuarter, Tool::RotateHalf, Tool::FlipVertical,
                          Tool::MirrorHorizontal}) {
            const Outcome outcome = tools_.run(tool, path);
            EXPECT_TRUE(outcome == Outcome::Reencoded || outcome == Outcome::Lossless);
        }
        const CxImage result = load(path);
        EXPECT_EQ(result.Width(), size.height());
        EXPECT_EQ(result.Height(), size.width());
    }
    EXPECT_TRUE(dialogs_->messages().isEmpty());
}

}  // namespace
}  // namespace qelvo
