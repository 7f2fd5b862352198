// Paints every skin picture of the program into a folder, with the resource file that
// embeds them: skinart <output folder>.  Runs at build time; the output is deterministic.
// skinart --preview <art folder> <output folder> draws the windows from the pictures.
// skinart --desktop-icons <output folder> paints the program icon for the desktop into a
// hicolor theme tree (PNG at the usual sizes and SVG).

#include "ArtFonts.h"
#include "Backgrounds.h"
#include "Buttons.h"
#include "Preview.h"
#include "skin/SkinTable.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QSaveFile>
#include <QSvgGenerator>
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

// <out>/hicolor/<N>x<N>/apps/qelvo-tarnel.png for each size, <out>/hicolor/scalable/apps/
// qelvo-tarnel.svg drawn by the same painting code.
int writeDesktopIcons(const QDir& out) {
    const QString name = QStringLiteral("qelvo-tarnel");
    for (const int side : {48, 64, 128, 256}) {
        const QString dir = out.filePath(QStringLiteral("hicolor/%1x%1/apps").arg(side));
        if (!QDir().mkpath(dir) ||
            !save(qelvo::art::paintDesktopIcon(side), QDir(dir).filePath(name + ".png"))) {
            std::fprintf(stderr, "skinart: cannot write the %dx%d icon into %s\n", side, side,
                         qPrintable(dir));
            return 1;
        }
    }
    const QString dir = out.filePath(QStringLiteral("hicolor/scalable/apps"));
    const QString svgPath = QDir(dir).filePath(name + ".svg");
    const QString partPath = svgPath + QStringLiteral(".part");
    if (!QDir().mkpath(dir)) return 1;
    {
        QSvgGenerator svg;
        svg.setFileName(partPath);
        svg.setSize(QSize(256, 256));
        svg.setViewBox(QRect(0, 0, 256, 256));
        svg.setTitle(QStringLiteral("QELVO_TARNEL"));
        QPainter p;
        if (!p.begin(&svg)) return 1;
        p.setRenderHint(QPainter::Antialiasing, true);
        qelvo::art::drawProgramIcon(p, 256);
        p.end();
    }
    // Renamed into place only when whole, like the PNG files.
    QFile::remove(svgPath);
    if (!QFile::rename(partPath, svgPath)) {
        std::fprintf(stderr, "skinart: cannot write %s\n", qPrintable(svgPath));
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qelvo::art::ArtFonts fonts;
    QString problem;
    if (!fonts.hideInstalledFonts(problem)) {
        std::fprintf(stderr, "skinart: %s\n", qPrintable(problem));
        return 1;
    }
    QGuiApplication app(argc, argv);
    if (!qelvo::art::ArtFonts::load(problem)) {
        std::fprintf(stderr, "skinart: %s\n", qPrintable(problem));
        return 1;
    }
    if (argc == 4 && QString::fromLocal8Bit(argv[1]) == QStringLiteral("--preview")) {
        const QDir art(QString::fromLocal8Bit(argv[2])), out(QString::fromLocal8Bit(argv[3]));
        return QDir().mkpath(out.path()) && qelvo::art::writePreviews(art, out) ? 0 : 1;
    }
    if (argc == 3 && QString::fromLocal8Bit(argv[1]) == QStringLiteral("--desktop-icons"))
        return writeDesktopIcons(QDir(QString::fromLocal8Bit(argv[2])));
    if (argc != 2) {
        std::fprintf(
            stderr,
            "usage: skinart <output folder> | --preview <art> <out> | --desktop-icons <out>\n");
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
