#pragma once

#include <QAbstractButton>
#include <QEvent>
#include <QPixmap>
#include <QPoint>
#include <functional>

namespace qelvo {

// The pen-stroke message: sent (synchronously) to a button's parent in pointer-report mode.
inline constexpr QEvent::Type kPenStrokeEvent = QEvent::Type(0x8005);

class SimpleButton;

class PenStrokeEvent : public QEvent {
public:
    PenStrokeEvent(SimpleButton* sender, quint32 packedPosition)
        : QEvent(kPenStrokeEvent), sender_(sender), packed_(packedPosition) {}
    SimpleButton* sender() const { return sender_; }
    // (x << 16) | (y & 0xFFFF), in the sender's client coordinates.
    quint32 packedPosition() const { return packed_; }
    int x() const { return int(qint16(packed_ >> 16)); }
    int y() const { return int(qint16(packed_ & 0xFFFF)); }

private:
    SimpleButton* sender_;
    quint32 packed_;
};

// A push button drawn from one horizontal strip of equal-width frames:
// 1 frame = fixed picture, 2 = off/on (chosen by the state flag), 3 = normal/pressed/hover.
// In pointer-report mode, left-button drags over it are reported to the parent as pen
// strokes, which turns the button into a drawing surface.
class SimpleButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit SimpleButton(QWidget* parent = nullptr);

    // Loads strip `bitmapId` from the skin pictures, sizes the button to one frame at its
    // current position and raises it.  Reloading the id already loaded changes nothing.
    // Returns 1 when a strip was loaded, 0 otherwise.
    int LoadSkin(int bitmapId, int frames);

    bool isLoaded() const { return loaded_; }
    int bitmapId() const { return bitmapId_; }
    int frames() const { return frames_; }
    int frameWidth() const { return frameWidth_; }
    int frameHeight() const { return frameHeight_; }
    // The frame the next paint shows.
    int currentFrame() const;

    // Two-frame buttons show their "on" frame while this is set.  Repaints.
    void setStateFlag(bool on);
    bool stateFlag() const { return stateFlag_; }

    void setPointerReportMode(bool on) { pointerReport_ = on; }
    bool pointerReportMode() const { return pointerReport_; }

    bool isHovered() const { return hover_; }
    // Updated on every pointer move over the button, in any mode.
    QPoint lastPointerPosition() const { return lastPos_; }
    // (-1, -1) means none; set after each left press and release in pointer-report mode.
    QPoint previousPointerPosition() const { return previousPos_; }

    // Windows that paint a button themselves (the multi-view panes) install a painter;
    // it replaces the strip drawing.
    void setOwnerDraw(std::function<void(QPainter&)> painter);

signals:
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

private:
    void startHover();
    void reportPointer(QMouseEvent* event);

    QPixmap strip_;
    bool loaded_ = false;
    int bitmapId_ = 0;
    int frames_ = 1;
    int frameWidth_ = 0;
    int frameHeight_ = 0;
    bool hover_ = false;
    bool tracking_ = false;
    bool stateFlag_ = false;
    bool pointerReport_ = false;
    QPoint lastPos_{0, 0};
    QPoint previousPos_{-1, -1};
    std::function<void(QPainter&)> ownerDraw_;
};

}  // namespace qelvo
