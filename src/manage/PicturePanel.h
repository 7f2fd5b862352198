#pragma once

#include "imaging/CxImage.h"

#include <QWidget>

#include <cstdint>
#include <string>

namespace qelvo {

// JPEG VIEW PANEL: the current picture stretched over the whole panel.  The panel takes
// no pointer input of its own (the window handles the loupe over it).
class PicturePanel : public QWidget {
    Q_OBJECT
public:
    explicit PicturePanel(QWidget* parent = nullptr);

    void setPicturePath(const std::string& path);
    const std::string& picturePath() const { return path_; }
    // While set the panel leaves its picture alone (the loupe draws over it).
    void setSuspended(bool on) { suspended_ = on; }

    // The current picture as loaded for the last paint (reloaded when the file changed).
    const CxImage& picture();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::string path_;
    bool suspended_ = false;
    // The decoded picture and the file state it came from.
    CxImage loaded_;
    std::string loadedPath_;
    std::int64_t loadedSize_ = -1;
    std::int64_t loadedModifiedNs_ = -1;
};

}  // namespace qelvo
