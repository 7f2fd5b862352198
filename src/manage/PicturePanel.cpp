#include "manage/PicturePanel.h"

#include "imaging/DrawScaled.h"

#include <QPainter>

#include <sys/stat.h>

namespace qelvo {

PicturePanel::PicturePanel(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PicturePanel::setPicturePath(const std::string& path) {
    path_ = path;
    update();
}

const CxImage& PicturePanel::picture() {
    struct stat info {};
    const bool exists =
        !path_.empty() && ::stat(path_.c_str(), &info) == 0 && S_ISREG(info.st_mode);
    if (!exists) {
        // A deleted or renamed picture draws nothing.
        loaded_.Clear();
        loadedPath_.clear();
        return loaded_;
    }
    const std::int64_t modified =
        static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    if (path_ != loadedPath_ || info.st_size != loadedSize_ || modified != loadedModifiedNs_) {
        if (!loaded_.LoadFile(path_.c_str(), FormatJpeg)) loaded_.Clear();
        loadedPath_ = path_;
        loadedSize_ = info.st_size;
        loadedModifiedNs_ = modified;
    }
    return loaded_;
}

void PicturePanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (suspended_) return;
    const CxImage& image = picture();
    if (!image.IsValid() || !DrawScaled(image, painter, rect()))
        painter.fillRect(rect(), Qt::black);
}

}  // namespace qelvo
