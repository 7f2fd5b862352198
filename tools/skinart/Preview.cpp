#include "Preview.h"

#include "ArtKit.h"
#include "skin/SkinTable.h"

#include <QImage>
#include <QPainter>

namespace qelvo::art {
namespace {

QImage load(const QDir& art, int id) {
    return QImage(art.filePath(QStringLiteral("%1.png").arg(id)));
}

QImage window(const QDir& art, const WindowSkin& w, int frame) {
    QImage image = load(art, w.backgroundId).convertToFormat(QImage::Format_RGB888);
    QPainter p(&image);
    for (const SkinnedControl& c : w.skinned) {
        const QImage strip = load(art, c.bitmapId);
        const int fw = strip.width() / c.frames;
        const int f = frame < c.frames ? frame : 0;
        p.drawImage(c.rect.topLeft(), strip,
                    QRect(f * fw, 0, std::min(fw, c.rect.width()),
                          std::min(strip.height(), c.rect.height())));
    }
    return image;
}

}  // namespace

bool writePreviews(const QDir& art, const QDir& out) {
    bool ok = true;
    for (int frame = 0; frame < 3; ++frame) {
        const QString suffix = QStringLiteral("-frame%1.png").arg(frame);
        ok &= window(art, launcherSkin(), frame).save(out.filePath("launcher" + suffix));
        ok &= window(art, imageManagementSkin(), frame).save(out.filePath("manage" + suffix));
        for (int layout : {1, 2, 4})
            ok &= window(art, multiViewSkin(layout), frame)
                      .save(out.filePath(QStringLiteral("multiview%1").arg(layout) + suffix));
    }
    // Contact sheet: every strip at 2x on a neutral ground.
    QImage sheet = newCanvas(1000, 1900, QColor(0x30, 0x30, 0x30));
    QPainter p(&sheet);
    int x = 10, y = 10, rowHeight = 0;
    for (const SkinBitmapSpec& s : skinBitmapSpecs()) {
        if (s.frames == 0) continue;
        const QImage strip = load(art, s.id);
        const QSize size = strip.size() * 2;
        if (x + size.width() > 990) {
            x = 10;
            y += rowHeight + 10;
            rowHeight = 0;
        }
        p.drawImage(QRect(QPoint(x, y), size), strip);
        x += size.width() + 10;
        rowHeight = std::max(rowHeight, size.height());
    }
    ok &= sheet.save(out.filePath("strips.png"));
    return ok;
}

}  // namespace qelvo::art
