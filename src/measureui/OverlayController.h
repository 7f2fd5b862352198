#pragma once

#include "measureui/OverlayGeometry.h"
#include "measureui/OverlayRenderer.h"

#include <QObject>
#include <QPointer>

#include <memory>
#include <string>
#include <vector>

class QWidget;

namespace qelvo {

class ActiveObjectives;
class LiveTarget;

// Which overlays are on, remembered between sessions (in the registry store, under
// kOverlayKey), and the live panels they are drawn over.  The live picture's lengths come
// from the active objective at the frame's size.  GUI thread.
class OverlayController : public QObject {
    Q_OBJECT
public:
    // `registryRoot` empty: the usual registry store.
    explicit OverlayController(ActiveObjectives* objectives, std::string registryRoot = {},
                               QObject* parent = nullptr);
    ~OverlayController() override;

    const OverlaySettings& settings() const { return settings_; }
    void setSettings(const OverlaySettings& settings);
    enum Kind { Crosshair, Grid, Reticle, ScaleBar };
    bool isOn(Kind kind) const;
    void setOn(Kind kind, bool on);
    void toggle(Kind kind) { setOn(kind, !isOn(kind)); }

    // Draws the overlays over `target`'s live picture from now on (until either goes).
    void attachLive(LiveTarget* target);
    void detachLive(LiveTarget* target);

    // The active objective's pixel size for a frame of that size (0 uncalibrated).
    double micrometresPerPixelAt(QSize frame) const;

    static constexpr const char* kOverlayKey = "Software/QELVO/Overlays";

signals:
    void settingsChanged();

private:
    void save() const;
    void repaintTargets();

    ActiveObjectives* objectives_;
    std::string registryRoot_;
    OverlaySettings settings_;
    struct Attached {
        QPointer<LiveTarget> target;
        std::unique_ptr<OverlayRenderer> renderer;
    };
    std::vector<Attached> targets_;
};

// Reads and writes the overlay switches in a registry store at `root` (empty: the usual one).
OverlaySettings loadOverlaySettings(const std::string& root);
bool saveOverlaySettings(const std::string& root, const OverlaySettings& settings);

}  // namespace qelvo
