#include "ArtFonts.h"

#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QStringList>

namespace qelvo::art {

bool ArtFonts::hideInstalledFonts(QString& problem) {
    emptyConfiguration_.setFileTemplate(QDir::tempPath() + QStringLiteral("/skinart-XXXXXX.conf"));
    if (!emptyConfiguration_.open()) {
        problem = QStringLiteral("cannot write a font configuration in %1: %2")
                      .arg(QDir::tempPath(), emptyConfiguration_.errorString());
        return false;
    }
    const QByteArray empty =
        "<?xml version=\"1.0\"?>\n"
        "<!DOCTYPE fontconfig SYSTEM \"urn:fontconfig:fonts.dtd\">\n"
        "<fontconfig></fontconfig>\n";
    if (emptyConfiguration_.write(empty) != empty.size() || !emptyConfiguration_.flush()) {
        problem = QStringLiteral("cannot write %1: %2")
                      .arg(emptyConfiguration_.fileName(), emptyConfiguration_.errorString());
        return false;
    }
    qputenv("FONTCONFIG_FILE", QFile::encodeName(emptyConfiguration_.fileName()));
    return true;
}

bool ArtFonts::load(QString& problem) {
    struct Face {
        const char* file;
        const char* family;
    };
    static constexpr Face kFaces[] = {
        {"LiberationSans-Regular.ttf", "Liberation Sans"},
        {"LiberationSans-Bold.ttf", "Liberation Sans"},
        {"LiberationSansNarrow-Regular.ttf", "Liberation Sans Narrow"},
        {"LiberationSansNarrow-Bold.ttf", "Liberation Sans Narrow"},
    };
    for (const Face& face : kFaces) {
        const QString path = QDir(QString::fromLatin1(kFolder)).filePath(QLatin1String(face.file));
        if (!QFileInfo::exists(path)) {
            problem = QStringLiteral(
                          "the font file %1 is missing (install the package "
                          "fonts-liberation: scripts/setup)")
                          .arg(path);
            return false;
        }
        const int id = QFontDatabase::addApplicationFont(path);
        if (id < 0) {
            problem = QStringLiteral("the font file %1 cannot be read as a font").arg(path);
            return false;
        }
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        if (!families.contains(QLatin1String(face.family))) {
            problem =
                QStringLiteral("the font file %1 holds %2, not %3")
                    .arg(path, families.join(QStringLiteral(", ")), QLatin1String(face.family));
            return false;
        }
    }
    return true;
}

}  // namespace qelvo::art
