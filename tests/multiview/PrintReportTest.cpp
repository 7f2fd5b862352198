#include "PrintToPdf.h"
#include "multiview/PenLayers.h"
#include "multiview/PrintReport.h"
#include "support/TempFolder.h"
#include "support/TestBitmaps.h"

#include <gtest/gtest.h>

#include <QPainter>

#include <sys/resource.h>

#include <csignal>
#include <filesystem>

namespace qelvo {
namespace {

class PrintReportTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto scripted = std::make_unique<test::PrintToPdfDialogs>();
        dialogs = scripted.get();
        dialogs->pdfPath = folder / "report.pdf";
        previous = setDialogs(std::move(scripted));
    }
    void TearDown() override { setDialogs(std::move(previous)); }

    static std::array<PanePicture, 4> panes() {
        const QColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow};
        std::array<PanePicture, 4> p;
        for (int i = 0; i < 4; ++i) p[i].frame = test::solidFrame(64, 48, colours[i]);
        return p;
    }
    // Colour of the page at device pixel (x, y) of a `deviceDpi` report rendered at `dpi`.
    static QColor pageAt(const QImage& page, int x, int y, int deviceDpi, int dpi) {
        return page.pixelColor(x * dpi / deviceDpi, y * dpi / deviceDpi);
    }
    static QPoint centre(int pane, double scale = 1.0) {
        const QPoint c = PrintReport::paneRect(pane).center();
        return QPoint(int(c.x() * scale), int(c.y() * scale));
    }

    test::TempFolder folder;
    test::PrintToPdfDialogs* dialogs = nullptr;
    std::unique_ptr<Dialogs> previous;
};

TEST_F(PrintReportTest, CancelledDialogSaysSoAndPrintsNothing) {
    EXPECT_FALSE(PrintReport::print(nullptr, 4, panes(), nullptr));
    EXPECT_EQ(dialogs->messages(),
              QStringList{"You cannot print this picture\nPlease, check your setting..."});
    EXPECT_FALSE(std::filesystem::exists(dialogs->pdfPath));
}

TEST_F(PrintReportTest, DualPrintsTheUpperRowWithStrokesOnlyInPenMode) {
    PenLayers pen;
    pen.togglePenMode();  // black strokes
    for (int y = 200; y < 280; ++y) pen.stroke(1, {280, y}, {360, y}, 1);
    dialogs->printAnswers = {true, true};
    ASSERT_TRUE(PrintReport::print(nullptr, 2, panes(), nullptr));
    QImage page = test::renderFirstPage(dialogs->pdfPath, 60);
    ASSERT_FALSE(page.isNull());
    // A4 at 600 dpi is 4960 device pixels wide: the report is enlarged to that width.
    const double scale = 4960.0 / PrintReport::kWidth;
    auto at = [&](int pane) {
        const QPoint c = centre(pane, scale);
        return pageAt(page, c.x(), c.y(), 600, 60);
    };
    EXPECT_TRUE(test::near(at(0), Qt::red));
    EXPECT_TRUE(test::near(at(1), Qt::green));
    // The lower row stays blank although panes 3 and 4 hold pictures.
    EXPECT_TRUE(test::near(at(2), Qt::white));
    EXPECT_TRUE(test::near(at(3), Qt::white));
    // The title's ink lies in its line at the top.
    bool ink = false;
    for (int x = 10; x < 200 && !ink; ++x)
        for (int y = 10; y < 20 && !ink; ++y) ink = page.pixelColor(x, y).lightness() < 128;
    EXPECT_TRUE(ink);

    ASSERT_TRUE(PrintReport::print(nullptr, 2, panes(), &pen));
    page = test::renderFirstPage(dialogs->pdfPath, 60);
    EXPECT_TRUE(test::near(at(1), Qt::black));
    EXPECT_TRUE(test::near(at(0), Qt::red));
}

TEST_F(PrintReportTest, A300DpiPageGetsTheWholeReportScaledDown) {
    dialogs->resolution = 300;
    dialogs->printAnswers = {true};
    ASSERT_TRUE(PrintReport::print(nullptr, 4, panes(), nullptr));
    const QImage page = test::renderFirstPage(dialogs->pdfPath, 30);
    ASSERT_FALSE(page.isNull());
    // A4 at 300 dpi is 2480 device pixels wide: the 4040-wide report is scaled to fit it.
    const double scale = 2480.0 / PrintReport::kWidth;
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow};
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(test::near(pageAt(page, centre(i, scale).x(), centre(i, scale).y(), 300, 30),
                               colours[i]))
            << "pane " << i;
}

TEST_F(PrintReportTest, A1200DpiPageGetsTheReportEnlargedToItsWidth) {
    dialogs->resolution = 1200;
    dialogs->printAnswers = {true};
    ASSERT_TRUE(PrintReport::print(nullptr, 4, panes(), nullptr));
    const QImage page = test::renderFirstPage(dialogs->pdfPath, 30);
    ASSERT_FALSE(page.isNull());
    // A4 at 1200 dpi is 9921 x 14031 device pixels: the width decides the scale.
    const double scale = 9921.0 / PrintReport::kWidth;
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow};
    for (int i = 0; i < 4; ++i) {
        const QRect r = PrintReport::paneRect(i);
        // Near the far corner of each picture, which lies past the unscaled report.
        const QPoint p(int((r.right() - 40) * scale), int((r.bottom() - 40) * scale));
        EXPECT_TRUE(test::near(pageAt(page, p.x(), p.y(), 1200, 30), colours[i])) << "pane " << i;
    }
    // Both ways, keeping proportions: the tighter side decides.
    EXPECT_DOUBLE_EQ(PrintReport::fitScale(QSize(4960, 7016)), 4960.0 / PrintReport::kWidth);
    EXPECT_DOUBLE_EQ(PrintReport::fitScale(QSize(9000, 5970)), 5970.0 / PrintReport::kHeight);
}

TEST_F(PrintReportTest, AnUnwritablePdfIsReported) {
    dialogs->pdfPath = folder / "missing/report.pdf";
    dialogs->printAnswers = {true};
    EXPECT_FALSE(PrintReport::print(nullptr, 1, panes(), nullptr));
    ASSERT_EQ(dialogs->messages().size(), 1);
    EXPECT_TRUE(dialogs->messages()[0].contains("could not be printed"));

    // A disk that fills up while the page is written: files may not grow past 4 KiB.
    dialogs->pdfPath = folder / "report.pdf";
    dialogs->printAnswers = {true};
    rlimit previous{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = previous;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool printed = PrintReport::print(nullptr, 1, panes(), nullptr);
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(printed);
    ASSERT_EQ(dialogs->messages().size(), 2);
    EXPECT_TRUE(dialogs->messages()[1].contains("could not be printed"));
}

}  // namespace
}  // namespace qelvo
