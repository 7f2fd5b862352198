#pragma once

#include "measure/RulingFinder.h"

#include <QImage>
#include <QLineF>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace qelvo {

// What the calibration dialog works out, apart from its widgets: the picture calibrated
// from (live frame or picture file), the ruling found in it on a worker thread, the spacing
// the operator types, or the line drawn over a known length; and the pixel size that
// follows.  The GUI thread never waits for the search: rulingFound() comes when it is done.
class CalibrationFlow : public QObject {
    Q_OBJECT
public:
    using Finder = std::function<measure::Ruling(const measure::GreyView&)>;
    enum class Mode { Automatic, Manual };

    explicit CalibrationFlow(QObject* parent = nullptr);
    ~CalibrationFlow() override;

    // Tests: another finder instead of the ruling finder.
    void setFinder(Finder finder) { finder_ = std::move(finder); }

    // The picture, in capture pixels (the frame or the file as it is).  Starts the search.
    void setPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }
    QSize captureSize() const { return picture_.size(); }

    Mode mode() const { return mode_; }
    void setMode(Mode mode);

    // Automatic: whether the search is still going, and what it found.
    bool searching() const { return searching_; }
    const std::optional<measure::Ruling>& ruling() const { return ruling_; }
    // The lines of the ruling found, in picture pixels, clipped to where it lies (one family;
    // a cross grid adds the lines at right angles).
    std::vector<QLineF> rulingLines() const;
    // The ruling's spacing as typed ("10 µm", "0.01 mm"); false with spacingError() set.
    bool setSpacing(const QString& text);
    const QString& spacingError() const { return spacingError_; }

    // Manual: the line drawn (picture pixels) and its length as typed.
    void setLine(const QLineF& line);
    const QLineF& line() const { return line_; }
    bool setLineLength(const QString& text);
    const QString& lengthError() const { return lengthError_; }

    // The pixel size that follows in the current mode, in micrometres; nothing while
    // something is missing, with status() saying what.
    std::optional<double> micrometresPerPixel() const;
    // One line for the operator: searching, what was found or not, what is missing, the
    // result.
    QString status() const;

signals:
    void rulingFound();
    void changed();

private:
    void startSearch();
    void onFound(int generation, const measure::Ruling& ruling);

    Finder finder_;
    QImage picture_;
    Mode mode_ = Mode::Automatic;
    bool searching_ = false;
    int generation_ = 0;
    std::optional<measure::Ruling> ruling_;
    std::optional<double> spacing_;  // micrometres
    QString spacingError_;
    QLineF line_;
    std::optional<double> lineLength_;
    QString lengthError_;
    // Reaches this object from the worker thread, or lets the result fall when it is gone.
    struct Relay;
    std::shared_ptr<Relay> relay_;
};

}  // namespace qelvo
