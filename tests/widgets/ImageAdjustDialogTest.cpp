#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "desktop/ScriptedDialogs.h"
#include "imaging/NearestSample.h"
#include "skin/ControlIdentity.h"
#include "support/ImageOpsReference.h"
#include "support/TempFolder.h"
#include "support/TestPictures.h"
#include "widgets/AdjustDialogControls.h"
#include "widgets/ImageAdjustDialog.h"

namespace qelvo {
namespace {

class ImageAdjustDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto scripted = std::make_unique<ScriptedDialogs>();
        dialogs_ = scripted.get();
        previous_ = setDialogs(std::move(scripted));
        path_ = dir_ / "picture.jpg";
        ASSERT_TRUE(test::PhotoPicture(320, 240, 9).SaveFile(path_.c_str(), FormatJpeg));
        original_ = test::ReadBytes(path_);
    }
    void TearDown() override { setDialogs(std::move(previous_)); }

    ImageAdjustDialog::Request request(int kind, int maximum) const {
        static const char* const titles[] = {"",    "Brightness", "Contrast",
                                             "Hue", "Saturation", "Histogram"};
        return {kind, QString("%1 @ Image Function").arg(titles[kind]), -maximum, maximum, 0,
                path_};
    }
    template <typename T>
    static T* control(QWidget& dialog, int id) {
        return qobject_cast<T*>(findControl(&dialog, id));
    }
    static QColor pixelOf(QWidget* w, int x, int y) { return w->grab().toImage().pixelColor(x, y); }

    test::TempFolder dir_;
    std::string path_;
    std::vector<std::uint8_t> original_;
    ScriptedDialogs* dialogs_ = nullptr;
    std::unique_ptr<Dialogs> previous_;
};

TEST_F(ImageAdjustDialogTest, TemplateLayoutAndTheShorterNonHistogramKinds) {
    ImageAdjustDialog histogram(request(5, 500));
    ImageAdjustDialog brightness(request(1, 255));
    EXPECT_EQ(histogram.windowTitle(), "Histogram @ Image Function");
    EXPECT_EQ(histogram.size(), QSize(570, 620));
    // Every kind ends the template's 7-unit margin below its lowest shown control: the
    // shorter kinds keep no empty band where the histogram rows would be.
    for (int kind = 1; kind <= 5; ++kind) {
        ImageAdjustDialog dialog(request(kind, 100));
        int lowest = 0;
        for (QWidget* c : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (c->isVisibleTo(&dialog)) lowest = std::max(lowest, c->geometry().bottom() + 1);
        EXPECT_EQ(dialog.height(), lowest + 14) << kind;
        EXPECT_EQ(dialog.width(), 570);
    }
    EXPECT_EQ(findControl(&histogram, 1300)->geometry(), QRect(108, 26, 338, 46));
    EXPECT_EQ(findControl(&histogram, 1304)->geometry(), QRect(294, 88, 262, 212));
    EXPECT_EQ(findControl(&histogram, 1306)->geometry(), QRect(14, 340, 542, 242));

    auto* slider = control<QSlider>(brightness, 1300);
    EXPECT_EQ(slider->minimum(), 0);
    EXPECT_EQ(slider->maximum(), 510);
    EXPECT_EQ(slider->value(), 255);
    EXPECT_EQ(slider->tickInterval(), 10);
    EXPECT_EQ(control<QLineEdit>(brightness, 1303)->text(), "0");

    auto* channels = control<QComboBox>(histogram, 1305);
    ASSERT_EQ(channels->count(), 4);
    EXPECT_EQ(channels->itemText(1), "RED    (R-COLOR)");
    EXPECT_EQ(channels->itemText(2), "GREEN  (G-COLOR)");
    EXPECT_EQ(channels->currentText(), "MASTER (Y-COLOR)");
    for (int id : {1305, 1306, 1302}) {
        EXPECT_TRUE(findControl(&histogram, id)->isEnabled());
        EXPECT_FALSE(findControl(&brightness, id)->isEnabled());
        EXPECT_TRUE(findControl(&brightness, id)->isHidden());
    }
}

// The After Image shows the adjustment at the initial value from the start, then follows
// every value-box edit and every slider release; keyboard moves, bad text and values out of
// range leave it as it was.
TEST_F(ImageAdjustDialogTest, ValueBoxAndSliderSteps) {
    ImageAdjustDialog dialog(request(1, 255));
    dialog.show();
    auto* box = control<QLineEdit>(dialog, 1303);
    auto* slider = control<QSlider>(dialog, 1300);
    QWidget* after = findControl(&dialog, 1304);
    QWidget* before = findControl(&dialog, 1301);
    const QPoint p(100, 100);
    EXPECT_EQ(pixelOf(after, p.x(), p.y()), pixelOf(before, p.x(), p.y()));

    box->setText("200");
    EXPECT_EQ(dialog.value(), 200);
    EXPECT_EQ(slider->value(), 455);
    const QColor at200 = pixelOf(after, p.x(), p.y());
    const RgbQuad expected =
        dialog.adjustment().AdjustedPreview().GetPixelColor(p.x(), 211 - p.y());
    EXPECT_EQ(at200, QColor(expected.red, expected.green, expected.blue));
    EXPECT_NE(at200, pixelOf(before, p.x(), p.y()));

    for (const char* bad : {"abc", "-", "99999999999", ""}) {
        box->setText(bad);
        EXPECT_EQ(dialog.value(), 200) << bad;
    }
    box->setText("300");  // out of range: the slider goes to its end, nothing is applied
    EXPECT_EQ(slider->value(), 510);
    EXPECT_EQ(pixelOf(after, p.x(), p.y()), at200);

    // Typing letters is refused at the keyboard.
    box->clear();
    QTest::keyClicks(box, "-1x2");
    EXPECT_EQ(box->text(), "-12");
    EXPECT_EQ(dialog.value(), -12);

    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_Left);
    QTest::keyClick(slider, Qt::Key_End);
    EXPECT_EQ(slider->value(), 510);
    EXPECT_EQ(dialog.value(), -12);
    EXPECT_EQ(box->text(), "-12");

    // Letting go of the slider applies its position.
    slider->setValue(255 + 40);
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(dialog.value(), 40);
    EXPECT_EQ(box->text(), "40");
    EXPECT_EQ(slider->value(), 295);

    // A click on the slider's track moves the thumb and applies where it ends up.
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = Qt::Horizontal;
    option.maximum = slider->maximum();
    option.sliderPosition = option.sliderValue = slider->value();
    option.tickPosition = slider->tickPosition();
    const QRect groove = slider->style()->subControlRect(QStyle::CC_Slider, &option,
                                                         QStyle::SC_SliderGroove, slider);
    QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(groove.right() - 4, groove.center().y()));
    EXPECT_GT(slider->value(), 295);
    EXPECT_EQ(dialog.value(), slider->value() - 255);
    EXPECT_EQ(box->text(), QString::number(dialog.value()));
}

