#pragma once

#include "acquireui/MenuValueControl.h"
#include "picturefiles/PictureFile.h"

#include <functional>

namespace qelvo {

// How the device's snapshots are made, as one small control: "JPG", "PNG ×4" (format and
// frames averaged); a click opens a menu of formats and averages.  The values live where the
// window keeps them (the capture session, per device); this control only shows and sets them.
class SnapshotSettingsControl : public MenuValueControl {
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
    QMenu* buildMenu() override;

protected:
    QString valueText() const override;

private:
    Access access_;
};

}  // namespace qelvo
