// Runs in its own process: it takes elements out of GStreamer's registry for good.
#include <gst/gst.h>
#include <gtest/gtest.h>

#include "media/GstInit.h"
#include "media/MediaDevices.h"
#include "media/MediaGraph.h"
#include "media/MediaTestSupport.h"
#include "support/VirtualCameras.h"
#include "support/WaitUntil.h"

namespace qelvo {
namespace {

void uninstall(const char* name) {
    GstRegistry* registry = gst_registry_get();
    GstPluginFeature* feature = gst_registry_lookup_feature(registry, name);
    ASSERT_NE(feature, nullptr) << name << " should be installed before the test removes it";
    gst_registry_remove_feature(registry, feature);
    gst_object_unref(feature);
    ASSERT_FALSE(gstreamerElementInstalled(name));
}

TEST(MissingElements, StartUpNamesNeededOnesAndVirtualDevicesStreamWithoutTheClock) {
    ASSERT_TRUE(ensureGstreamer());
    EXPECT_TRUE(missingGstreamerElements().empty());
    uninstall("clockoverlay");
    uninstall("avimux");
    // The clock overlay is optional: only the multiplexer is named.
    EXPECT_EQ(missingGstreamerElements(), std::vector<std::string>{"avimux"});

    testing::internal::CaptureStderr();
    auto graph = MediaGraph::create();
    ASSERT_TRUE(graph);
    MediaComponent source, grabber, sink;
    ASSERT_TRUE(bindVideoInput(test::virtualDevice("Cam{size=160x120}"), source));
    ASSERT_TRUE(bindVideoInput(test::virtualDevice("Cam2{size=160x120}"), source));
    const std::string said = testing::internal::GetCapturedStderr();
    // Our own lines only: a sanitizer build may add lines of its own to standard error.
    std::size_t ours = 0;
    for (std::size_t at = said.find("qelvo-tarnel:"); at != std::string::npos;
         at = said.find("qelvo-tarnel:", at + 1))
        ++ours;
    EXPECT_EQ(ours, 1u) << said;
    EXPECT_NE(said.find("clockoverlay"), std::string::npos) << said;
    EXPECT_NE(said.find("gstreamer1.0-x"), std::string::npos) << said;

    ASSERT_TRUE(graph->add(source, "Cap"));
    ASSERT_TRUE(createFrameGrabber(grabber));
    ASSERT_TRUE(graph->add(grabber, "Grabber"));
    ASSERT_TRUE(createNullRenderer(sink));
    ASSERT_TRUE(graph->add(sink, "NULL renderer"));
    ASSERT_TRUE(graph->renderStream(OutputCategory::Capture, source, &grabber, &sink));
    test::RecordingCallback callback;
    ASSERT_TRUE(setGrabberCallback(grabber, &callback));
    ASSERT_TRUE(graph->run());
    EXPECT_TRUE(test::waitUntil([&] { return callback.frames() >= 3; }));
    EXPECT_TRUE(graph->stop());
}

}  // namespace
}  // namespace qelvo