// Contrast opens unchanged at 0 (value box and slider alike); the histogram kind opens
// stretched by luminance with the bars of that result.
TEST_F(ImageAdjustDialogTest, EachKindOpensAtItsInitialValue) {
    for (int kind = 1; kind <= 5; ++kind) {
        const int maximum = kind == 1 ? 255 : kind == 3 ? 180 : kind == 5 ? 500 : 100;
        ImageAdjustDialog dialog(request(kind, maximum));
        CxImage full, sample;
        ASSERT_TRUE(dialog.adjustment().AdjustFull(full));
        ASSERT_TRUE(SampleNearest(full, 262, 212, sample));
        test::ExpectSamePixels(dialog.adjustment().AdjustedPreview(), sample, "opening");
        if (kind == 2) test::ExpectSamePixels(full, dialog.adjustment().Original(), "contrast 0");
    }
}

// Bars in the selected channel's colours; the tallest bar reaches the top of the control.
// Changing the channel changes the bars but not the After Image.
TEST_F(ImageAdjustDialogTest, HistogramBarsFillTheControlInTheChannelColours) {
    ImageAdjustDialog dialog(request(5, 500));
    dialog.show();
    QWidget* bars = findControl(&dialog, 1306);
    QWidget* index = findControl(&dialog, 1302);
    QWidget* after = findControl(&dialog, 1304);
    const QImage afterBefore = after->grab().toImage();

    // In every channel the tallest bar reaches the top row, drawn in the channel's colour.
    ASSERT_GT(dialog.adjustment().LargestLevel(), 0);
    const int barWidth = 542 / 256;
    for (int channel = 0; channel < 4; ++channel) {
        const long* counts = dialog.adjustment().Levels(ImageAdjustment::Channel(channel));
        const int tallest = int(std::max_element(counts, counts + 256) - counts);
        control<QComboBox>(dialog, 1305)->setCurrentIndex(channel);
        const QImage chart = bars->grab().toImage();
        EXPECT_EQ(chart.pixelColor(tallest * barWidth, 0), LevelBars::barColour(channel, tallest))
            << channel;
        EXPECT_EQ(chart.pixelColor(tallest * barWidth, 241),
                  LevelBars::barColour(channel, tallest));
    }
    control<QComboBox>(dialog, 1305)->setCurrentIndex(1);  // red
    EXPECT_EQ(index->grab().toImage().pixelColor(200 * barWidth + 1, 5), QColor(200, 0, 0));
    control<QComboBox>(dialog, 1305)->setCurrentIndex(3);  // blue
    EXPECT_EQ(index->grab().toImage().pixelColor(17 * barWidth, 9), QColor(0, 0, 17));
    EXPECT_EQ(after->grab().toImage(), afterBefore);

    EXPECT_EQ(LevelBars::barTop(1000, 1000, 0, 242), 0);
    EXPECT_EQ(LevelBars::barTop(500, 1000, 0, 242), 121);
    EXPECT_EQ(LevelBars::barTop(0, 1000, 0, 242), 242);
}

