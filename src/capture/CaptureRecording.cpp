// Movie recording of the image management window: the recording graph replaces the preview
// graph between RECORD and STOP.
#include "capture/CapturePipeline.h"

#include "capture/CaptureHost.h"
#include "desktop/Dialogs.h"
#include "media/MediaDevices.h"

#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

namespace qelvo {
namespace {

const QString kRecordingNow = QStringLiteral("AVI recording now...");

bool fileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

bool isEmptyFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0;
}

MediaComponent findEncoder() {
    for (const MediaDevice& device : enumerateDevices(DeviceCategory::VideoCompressor)) {
        if (device.friendlyName != kMpeg4EncoderName) continue;
        MediaComponent encoder;
        if (bindDevice(device, encoder).ok() && encoder) return encoder;
    }
    return {};
}

}  // namespace

void CapturePipeline::startRecording() {
    QWidget* window = host_.hostWidget();
    if (recording_) {
        dialogs().message(window, kRecordingNow, QString(), MessageButtons::Ok);
        return;
    }
    FileDialogRequest request;
    request.defaultExtension = QStringLiteral("AVI");
    request.initialName = QStringLiteral("*.avi");
    request.filter = QStringLiteral("AVI Files (*.AVI)|*.avi||");
    // Like every other save here, an existing movie is not replaced without asking.
    request.confirmOverwrite = true;
    const std::optional<QString> chosen = dialogs().saveFile(window, request);
    if (!chosen || chosen->isEmpty()) return;

    recordingPath_ = chosen->toStdString();  // used whole
    recording_ = true;
    tearDown();
    const bool existed = fileExists(recordingPath_);
    const MediaResult result = buildRecordingGraph(recordingPath_);
    if (!result.ok()) {
        // Nothing useful was written by a graph that never ran.
        if (!existed && isEmptyFile(recordingPath_)) ::unlink(recordingPath_.c_str());
        recordingFailed(result.message());
    }
}

void CapturePipeline::stopRecording() {
    if (!recording_) return;
    recording_ = false;
    // Stopping the graph completes the file; the operator hears of a movie that could not
    // be written to its end.
    const MediaResult stopped = graph_ ? graph_->stop() : MediaResult::success();
    tearDown();
    if (!stopped.ok()) {
        QString text = stopped.error() == MediaError::Timeout
                           ? QStringLiteral(
                                 "The movie could not be written to its end: the "
                                 "last frames are missing.")
                           : QStringLiteral(
                                 "The recording ended with an error: the movie keeps "
                                 "what was written before it.");
        if (!stopped.message().empty())
            text += QStringLiteral("\n\n") + QString::fromStdString(stopped.message());
        dialogs().message(host_.hostWidget(), text, QString(), MessageButtons::Ok);
    }
    buildPreviewGraph();
}

MediaResult CapturePipeline::buildRecordingGraph(const std::string& path) {
    MediaResult result = createGraphWithDevice();
    if (!result) return result;
    MediaComponent source = source_;

    if (hd_) {
        applyHdFormat(OutputCategory::Preview);
        applyHdFormat(OutputCategory::Capture);
    }

    // Without the named encoder the stream is written as the device delivers it.
    MediaComponent encoder = findEncoder();
    if (encoder && !graph_->add(encoder, kMpeg4EncoderName).ok()) encoder = MediaComponent();

    MediaComponent multiplexer;
    if (!(result = graph_->setOutputFile(path, multiplexer))) return result;
    if (!(result = graph_->renderStream(OutputCategory::Capture, source,
                                        encoder ? &encoder : nullptr, &multiplexer)))
        return result;
    if (!(result = graph_->renderStream(OutputCategory::Preview, source, nullptr, nullptr)))
        return result;

    VideoWindow& window = graph_->videoWindow();
    if (!window.hasRenderer())
        return MediaResult::failure(MediaError::NoInterface, "the recording has no video window");
    QWidget* panel = host_.control(CaptureIds::kViewPanel);
    window.setOwner(panel);
    if (panel) window.setPosition(0, 0, panel->width(), panel->height());
    window.setVisible(true);

    graph_->setEventHandler([this](const MediaEvent& event) { onGraphEvent(event); });
    return graph_->run();
}

void CapturePipeline::onGraphEvent(const MediaEvent& event) {
    if (event.kind != MediaEvent::Kind::Error || !recording_) return;
    // The graph is still inside its own notification: replace it only afterwards.
    const std::string reason = event.message;
    QTimer::singleShot(0, &context_, [this, reason] {
        if (recording_) recordingFailed(reason);
    });
}

void CapturePipeline::recordingFailed(const std::string& reason) {
    recording_ = false;
    tearDown();  // keeps what was written: the file is completed as far as it got
    QString text = QStringLiteral("The movie could not be recorded.");
    if (!reason.empty()) text += QStringLiteral("\n\n") + QString::fromStdString(reason);
    dialogs().message(host_.hostWidget(), text, QString(), MessageButtons::Ok);
    buildPreviewGraph();
}

}  // namespace qelvo
