#pragma once

#include "acquireui/FocusAidsController.h"

#include <QObject>
#include <QRect>

class QWidget;

namespace qelvo {

class FocusAidsPanel;
class FocusAidsSwitch;
class LiveTarget;

// A working window's focus aids: the controller reading live frames from `source`, its panel
// at `panelRect` (shown while the aids are on and the window shows live pictures) and the
// switch at `switchRect`.  `panelShown` reports whether the panel is up, so the window can
// title the frame it lies in.
class WindowFocusAids : public QObject {
    Q_OBJECT
public:
    WindowFocusAids(QWidget* window, FocusFrameSource source, const QRect& panelRect,
                    const QRect& switchRect, std::string registryRoot = {});

    FocusAidsController& controller() { return *controller_; }
    FocusAidsPanel& panel() { return *panel_; }
    FocusAidsSwitch& aidsSwitch() { return *switch_; }

    // Whether the window shows live pictures now (capture mode); the aids hide otherwise.
    void setLiveShown(bool shown);
    bool panelShown() const;
    void attachLive(LiveTarget* target) { controller_->attachLive(target); }
    void detachLive(LiveTarget* target) { controller_->detachLive(target); }

signals:
    void panelShownChanged();

private:
    void place();

    FocusAidsController* controller_;
    FocusAidsPanel* panel_;
    FocusAidsSwitch* switch_;
    bool liveShown_ = true;
};

}  // namespace qelvo
