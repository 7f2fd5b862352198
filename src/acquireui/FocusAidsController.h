#pragma once

#include "acquire/FocusAids.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QTimer>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace qelvo {

class LiveTarget;

// A live frame for the focus aids: its pixels, kept alive by `keep` while they are read.
struct FocusFrame {
    std::shared_ptr<const void> keep;
    acquire::BgrFrameView view;
};
using FocusFrameSource = std::function<FocusFrame()>;

// The focus aids of a working window: about ten times a second it takes the newest live
// frame (shared, never copied or changed) and reads its histogram, focus value and, when
// peaking is on, the sharp edges at the live panel's size, on a thread of its own; the GUI
// thread only hands the frame over and draws the result.  Peaking and the measured region
// are drawn over the attached live panels.  Whether the aids and peaking are on is
// remembered in the registry store.  GUI thread.
class FocusAidsController : public QObject {
    Q_OBJECT
public:
    static constexpr int kIntervalMs = 100;
    static constexpr const char* kSettingsKey = "Software/QELVO/FocusAids";

    // The region the focus value is measured over.
    enum class Region { Centre, Spot, Whole };

    // `registryRoot` empty: the usual registry store.
    explicit FocusAidsController(FocusFrameSource source, std::string registryRoot = {},
                                 QObject* parent = nullptr);
    ~FocusAidsController() override;

    bool isOn() const { return on_; }
    void setOn(bool on);
    bool peaking() const { return peaking_; }
    void setPeaking(bool on);
    Region region() const { return region_; }
    void setRegion(Region region);
    void cycleRegion();
    static QString regionName(Region region);
    // The region of a frame of that size the value is measured over.
    acquire::FrameRegion regionFor(int width, int height) const;

    // The newest reading (none before the first frame read since the aids came on).
    const std::optional<acquire::FocusReading>& reading() const { return reading_; }
    double best() const { return best_.best(); }
    void resetBest();

    // Peaking and the region are drawn over `target` while the aids are on.
    void attachLive(LiveTarget* target);
    void detachLive(LiveTarget* target);

    // Reads the newest frame now instead of at the next tick (tests), and waits until the
    // reading in progress has come back (true) or `timeoutMs` has passed.
    void readNow();
    bool waitForReading(int timeoutMs);
    // Readings made so far (tests and benchmarks).
    int readings() const { return readings_; }
    // The size peaking masks are made at when no attached panel is showing (benchmarks).
    void setFallbackPeakingSize(QSize size) { fallbackPeakingSize_ = size; }
    // What is drawn over an attached panel's screen picture in each paint (GUI thread).
    void paintOver(QImage& screen, QSize frameSize) const;

signals:
    void readingChanged();
    void settingsChanged();

private slots:
    // Takes the worker's finished reading on the GUI thread.
    void takeFinishedReading();

private:
    struct Job {
        FocusFrame frame;
        acquire::FocusRequest request;
    };
    void tick();
    void work();
    void deliver(std::shared_ptr<acquire::FocusReading> reading);
    void save() const;
    void repaintTargets();
    QSize peakingSize() const;

    FocusFrameSource source_;
    std::string registryRoot_;
    bool on_ = false;
    bool peaking_ = false;
    Region region_ = Region::Centre;
    std::optional<acquire::FocusReading> reading_;
    acquire::FocusBest best_;
    int readings_ = 0;
    bool busy_ = false;  // a job is with the worker
    QSize fallbackPeakingSize_;
    QTimer timer_;
    std::vector<QPointer<LiveTarget>> targets_;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<Job> job_;
    std::shared_ptr<acquire::FocusReading> finished_;  // from the worker, not yet taken
    bool stopping_ = false;
    std::thread worker_;
};

}  // namespace qelvo
