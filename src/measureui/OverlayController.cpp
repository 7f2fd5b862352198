#include "measureui/OverlayController.h"

#include "desktop/LiveTarget.h"
#include "measureui/ActiveObjectives.h"
#include "system/RegistryStore.h"

#include <QPainter>

namespace qelvo {
namespace {

constexpr const char* kNames[] = {"Crosshair", "Grid", "Reticle", "ScaleBar"};

bool& field(OverlaySettings& s, int kind) {
    switch (kind) {
        case OverlayController::Crosshair:
            return s.crosshair;
        case OverlayController::Grid:
            return s.grid;
        case OverlayController::Reticle:
            return s.reticle;
        default:
            return s.scaleBar;
    }
}

RegistryStore storeAt(const std::string& root) {
    return root.empty() ? RegistryStore() : RegistryStore(root);
}

}  // namespace

OverlaySettings loadOverlaySettings(const std::string& root) {
    OverlaySettings settings;
    settings.scaleBar = true;  // a scale bar until the operator turns it off
    const std::optional<RegistryKey> key = storeAt(root).openKey(OverlayController::kOverlayKey);
    if (!key) return settings;
    for (int kind = 0; kind < 4; ++kind) {
        const RegistryValue<std::uint32_t> value = key->readNumber(kNames[kind]);
        // Anything but a stored 0 or 1 keeps the default.
        if (value.ok() && value.value <= 1) field(settings, kind) = value.value == 1;
    }
    return settings;
}

bool saveOverlaySettings(const std::string& root, const OverlaySettings& settings) {
    const std::optional<RegistryKey> key = storeAt(root).createKey(OverlayController::kOverlayKey);
    if (!key) return false;
    OverlaySettings copy = settings;
    bool ok = true;
    for (int kind = 0; kind < 4; ++kind)
        ok = key->writeNumber(kNames[kind], field(copy, kind) ? 1 : 0) == RegistryStatus::Ok && ok;
    return ok;
}

OverlayController::OverlayController(ActiveObjectives* objectives, std::string registryRoot,
                                     QObject* parent)
    : QObject(parent), objectives_(objectives), registryRoot_(std::move(registryRoot)) {
    settings_ = loadOverlaySettings(registryRoot_);
    if (objectives_)
        connect(objectives_, &ActiveObjectives::activeObjectiveChanged, this,
                &OverlayController::repaintTargets);
}

OverlayController::~OverlayController() {
    for (Attached& a : targets_)
        if (a.target) a.target->setOverlayPainter({});
}

bool OverlayController::isOn(Kind kind) const {
    OverlaySettings copy = settings_;
    return field(copy, kind);
}

void OverlayController::setOn(Kind kind, bool on) {
    OverlaySettings changed = settings_;
    field(changed, kind) = on;
    setSettings(changed);
}

void OverlayController::setSettings(const OverlaySettings& settings) {
    if (settings == settings_) return;
    settings_ = settings;
    save();
    repaintTargets();
    emit settingsChanged();
}

void OverlayController::save() const {
    saveOverlaySettings(registryRoot_, settings_);
}

void OverlayController::repaintTargets() {
    for (Attached& a : targets_)
        if (a.target) a.target->update();
}

double OverlayController::micrometresPerPixelAt(QSize frame) const {
    if (!objectives_ || frame.isEmpty()) return 0.0;
    return objectives_->micrometresPerPixelAt(frame.width(), frame.height());
}

void OverlayController::attachLive(LiveTarget* target) {
    if (!target) return;
    detachLive(target);
    auto renderer = std::make_unique<OverlayRenderer>();
    OverlayRenderer* drawing = renderer.get();
    targets_.push_back({target, std::move(renderer)});
    target->setOverlayPainter([this, drawing, target](QPainter& painter, const QImage& shown,
                                                      QSize frame) {
        if (!settings_.any() || frame.isEmpty()) return;
        const QRectF panel(0, 0, target->width(), target->height());
        const PictureMapping mapping =
            PictureMapping::stretched(frame.width(), frame.height(), panel.width(), panel.height());
        const OverlayGeometry geometry = OverlayGeometry::compute(
            QSizeF(frame), mapping, panel, micrometresPerPixelAt(frame), settings_);
        drawing->paint(painter, geometry, &shown);
    });
}

void OverlayController::detachLive(LiveTarget* target) {
    for (auto it = targets_.begin(); it != targets_.end();) {
        if (!it->target || it->target == target) {
            if (it->target) it->target->setOverlayPainter({});
            it = targets_.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace qelvo
