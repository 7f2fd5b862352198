#include "skin/SkinBitmaps.h"

#include <QHash>
#include <QString>
#include <mutex>

// The generated resource file lives in this static library; without an explicit
// initialisation the linker may drop it from programs that never name it.
static void initSkinResources() {
    Q_INIT_RESOURCE(skinart);
}

namespace qelvo {
namespace {

std::once_flag resourcesInitialised;

QImage loadResource(const QString& path) {
    std::call_once(resourcesInitialised, initSkinResources);
    QImage image(path);
    if (image.isNull()) return image;
    return image.convertToFormat(QImage::Format_RGB888);
}

}  // namespace

QImage skinBitmap(int id) {
    static std::mutex mutex;
    static QHash<int, QImage> cache;
    std::lock_guard lock(mutex);
    auto it = cache.constFind(id);
    if (it != cache.constEnd()) return *it;
    QImage image = loadResource(QStringLiteral(":/skin/%1.png").arg(id));
    if (!image.isNull()) cache.insert(id, image);
    return image;
}

QPixmap skinPixmap(int id) {
    const QImage image = skinBitmap(id);
    return image.isNull() ? QPixmap() : QPixmap::fromImage(image);
}

QIcon programIcon() {
    const QImage image = loadResource(QStringLiteral(":/skin/icon%1.png").arg(kProgramIconId));
    return image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image));
}

}  // namespace qelvo
