#pragma once

#include "desktop/LiveTarget.h"

#include <QColor>
#include <QFont>

#include <cstdint>
#include <string>

namespace qelvo {

class ThumbnailCache;

// One thumbnail of the library strip (CLIP #1 ... CLIP #8): the picture of its slot
// stretched over the button with the file's label below it.  It is also a live target:
// a device's still stream draws into CLIP #1, and that frame shows until the strip is
// redrawn.
class ThumbnailButton : public LiveTarget {
    Q_OBJECT
public:
    static constexpr int kLabelHeight = 20;
    static constexpr int kPictureBottomRaise = 22;
    static inline const QColor kLabelColour{10, 10, 10};

    ThumbnailButton(int index, ThumbnailCache& cache, QWidget* parent = nullptr);

    int index() const { return index_; }
    // The slot's file: its full path and bare name; an empty path shows nothing.
    void setFile(const std::string& path, const std::string& name);
    const std::string& path() const { return path_; }
    const std::string& label() const { return label_; }

    // Marks the thumbnail as part of the strip's selection (a frame in the accent colour).
    void setSelected(bool selected);
    bool selected() const { return selected_; }

    // Forgets any live frame and repaints the slot's picture.
    void redraw();

    // Where the picture and the label go inside a button of `size`.
    static QRect pictureRect(const QSize& size);
    static QRect labelRect(const QSize& size);
    static QFont labelFont();

signals:
    // `modifiers`: Ctrl and Shift choose how the click selects (see StripSelection).
    void clicked(int index, Qt::KeyboardModifiers modifiers);
    void doubleClicked(int index);
    void menuRequested(int index, const QPoint& globalPosition);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    int index_;
    ThumbnailCache& cache_;
    std::string path_;
    std::string label_;
    std::uint64_t framesAtRedraw_ = 0;
    bool pressed_ = false;
    bool selected_ = false;
};

}  // namespace qelvo
