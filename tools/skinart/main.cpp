// Paints every skin picture of the program into a folder, with the resource file that
// embeds them: skinart <output folder>.  Runs at build time; the output is deterministic.
// skinart --preview <art folder> <output folder> draws the windows from the pictures.

#include "Backgrounds.h"
#include "Buttons.h"
#include "Preview.h"
#include "skin/SkinTable.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QSaveFile>
#include <QTextStream>
#include <cstdio>

namespace {

bool save(const QImage& image, const QString& path) {
    // Written whole or not at all, so an interrupted build never leaves half a picture.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (!image.save(&file, "PNG")) return false;
    return file.commit();
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc == 4 && QString::fromLocal8Bit(argv[1]) == QStringLiteral("--preview")) {
        const QDir art(QString::fromLocal8Bit(argv[2])), out(QString::fromLocal8Bit(argv[3]));
        return QDir().mkpath(out.path()) && qelvo::art::writePreviews(art, out) ? 0 : 1;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: skinart <output folder> | --preview <art> <out>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(out.path())) {
        std::fprintf(stderr, "skinart: cannot create %s\n", argv[1]);
        return 1;
    }

    QStringList files;
    for (const qelvo::SkinBitmapSpec& sheet : qelvo::skinBitmapSpecs()) {
        QImage image = sheet.frames == 0 ? qelvo::art::paintBackground(sheet.id)
                                         : qelvo::art::paintStrip(sheet.id);
        if (image.size() != QSize(sheet.width, sheet.height)) {
            std::fprintf(stderr, "skinart: picture %d painted at %dx%d, table says %dx%d\n",
                         sheet.id, image.width(), image.height(), sheet.width, sheet.height);
            return 1;
        }
        image = image.convertToFormat(QImage::Format_RGB888);
        const QString name = QStringLiteral("%1.png").arg(sheet.id);
        if (!save(image, out.filePath(name))) {
            std::fprintf(stderr, "skinart: cannot write %s\n", qPrintable(out.filePath(name)));
            return 1;
        }
        files << name;
    }
    const QString iconName = QStringLiteral("icon128.png");
    if (!save(qelvo::art::paintProgramIcon(64), out.filePath(iconName))) return 1;
    files << iconName;

    QSaveFile qrc(out.filePath(QStringLiteral("skin.qrc")));
    if (!qrc.open(QIODevice::WriteOnly)) return 1;
    QTextStream s(&qrc);
    s << "<RCC>\n  <qresource prefix=\"/skin\">\n";
    for (const QString& f : files) s << "    <file>" << f << "</file>\n";
    s << "  </qresource>\n</RCC>\n";
    s.flush();
    return qrc.commit() ? 0 : 1;
}