TEST_F(ImageAdjustDialogTest, OkAsksAndSavesOnYesOnly) {
    {
        ImageAdjustDialog dialog(request(1, 255));
        control<QLineEdit>(dialog, 1303)->setText("-90");
        dialogs_->messageAnswers = {MessageAnswer::No};
        dialog.accept();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        ASSERT_EQ(dialogs_->messages(),
                  QStringList{QString("Do you want to save this file? - %1").arg(path_.c_str())});
        EXPECT_EQ(test::ReadBytes(path_), original_);
    }
    {
        ImageAdjustDialog dialog(request(1, 255));
        dialog.show();
        control<QLineEdit>(dialog, 1303)->setText("-90");
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(&dialog, &escape);
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        EXPECT_EQ(dialogs_->messages().size(), 1);
        EXPECT_EQ(test::ReadBytes(path_), original_);
    }
    ImageAdjustDialog dialog(request(1, 255));
    control<QLineEdit>(dialog, 1303)->setText("-90");
    CxImage expected;
    dialog.adjustment().AdjustFull(expected);
    expected.SetQuality(80);
    const std::string expectedPath = dir_ / "expected.jpg";
    ASSERT_TRUE(expected.SaveFile(expectedPath.c_str(), FormatJpeg));
    dialogs_->messageAnswers = {MessageAnswer::Yes};
    dialog.accept();
    EXPECT_EQ(dialogs_->messages().size(), 2);
    EXPECT_EQ(test::ReadBytes(path_), test::ReadBytes(expectedPath));
}

// A picture that turned out unreadable: Yes shows why nothing was saved, and the file stays.
TEST_F(ImageAdjustDialogTest, FailedSaveShowsTheReasonAndKeepsTheFile) {
    const std::vector<std::uint8_t> cut(original_.begin(), original_.begin() + 100);
    test::WriteBytes(path_, cut);
    ImageAdjustDialog dialog(request(4, 100));
    control<QLineEdit>(dialog, 1303)->setText("50");
    dialogs_->messageAnswers = {MessageAnswer::Yes};
    dialog.accept();
    const QStringList shown = dialogs_->messages();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_TRUE(shown[1].startsWith("The picture was not saved")) << shown[1].toStdString();
    EXPECT_TRUE(shown[1].contains(path_.c_str()));
    EXPECT_EQ(test::ReadBytes(path_), cut);
}

// A read-only picture is refused with a message that says so; a link is written through to
// the picture it names and stays a link.
TEST_F(ImageAdjustDialogTest, SaveRefusesAReadOnlyPictureAndWritesThroughALink) {
    auto saveAt = [&](const std::string& path) {
        ImageAdjustDialog::Request r = request(1, 255);
        r.path = path;
        ImageAdjustDialog dialog(r);
        control<QLineEdit>(dialog, 1303)->setText("60");
        dialogs_->messageAnswers = {MessageAnswer::Yes};
        dialog.accept();
    };
    ASSERT_EQ(::chmod(path_.c_str(), 0444), 0);
    saveAt(path_);
    ASSERT_EQ(dialogs_->messages().size(), 2);
    EXPECT_TRUE(dialogs_->messages()[1].contains("read-only"))
        << dialogs_->messages()[1].toStdString();
    EXPECT_EQ(test::ReadBytes(path_), original_);

    ASSERT_EQ(::chmod(path_.c_str(), 0644), 0);
    const std::string link = dir_ / "link.jpg";
    ASSERT_EQ(::symlink("picture.jpg", link.c_str()), 0);
    saveAt(link);
    EXPECT_EQ(dialogs_->messages().size(), 3);  // only the question
    struct stat entry {};
    ASSERT_EQ(::lstat(link.c_str(), &entry), 0);
    EXPECT_TRUE(S_ISLNK(entry.st_mode));
    EXPECT_NE(test::ReadBytes(path_), original_);
    CxImage saved;
    EXPECT_TRUE(saved.LoadFile(path_.c_str(), FormatJpeg));
    EXPECT_EQ(dir_.entries().size(), 2u);
}

}  // namespace
}  // namespace qelvo
