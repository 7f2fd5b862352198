#pragma once

#include "manage/DecodedPictureCache.h"

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <string>

namespace qelvo {

// JPEG VIEW PANEL: the current picture stretched over the whole panel, or the last view a
// zoom, pan or loupe command drew into it.  Such a view stays until the panel is redrawn
// (another picture, fit, a tool rewrote the file) or hidden, as drawing on a window
// surface would.  The panel takes no pointer input of its own (the window handles the
// loupe over it).
class PicturePanel : public QWidget {
    Q_OBJECT
public:
    explicit PicturePanel(QWidget* parent = nullptr);

    // A new current picture: the panel draws it scaled to fit at the next paint.
    void setPicturePath(const std::string& path);
    const std::string& picturePath() const { return path_; }

    // Drops any drawn view and repaints the picture scaled to fit, at once.
    void redraw();
    // Shows `view` (panel-sized) until the next redraw, at once.
    void showView(const QImage& view);
    bool showsView() const { return !view_.isNull(); }
    // What the panel shows now (tests, screenshots).
    QImage shownImage();

    // The current picture, decoded once per file state; empty when it cannot be read.
    const CxImage& picture();
    DecodedPictureCache& pictures() { return pictures_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    const QImage& fitted();

    std::string path_;
    DecodedPictureCache pictures_;
    QImage view_;
    // The fitted drawing of the cached picture, reused while the picture and size stay.
    QImage fitted_;
    std::uint64_t fittedGeneration_ = ~std::uint64_t{0};
    QSize fittedSize_;
};

}  // namespace qelvo
