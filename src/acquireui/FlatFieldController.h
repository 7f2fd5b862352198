#pragma once

#include "acquire/FlatField.h"
#include "acquire/FlatFieldStore.h"
#include "acquire/FlatFieldTake.h"

#include <QObject>
#include <QSize>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace qelvo {

// Flat-field correction of one window's camera: the references of the objective in use
// (taken from the live picture or cleared), and whether the correction is on for the device.
// Reading, averaging and writing references runs on a thread of its own, one job at a time;
// the results come back to the GUI thread.  GUI thread only.
class FlatFieldController : public QObject {
    Q_OBJECT
public:
    static constexpr int kReferenceFrames = 16;

    struct Access {
        // Live frames from now on, for a reference (null when there is no live picture), and
        // their release once the reference is taken.
        std::function<std::shared_ptr<acquire::LapseFrameSource>()> openFrames;
        std::function<void()> closeFrames;
        // The device's on/off setting: read at start, stored on every change (false when it
        // could not be stored).
        std::function<bool()> loadOn;
        std::function<bool(bool)> storeOn;
        // Applies a correction to the live picture and the snapshots (null: none).
        std::function<void(std::shared_ptr<const acquire::FlatField>)> apply;
        // The size of the live frames (empty while unknown).
        std::function<QSize()> frameSize;
    };

    FlatFieldController(std::string device, acquire::FlatFieldStore store, Access access,
                        QObject* parent = nullptr);
    // A reference being taken is abandoned (nothing of it is stored).
    ~FlatFieldController() override;

    const std::string& device() const { return device_; }
    // The objective whose references are used; they are read anew (off the GUI thread).
    void setObjective(const std::string& name);
    const std::string& objective() const { return objective_; }

    bool enabled() const { return enabled_; }
    void setEnabled(bool on);
    bool busy() const { return worker_.joinable(); }
    bool hasFlat() const { return hasFlat_; }
    bool hasDark() const { return hasDark_; }
    // The correction from the objective's references (null without a usable flat).
    const std::shared_ptr<const acquire::FlatField>& correction() const { return correction_; }
    // Whether the live picture is corrected now: on, with references of the live frames' size.
    bool correcting() const;

    // Takes a reference of `frames` frames from the live picture and stores it for the
    // objective in use; refused (with a message) while another job runs.
    void take(acquire::FlatFieldStore::Kind kind, int frames = kReferenceFrames);
    // Removes both references of the objective in use.
    void clear();

    // A short state for the control: "ON", "OFF", "NONE", "SIZE" (on, but the references
    // are of another size) or "…" while a job runs.
    QString stateText() const;
    // Tests: returns once the job in progress (if any) is done and its result applied.
    void waitIdle();

signals:
    void changed();
    // Something to tell the operator: a reference taken, or (`problem`) refused, a stored
    // one unusable, a setting not kept.
    void message(const QString& text, bool problem);

private:
    enum class Job { Load, Take, Clear };
    // Takes the worker's result (posted by name, so the hand-over goes through the mutex).
    Q_INVOKABLE void collectResult();
    void start(Job job, acquire::FlatFieldStore::Kind kind, int frames);
    void finished(acquire::ReferenceTakeResult result, Job job, std::string objective);
    void applyCorrection();
    void tellIfSizeDiffers();
    void join();

    std::string device_;
    acquire::FlatFieldStore store_;
    Access access_;
    std::string objective_;
    bool enabled_ = false;
    bool hasFlat_ = false;
    bool hasDark_ = false;
    bool reloadPending_ = false;
    std::shared_ptr<const acquire::FlatField> correction_;
    std::thread worker_;
    std::shared_ptr<std::atomic<bool>> stop_;
    std::shared_ptr<acquire::LapseFrameSource> frames_;
    struct Result {
        acquire::ReferenceTakeResult result;
        Job job;
        std::string objective;
    };
    std::mutex resultMutex_;
    std::optional<Result> result_;  // the worker's, until the GUI thread collects it
};

}  // namespace qelvo
