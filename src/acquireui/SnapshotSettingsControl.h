#pragma once

#include "picturefiles/PictureFile.h"

#include <QWidget>

#include <functional>

class QMenu;

namespace qelvo {

// How the device's snapshots are made, as one small control: "JPG", "PNG ×4" (format and
// frames averaged); a click opens a menu of formats and averages.  The values live where the
// window keeps them (the capture session, per device); this control only shows and sets them.
class SnapshotSettingsControl : public QWidget {
    Q_OBJECT
public:
    struct Access {
        std::function<PictureFormat()> format;
        std::function<void(PictureFormat)> setFormat;
        std::function<int()> average;
        std::function<void(int)> setAverage;
    };
    static constexpr int kAverages[] = {1, 2, 4, 8, 16, 32};

    explicit SnapshotSettingsControl(Access access, QWidget* parent = nullptr);

    QString text() const;
    // The menu the control opens (the caller owns it; tests run its actions).
    QMenu* buildMenu();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    Access access_;
    bool hover_ = false;
};

}  // namespace qelvo
