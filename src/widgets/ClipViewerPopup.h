#pragma once

#include <QDialog>
#include <QEvent>
#include <QRect>

#include <cstdint>
#include <vector>

namespace qelvo {

class CxImage;
class LiveTarget;
class SimpleButton;

// Messages the popup sends (synchronously) to its owner window.
inline constexpr QEvent::Type kFullScreenClosedMessage = static_cast<QEvent::Type>(0x8003);
inline constexpr QEvent::Type kPopupSaveMessage = static_cast<QEvent::Type>(0x8004);

// A borderless, topmost popup covering one whole monitor that shows the live video, a movie
// or one picture.  Exit (or Escape) and a double click close it; Save Jpg asks the owner to
// save.  In live mode (notify-parent flag) the owner draws into liveSurface() or places a
// movie's video window in it, and is told when the popup closes.
class ClipViewerPopup : public QDialog {
    Q_OBJECT
public:
    static constexpr int kInsetId = 1101;
    static constexpr int kExitId = 1102;
    static constexpr int kSaveId = 1103;
    static constexpr int kMovieCloseDelayMs = 1000;

    // `owner` receives the messages; the popup is a top-level window owned by it.
    explicit ClipViewerPopup(QWidget* owner);
    ~ClipViewerPopup() override;

    void setNotifyParent(bool on) { notifyParent_ = on; }
    bool notifyParent() const { return notifyParent_; }
    void setMovieStyle(bool on) { movieStyle_ = on; }
    bool movieStyle() const { return movieStyle_; }
    void setInset(bool on) { inset_ = on; }
    bool inset() const { return inset_; }

    // Picture mode contents: a copy of a frame (bottom-up rows padded to 4 bytes), or a
    // picture the caller keeps alive while the popup runs.  The frame copy wins.
    void setFrameCopy(std::vector<std::uint8_t> bytes, int width, int height, int bitsPerPixel);
    void setPicture(const CxImage* picture) { picture_ = picture; }

    // Chooses the monitor, places the popup over it topmost, lays out its buttons and shows
    // it: open() returns at once (live uses), runModal() when the popup has closed.
    void open() override;
    int runModal();

    // The area live frames are drawn into (the whole popup, under the buttons).
    LiveTarget* liveSurface() const { return surface_; }
    // The monitor the popup covers.
    QRect monitorArea() const { return monitor_; }

    // The last of `devices` containing `corner`; 0 when none does.
    static int chooseMonitor(const std::vector<QRect>& devices, const QPoint& corner);

    // What the buttons and keys do (also reachable by tests).
    void exitClicked();
    void saveClicked();

    // Every way the popup closes ends here.  In live mode the owner is told first (once per
    // opening), so it takes its live picture or movie back whatever closed the popup.
    void done(int result) override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // Closing by the window manager (a close button, Alt+F4) acts as Exit.
    void closeEvent(QCloseEvent* event) override;

private:
    void tellOwnerClosed();

    void placeOnMonitor();
    void layOut();
    void tellOwner(QEvent::Type type);

    QWidget* owner_;
    bool notifyParent_ = false;
    bool movieStyle_ = false;
    bool inset_ = true;
    bool ownerTold_ = false;  // the full-screen-closed message went out for this opening
    bool closing_ = false;    // Exit is under way (a movie popup waits before it closes)
    std::vector<std::uint8_t> frame_;
    int frameWidth_ = 0, frameHeight_ = 0, frameBits_ = 0;
    const CxImage* picture_ = nullptr;
    QRect monitor_;
    LiveTarget* surface_;
    SimpleButton* insetButton_;
    SimpleButton* exitButton_;
    SimpleButton* saveButton_;
};

}  // namespace qelvo
