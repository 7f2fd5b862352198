#include "skin/SkinBitmaps.h"
#include "skin/SkinTable.h"

#include <gtest/gtest.h>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

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
    QTemporaryDir first, second;
    ASSERT_TRUE(first.isValid() && second.isValid());
    ASSERT_TRUE(runGenerator({first.path()}));
    ASSERT_TRUE(runGenerator({second.path()}));

    QStringList names = QDir(first.path()).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(names, QDir(second.path()).entryList(QDir::Files, QDir::Name));
    EXPECT_TRUE(names.contains("skin.qrc"));
    EXPECT_TRUE(names.contains("icon128.png"));
    for (const QString& name : names)
        EXPECT_EQ(digest(QDir(first.path()).filePath(name)),
                  digest(QDir(second.path()).filePath(name)))
            << qPrintable(name);

    // The pictures compiled into the program are the ones the generator paints now.
    for (const SkinBitmapSpec& sheet : skinBitmapSpecs()) {
        const QImage painted(QDir(first.path()).filePath(QStringLiteral("%1.png").arg(sheet.id)));
        ASSERT_FALSE(painted.isNull()) << sheet.id;
        EXPECT_EQ(painted.convertToFormat(QImage::Format_RGB888), skinBitmap(sheet.id)) << sheet.id;
    }
}

TEST(SkinGeneratorTest, RefusesAMissingOutputArgument) {
    EXPECT_FALSE(runGenerator({}));
}

}  // namespace
}  // namespace qelvo
