#include "acquireui/WindowFocusAids.h"

#include "acquireui/FocusAidsPanel.h"

namespace qelvo {

WindowFocusAids::WindowFocusAids(QWidget* window, FocusFrameSource source, const QRect& panelRect,
                                 const QRect& switchRect, std::string registryRoot)
    : QObject(window) {
    controller_ = new FocusAidsController(std::move(source), std::move(registryRoot), this);
    panel_ = new FocusAidsPanel(*controller_, window);
    panel_->setGeometry(panelRect);
    switch_ = new FocusAidsSwitch(*controller_, window);
    switch_->setGeometry(switchRect);
    connect(controller_, &FocusAidsController::settingsChanged, this, &WindowFocusAids::place);
    place();
}

void WindowFocusAids::setLiveShown(bool shown) {
    liveShown_ = shown;
    place();
}

bool WindowFocusAids::panelShown() const {
    return liveShown_ && controller_->isOn();
}

void WindowFocusAids::place() {
    const bool was = panel_->isVisibleTo(panel_->parentWidget());
    switch_->setVisible(liveShown_);
    panel_->setVisible(panelShown());
    if (panelShown()) panel_->raise();
    if (was != panelShown()) emit panelShownChanged();
}

}  // namespace qelvo
