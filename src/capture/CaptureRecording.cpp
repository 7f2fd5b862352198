// Movie recording: the recording graph replaces the preview graph between RECORD and STOP.
#include "capture/CaptureSession.h"

#include "capture/DeviceTask.h"
#include "media/MediaDevices.h"

#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

namespace qelvo {
namespace {

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

QString recordingEndText(const MediaResult& stopped) {
    QString text = stopped.error() == MediaError::Timeout
                       ? QStringLiteral(
                             "The movie could not be written to its end: the last frames are "
                             "missing.")
                       : QStringLiteral(
                             "The recording ended with an error: the movie keeps what was "
                             "written before it.");
    if (!stopped.message().empty())
        text += QStringLiteral("\n\n") + QString::fromStdString(stopped.message());
    return text;
}

void CaptureSession::startRecording(const std::string& path, QWidget* videoPanel) {
    if (recording_ || path.empty()) return;
    recordingPath_ = path;  // used whole
    videoPanel_ = videoPanel;
    recording_ = true;
    teardown();
    recordingFileExisted_ = fileExists(recordingPath_);
    // Found and probed again, then the recording graph is built and started (onPrepared).
    prepareDevice();
}

void CaptureSession::stopRecording() {
    if (!recording_) return;
    recording_ = false;
    // Stopping the graph completes the file; the operator hears of a movie that could not
    // be written to its end.  A recording still starting is completed on its own thread,
    // which tells of an end that went wrong.
    MediaResult stopped;
    const bool started = !task_ || task_->abandon();
    if (graph_ && started) {
        task_.reset();
        stopped = graph_->stop();
    }
    teardown();
    if (!stopped.ok()) emit recordingProblem(recordingEndText(stopped));
    prepareDevice();
}

MediaResult CaptureSession::buildRecordingGraph(const std::string& path) {
    MediaResult result = createGraph();
    if (!result) return result;
    MediaComponent source = source_;

    if (options_.hd) {
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
    if (!graph_->videoWindow().hasRenderer())
        return MediaResult::failure(MediaError::NoInterface, "the recording has no video window");
    return MediaResult::success();
}

void CaptureSession::recordingFailed(const std::string& reason) {
    recording_ = false;
    teardown();  // keeps what was written: the file is completed as far as it got
    // Nothing useful was written by a graph that never ran.
    if (!recordingFileExisted_ && isEmptyFile(recordingPath_)) ::unlink(recordingPath_.c_str());
    QString text = QStringLiteral("The movie could not be recorded.");
    if (!reason.empty()) text += QStringLiteral("\n\n") + QString::fromStdString(reason);
    emit recordingProblem(text);
    prepareDevice();
}

}  // namespace qelvo
