#pragma once

#include "media/MediaGraph.h"

#include <QRect>

#include <memory>
#include <string>

class QWidget;

namespace qelvo {

// Movie playback of the image management window: a playback graph built from an AVI file
// whose picture sits in a panel (or the full-screen popup).  The graph lives in a slot the
// caller owns (the capture pipeline's, so tearing the pipeline down also releases it).
class MoviePlayer {
public:
    MoviePlayer(std::unique_ptr<MediaGraph>& graphSlot, QWidget* panel);

    // OPEN: asks for a movie (open dialog), unloads the current one and loads the chosen
    // file paused on its first frame.  False when the operator cancelled.
    bool open(QWidget* dialogParent);
    // Loads `path` (the movie path) paused; true when the movie is now loaded.
    bool load(const std::string& path);
    // PLAY: runs or pauses the loaded movie.
    void play();
    // STOP: stops and unloads the movie; the movie path stays.
    void stop();
    void unload();

    // Moves the movie's picture into `owner` at `place` (full screen, and back).
    void placeVideo(QWidget* owner, const QRect& place);

    bool loaded() const { return loaded_; }
    bool running() const { return running_; }
    const std::string& moviePath() const { return moviePath_; }
    MediaGraph* graph() const { return graph_.get(); }

private:
    bool build();

    std::unique_ptr<MediaGraph>& graph_;
    QWidget* panel_;
    VideoWindow* video_ = nullptr;
    std::string moviePath_;
    std::string builtPath_;
    bool loaded_ = false;
    bool running_ = false;
};

}  // namespace qelvo
