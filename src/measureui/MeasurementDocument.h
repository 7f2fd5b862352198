#pragma once

#include "measureui/MeasurementSession.h"

#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QTimer>

#include <string>

class QWidget;

namespace qelvo {

// The measurements of the picture on show, kept in the sidecar file beside it: read when
// the picture opens, written a moment after each change on a thread of its own (one write
// at a time, in order).  A sidecar that cannot be read is reported and left alone; the
// first change after that asks the operator before the sidecar is replaced.  Without a
// picture file (a frozen live frame) nothing is read or written.
class MeasurementDocument : public QObject {
    Q_OBJECT
public:
    // `dialogParent` is where the replace question appears.
    explicit MeasurementDocument(QWidget* dialogParent = nullptr, QObject* parent = nullptr);
    ~MeasurementDocument() override;

    MeasurementSession& session() { return session_; }
    const MeasurementSession& session() const { return session_; }

    // Shows the measurements of `picturePath` (the calibration from the file, or the one
    // the sidecar was made with when the file has none); "" shows none.  Whatever the
    // previous picture had waiting is written first.
    void open(const std::string& picturePath);
    // Measurements of a picture that has no file, at the given calibration.
    void openUnsaved(double micrometresPerPixel, const std::string& objective);
    const std::string& picturePath() const { return path_; }

    // The picture's file was renamed (its sidecar went along) or deleted.
    void pictureMoved(const std::string& newPath);
    void pictureRemoved();

    double micrometresPerPixel() const { return micrometresPerPixel_; }
    const std::string& objective() const { return objective_; }
    bool sidecarDamaged() const { return damaged_; }

    // Starts the waiting write now; waitForWrites() also waits for it (tests, closing).
    void flush();
    void waitForWrites();

    static constexpr int kSaveDelayMs = 400;

signals:
    // The shapes, the selection or the calibration changed.
    void changed();
    // Something the operator should know: a damaged sidecar, a write that failed.
    void problem(const QString& message);

private:
    void sessionChanged();
    void write();

    QWidget* dialogParent_;
    MeasurementSession session_;
    std::string path_;
    double micrometresPerPixel_ = 0.0;
    std::string objective_;
    bool damaged_ = false;
    bool replaceDamaged_ = false;
    bool keepDamaged_ = false;  // the operator said no: nothing is written for this picture
    std::uint64_t savedRevision_ = 0;
    QTimer saveTimer_;
    QThreadPool writer_;
};

}  // namespace qelvo
