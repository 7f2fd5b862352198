#pragma once

#include "measure/Objectives.h"

#include <QObject>
#include <QPointer>

#include <string>

class QWidget;

namespace qelvo {

// The objectives of the device a working window shows, and which one is in use: loaded from
// the store by the device's friendly name, written back whenever the operator changes them.
// Keys 1-9 choose objectives 1-9 in the windows it watches.  GUI thread.
class ActiveObjectives : public QObject {
    Q_OBJECT
public:
    explicit ActiveObjectives(std::string deviceName,
                              measure::ObjectiveStore store = measure::ObjectiveStore(),
                              QObject* parent = nullptr);

    const std::string& deviceName() const { return deviceName_; }
    const measure::DeviceObjectives& objectives() const { return objectives_; }
    int activeIndex() const { return objectives_.active; }
    // Null only for a list without objectives.
    const measure::Objective* active() const { return objectives_.activeObjective(); }
    // Why the stored list was not used ("" when it was, or nothing was stored).
    const std::string& problem() const { return problem_; }
    // Why the last change could not be stored ("" after a good save).
    const std::string& saveError() const { return saveError_; }

    // The active objective's pixel size for frames `width` x `height`; 0 uncalibrated.
    double micrometresPerPixelAt(int width, int height) const;

    // Makes objective `index` (from 0) the active one.  False for an index out of range.
    bool choose(int index);
    // Key 1-9 (main or keypad, no Ctrl, Alt or Meta) chooses objective 1-9; true when the
    // key was one of those and that objective exists.
    bool handleKey(int key, Qt::KeyboardModifiers modifiers);
    // Watches `window` and the widgets in it for keys 1-9, whichever of them has the focus
    // (a results list too), except widgets that take typed text.
    void watchKeys(QWidget* window);

    // Stores a calibration for objective `index`: `micrometresPerPixel` at the capture
    // resolution `width` x `height`.  False for a bad index or value.
    bool calibrate(int index, double micrometresPerPixel, int width, int height);
    // Replaces the whole list (the edit dialog); the active index is kept in range.
    bool replace(measure::DeviceObjectives objectives);

signals:
    // The active objective changed, or its calibration did.
    void activeObjectiveChanged();
    // Anything in the list changed (names, calibrations, the active one).
    void objectivesChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void store();

    std::string deviceName_;
    measure::ObjectiveStore store_;
    measure::DeviceObjectives objectives_;
    std::string problem_;
    std::string saveError_;
    QPointer<QWidget> keysOf_;
};

}  // namespace qelvo
