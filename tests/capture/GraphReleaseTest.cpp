// A graph handed back to the GUI thread by a device task that finished as the program ends.  Runs
// without the shared test main: the application object goes away inside the test.
#include "capture/DeviceTask.h"
#include "media/MediaDevices.h"
#include "media/MediaGraph.h"
#include "support/VirtualCameras.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <memory>

namespace qelvo {
namespace {

TEST(GraphRelease, AGraphStillQueuedForReleaseWhenTheApplicationEndsDoesNotHoldItUp) {
    int argc = 1;
    char name[] = "capture_graph_release_test";
    char* argv[] = {name, nullptr};
    {
        QApplication app(argc, argv);
        // A graph whose picture has a window of its own, as a recording graph has.
        std::shared_ptr<MediaGraph> graph = MediaGraph::create();
        ASSERT_TRUE(graph);
        const VideoInputDevice device = test::virtualDevice("Release Cam{size=64x48}");
        MediaComponent source;
        ASSERT_TRUE(bindVideoInput(device, source).ok());
        ASSERT_TRUE(graph->add(source, "Cap").ok());
        ASSERT_TRUE(graph->renderStream(OutputCategory::Preview, source, nullptr, nullptr).ok());
        ASSERT_TRUE(graph->videoWindow().hasRenderer());
        releaseOnGuiThread(std::move(graph));
        // The application ends before its event loop ran again: the release is still queued.
    }
    SUCCEED() << "the application went away";
}

}  // namespace
}  // namespace qelvo
