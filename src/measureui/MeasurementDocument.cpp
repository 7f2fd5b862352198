#include "measureui/MeasurementDocument.h"

#include "desktop/Dialogs.h"
#include "measure/Sidecar.h"
#include "picturefiles/PictureFile.h"

#include <QFileInfo>

namespace qelvo {

MeasurementDocument::MeasurementDocument(QWidget* dialogParent, QObject* parent)
    : QObject(parent), dialogParent_(dialogParent) {
    writer_.setMaxThreadCount(1);
    saveTimer_.setSingleShot(true);
    saveTimer_.setInterval(kSaveDelayMs);
    connect(&saveTimer_, &QTimer::timeout, this, &MeasurementDocument::write);
    session_.onChanged = [this] { sessionChanged(); };
}

MeasurementDocument::~MeasurementDocument() {
    session_.onChanged = nullptr;
    flush();
    writer_.waitForDone();
}

void MeasurementDocument::open(const std::string& picturePath) {
    flush();
    path_ = picturePath;
    damaged_ = replaceDamaged_ = keepDamaged_ = false;
    micrometresPerPixel_ = 0.0;
    objective_.clear();
    std::vector<measure::Shape> shapes;
    if (!path_.empty()) {
        std::string error;
        if (const auto info = readPictureFileInfo(path_, &error)) {
            micrometresPerPixel_ = info->calibration.micrometresPerPixel;
            objective_ = info->calibration.objective;
        }
        error.clear();
        if (const auto sidecar = measure::loadSidecar(path_, &error)) {
            shapes = sidecar->shapes;
            if (micrometresPerPixel_ <= 0.0) {
                micrometresPerPixel_ = sidecar->micrometresPerPixel;
                objective_ = sidecar->objective;
            }
        } else {
            damaged_ = true;
            emit problem(QStringLiteral("The measurements of %1 cannot be read (%2); they are "
                                        "not shown and the file is left as it is.")
                             .arg(QFileInfo(QString::fromStdString(path_)).fileName(),
                                  QString::fromStdString(error)));
        }
    }
    session_.reset(std::move(shapes));
    savedRevision_ = session_.revision();
}

void MeasurementDocument::openUnsaved(double micrometresPerPixel, const std::string& objective) {
    open({});
    micrometresPerPixel_ = micrometresPerPixel;
    objective_ = objective;
    emit changed();
}

void MeasurementDocument::pictureMoved(const std::string& newPath) {
    path_ = newPath;
}

void MeasurementDocument::pictureRemoved() {
    saveTimer_.stop();
    path_.clear();
    session_.reset({});
    savedRevision_ = session_.revision();
}

void MeasurementDocument::sessionChanged() {
    if (!path_.empty() && session_.revision() != savedRevision_ && !session_.moving())
        saveTimer_.start();
    emit changed();
}

void MeasurementDocument::flush() {
    if (saveTimer_.isActive()) {
        saveTimer_.stop();
        write();
    }
}

void MeasurementDocument::waitForWrites() {
    flush();
    writer_.waitForDone();
}

void MeasurementDocument::write() {
    if (path_.empty() || session_.revision() == savedRevision_ || keepDamaged_) return;
    if (damaged_ && !replaceDamaged_) {
        const QString name = QFileInfo(QString::fromStdString(path_)).fileName();
        const MessageAnswer answer = dialogs().message(
            dialogParent_,
            QStringLiteral("The measurements kept beside %1 cannot be read.\n\nReplace them with "
                           "the measurements now on the picture?")
                .arg(name),
            QString(), MessageButtons::YesNo);
        if (answer != MessageAnswer::Yes) {
            keepDamaged_ = true;
            emit problem(QStringLiteral("The measurements of %1 are not saved: its measurements "
                                        "file is kept as it is.")
                             .arg(name));
            return;
        }
        replaceDamaged_ = true;
    }
    measure::Sidecar sidecar;
    sidecar.micrometresPerPixel = micrometresPerPixel_;
    sidecar.objective = objective_;
    sidecar.shapes = session_.shapes();
    savedRevision_ = session_.revision();
    const std::string path = path_;
    const bool replace = replaceDamaged_;
    writer_.start([this, path, sidecar = std::move(sidecar), replace] {
        std::string error;
        if (measure::saveSidecar(path, sidecar, &error, replace)) return;
        const QString message = QStringLiteral("The measurements of %1 could not be saved: %2")
                                    .arg(QFileInfo(QString::fromStdString(path)).fileName(),
                                         QString::fromStdString(error));
        QMetaObject::invokeMethod(
            this, [this, message] { emit problem(message); }, Qt::QueuedConnection);
    });
}

}  // namespace qelvo
