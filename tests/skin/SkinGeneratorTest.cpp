#include "skin/SkinBitmaps.h"
#include "skin/SkinTable.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QSvgRenderer>

#include <cstdlib>

namespace qelvo {
namespace {

bool runGenerator(const QStringList& arguments) {
    QProcess tool;
    tool.start(QStringLiteral(QELVO_SKINART_PATH), arguments);
    return tool.waitForFinished(120000) && tool.exitStatus() == QProcess::NormalExit &&
           tool.exitCode() == 0;
}

QByteArray digest(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

TEST(SkinGeneratorTest, PaintsTheSameFilesEveryRunAndTheProgramEmbedsThem) {
    const test::TempFolder firstRun, secondRun;
    const QDir first(QString::fromStdString(firstRun.path()));
    const QDir second(QString::fromStdString(secondRun.path()));
    ASSERT_TRUE(runGenerator({first.path()}));
    ASSERT_TRUE(runGenerator({second.path()}));

    QStringList names = first.entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(names, second.entryList(QDir::Files, QDir::Name));
    EXPECT_TRUE(names.contains("skin.qrc"));
    EXPECT_TRUE(names.contains("icon128.png"));
    for (const QString& name : names)
        EXPECT_EQ(digest(first.filePath(name)), digest(second.filePath(name))) << qPrintable(name);

    // The pictures compiled into the program are the ones the generator paints now.
    for (const SkinBitmapSpec& sheet : skinBitmapSpecs()) {
        const QImage painted(first.filePath(QStringLiteral("%1.png").arg(sheet.id)));
        ASSERT_FALSE(painted.isNull()) << sheet.id;
        EXPECT_EQ(painted.convertToFormat(QImage::Format_RGB888), skinBitmap(sheet.id)) << sheet.id;
    }
}

TEST(SkinGeneratorTest, DesktopIconsAtEverySizeAndAsAnSvgThatDrawsTheSamePicture) {
    const test::TempFolder out;
    const QString outPath = QString::fromStdString(out.path());
    ASSERT_TRUE(runGenerator({QStringLiteral("--desktop-icons"), outPath}));
    const QDir hicolor(QDir(outPath).filePath(QStringLiteral("hicolor")));
    QImage largest;
    for (const int side : {48, 64, 128, 256}) {
        const QImage icon(
            hicolor.filePath(QStringLiteral("%1x%1/apps/qelvo-tarnel.png").arg(side)));
        ASSERT_EQ(icon.size(), QSize(side, side)) << side;
        // Rounded corners show the desktop through them; the middle is the opaque lens.
        EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0) << side;
        EXPECT_EQ(qAlpha(icon.pixel(side / 2, side / 2)), 255) << side;
        largest = icon;
    }

    QSvgRenderer svg(hicolor.filePath(QStringLiteral("scalable/apps/qelvo-tarnel.svg")));
    ASSERT_TRUE(svg.isValid());
    QImage drawn(256, 256, QImage::Format_ARGB32_Premultiplied);
    drawn.fill(Qt::transparent);
    QPainter p(&drawn);
    svg.render(&p);
    p.end();
    const QImage a = largest.convertToFormat(QImage::Format_ARGB32);
    const QImage b = drawn.convertToFormat(QImage::Format_ARGB32);
    long difference = 0;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const QRgb pa = a.pixel(x, y), pb = b.pixel(x, y);
            difference += std::abs(qRed(pa) - qRed(pb)) + std::abs(qGreen(pa) - qGreen(pb)) +
                          std::abs(qBlue(pa) - qBlue(pb)) + std::abs(qAlpha(pa) - qAlpha(pb));
        }
    // Edges are smoothed a little differently; a lost gradient or a misplaced lens is not.
    EXPECT_LT(difference / (256.0 * 256.0 * 4), 3.0);
}

TEST(SkinGeneratorTest, RefusesAMissingOutputArgument) {
    EXPECT_FALSE(runGenerator({}));
}

}  // namespace
}  // namespace qelvo
