#include "manage/MoviePlayer.h"

#include "desktop/Dialogs.h"

#include <QWidget>

namespace qelvo {

MoviePlayer::MoviePlayer(std::unique_ptr<MediaGraph>& graphSlot, QWidget* panel)
    : graph_(graphSlot), panel_(panel) {}

bool MoviePlayer::open(QWidget* dialogParent) {
    FileDialogRequest request;
    request.filter = QStringLiteral("AVI Files (*.AVI)|*.avi|All Files (*.*)|*.*||");
    request.defaultExtension = QStringLiteral("AVI");
    request.initialName = QStringLiteral("*.avi");
    request.mustExist = true;
    const std::optional<QString> chosen = dialogs().openFile(dialogParent, request);
    if (!chosen || chosen->isEmpty()) return false;
    moviePath_ = chosen->toStdString();
    load(moviePath_);
    return true;
}

bool MoviePlayer::load(const std::string& path) {
    moviePath_ = path;
    unload();
    builtPath_ = moviePath_;
    loaded_ = build();
    running_ = false;
    return loaded_;
}

bool MoviePlayer::build() {
    if (graph_) {
        graph_->stop();
        graph_.reset();
    }
    std::unique_ptr<MediaGraph> graph = MediaGraph::create();
    if (!graph || !graph->renderFile(builtPath_)) return false;
    VideoWindow& window = graph->videoWindow();
    if (!window.hasRenderer()) return false;
    window.setOwner(panel_);
    window.setPosition(0, 0, panel_->width(), panel_->height());
    window.setVisible(true);
    graph->pause();
    video_ = &window;
    graph_ = std::move(graph);
    return true;
}

void MoviePlayer::play() {
    if (!loaded_ || !graph_) return;
    if (running_)
        graph_->pause();
    else
        graph_->run();
    running_ = !running_;
}

void MoviePlayer::stop() {
    unload();
    loaded_ = running_ = false;
}

void MoviePlayer::unload() {
    if (video_ && graph_) {
        video_->setVisible(false);
        video_->setOwner(nullptr);
    }
    video_ = nullptr;
    if (graph_) {
        graph_->stop();
        graph_.reset();
    }
    loaded_ = running_ = false;
}

void MoviePlayer::placeVideo(QWidget* owner, const QRect& place) {
    if (!loaded_ || !video_ || !graph_) return;
    video_->setOwner(owner);
    video_->setPosition(place.x(), place.y(), place.width(), place.height());
    video_->setVisible(true);
}

}  // namespace qelvo
