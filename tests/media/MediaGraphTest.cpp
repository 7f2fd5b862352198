#include "media/MediaGraph.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QWidget>
#include <atomic>
#include <cstdlib>
#include <fstream>

#include "media/GstInit.h"
#include "media/MediaDevices.h"
#include "media/MediaFile.h"
#include "media/MediaInternal.h"
#include "media/MediaTestSupport.h"
#include "media/VideoSourceMonitor.h"
#include "simulated/VirtualButtonChannel.h"
#include "support/TempFolder.h"
#include "support/VirtualCameras.h"
#include "support/WaitUntil.h"

namespace qelvo {
namespace {

using test::pump;
using test::RecordingCallback;
using test::virtualDevice;
using test::waitUntil;

std::size_t paddedRow(int width) {
    return (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4;
}

// source -> grabber -> null renderer on one output of a virtual device.
struct GrabberChain {
    std::unique_ptr<MediaGraph> graph;
    MediaComponent source, grabber, sink;
    RecordingCallback callback;

    explicit GrabberChain(const std::string& deviceText) {
        graph = MediaGraph::create();
        EXPECT_TRUE(graph);
        EXPECT_TRUE(bindVideoInput(virtualDevice(deviceText), source));
        EXPECT_TRUE(graph->add(source, "Cap"));
        EXPECT_TRUE(createFrameGrabber(grabber));
        EXPECT_TRUE(graph->add(grabber, "Grabber"));
        EXPECT_TRUE(createNullRenderer(sink));
        EXPECT_TRUE(graph->add(sink, "NULL renderer"));
    }
    MediaResult render(OutputCategory category = OutputCategory::Capture) {
        return graph->renderStream(category, source, &grabber, &sink);
    }
    MediaResult start() {
        EXPECT_TRUE(setGrabberCallback(grabber, &callback));
        return graph->run();
    }
};

TEST(FrameGrabber, DeliversBottomUpRowsPaddedToFourBytes) {
    // 322 and 161 pixels make rows of 966 and 483 bytes, which need padding.
    for (auto [w, h] : {std::pair{640, 480}, std::pair{322, 242}, std::pair{161, 121}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        GrabberChain chain("Cam{size=" + std::to_string(w) + "x" + std::to_string(h) +
                           ",pattern=smpte,motion=0,overlay=0}");
        ASSERT_TRUE(chain.render());
        VideoFormat format;
        ASSERT_TRUE(chain.graph->connectedFormat(chain.grabber, format));
        EXPECT_EQ(format.width, w);
        EXPECT_EQ(format.height, h);
        ASSERT_TRUE(chain.start());
        ASSERT_TRUE(waitUntil([&] { return chain.callback.frames() >= 3; }));
        ASSERT_TRUE(chain.graph->stop());
        const std::size_t row = paddedRow(w);
        for (std::size_t size : chain.callback.sizes()) EXPECT_EQ(size, row * h);
        const auto frame = chain.callback.last();
        ASSERT_EQ(frame.size(), row * h);
        // The pattern's top left corner is white and its bottom left corner dark blue; the
        // first row of the buffer is the bottom of the picture.
        const std::uint8_t* bottom = frame.data();
        const std::uint8_t* top = frame.data() + row * (h - 1);
        EXPECT_NEAR(top[0], 255, 3);
        EXPECT_NEAR(top[1], 255, 3);
        EXPECT_NEAR(top[2], 255, 3);
        EXPECT_NEAR(bottom[0], 128, 8);  // blue
        EXPECT_NEAR(bottom[1], 0, 8);
        EXPECT_NEAR(bottom[2], 0, 8);
    }
}

TEST(StreamConfiguration, HdSizeIsUsedOnlyWhereTheDeviceAllowsIt) {
    GrabberChain accepting("Quillmar hd capture device");
    EXPECT_TRUE(
        accepting.graph->setStreamFormat(accepting.source, OutputCategory::Capture, 1280, 720));
    VideoFormat current;
    ASSERT_TRUE(accepting.graph->streamFormat(accepting.source, OutputCategory::Capture, current));
    EXPECT_EQ(current.width, 1280);
    ASSERT_TRUE(accepting.render());
    VideoFormat format;
    ASSERT_TRUE(accepting.graph->connectedFormat(accepting.grabber, format));
    EXPECT_EQ(format.width, 1280);
    EXPECT_EQ(format.height, 720);

    GrabberChain refusing("Old Camera{size=352x288,hd=0}");
    const MediaResult refused =
        refusing.graph->setStreamFormat(refusing.source, OutputCategory::Capture, 1280, 720);
    EXPECT_EQ(refused.error(), MediaError::Refused);
    ASSERT_TRUE(refusing.render());
    ASSERT_TRUE(refusing.graph->connectedFormat(refusing.grabber, format));
    EXPECT_EQ(format.width, 352);
    EXPECT_EQ(format.height, 288);
}

class StillOutput : public ::testing::Test {
protected:
    void SetUp() override { setenv("QELVO_RUNTIME_DIR", dir_.path().c_str(), 1); }
    void TearDown() override { unsetenv("QELVO_RUNTIME_DIR"); }
    test::TempFolder dir_;
};

TEST_F(StillOutput, DeliversOneFramePerPressAndNothingElse) {
    const std::string name = "Still Cam " + std::to_string(::getpid());
    pressStill(name);  // an old press, from before the device was opened: not delivered
    GrabberChain chain(name + "{still,size=160x120}");
    ASSERT_TRUE(chain.graph->hasOutput(chain.source, OutputCategory::Still));
    MediaComponent captureGrabber, captureSink;
    ASSERT_TRUE(createFrameGrabber(captureGrabber));
    ASSERT_TRUE(chain.graph->add(captureGrabber, "Grabber"));
    ASSERT_TRUE(createNullRenderer(captureSink));
    ASSERT_TRUE(chain.graph->add(captureSink, "NULL renderer"));
    EXPECT_EQ(captureGrabber.name(), "Grabber 0001");
    EXPECT_EQ(captureSink.name(), "NULL renderer 0001");
    ASSERT_TRUE(chain.graph->renderStream(OutputCategory::Capture, chain.source, &captureGrabber,
                                          &captureSink));
    ASSERT_TRUE(chain.render(OutputCategory::Still));
    // The still output negotiates its format without delivering a frame.
    VideoFormat format;
    ASSERT_TRUE(chain.graph->connectedFormat(chain.grabber, format));
    EXPECT_EQ(format.width, 160);
    RecordingCallback live;
    ASSERT_TRUE(setGrabberCallback(captureGrabber, &live));
    ASSERT_TRUE(chain.start());
    ASSERT_TRUE(waitUntil([&] { return live.frames() >= 10; }));
    EXPECT_EQ(chain.callback.frames(), 0u);

    ASSERT_TRUE(pressStill(name));
    ASSERT_TRUE(waitUntil([&] { return chain.callback.frames() >= 1; }));
    ASSERT_TRUE(pressStill(name));
    ASSERT_TRUE(pressStill(name));
    ASSERT_TRUE(waitUntil([&] { return chain.callback.frames() >= 3; }));
    const std::size_t seenLive = live.frames();
    ASSERT_TRUE(waitUntil([&] { return live.frames() >= seenLive + 10; }));
    EXPECT_EQ(chain.callback.frames(), 3u);
    EXPECT_EQ(chain.callback.sizes().front(), paddedRow(160) * 120);
}

TEST(Outputs, DeviceWithoutCaptureOutputRendersItsPreviewIntoTheVideoWindow) {
    auto graph = MediaGraph::create();
    ASSERT_TRUE(graph);
    MediaComponent source, grabber;
    ASSERT_TRUE(bindVideoInput(virtualDevice("Scope{nocapture,size=160x120}"), source));
    ASSERT_TRUE(graph->add(source, "Cap"));
    ASSERT_TRUE(createFrameGrabber(grabber));
    ASSERT_TRUE(graph->add(grabber, "Grabber"));
    EXPECT_FALSE(graph->hasOutput(source, OutputCategory::Capture));
    EXPECT_FALSE(graph->hasOutput(source, OutputCategory::Still));
    EXPECT_TRUE(graph->hasOutput(source, OutputCategory::Preview));
    EXPECT_EQ(graph->renderStream(OutputCategory::Capture, source, &grabber, nullptr).error(),
              MediaError::NotFound);
    EXPECT_EQ(graph->renderStream(OutputCategory::Still, source, &grabber, nullptr).error(),
              MediaError::NotFound);
    EXPECT_FALSE(graph->videoWindow().hasRenderer());
    EXPECT_EQ(graph->videoWindow().setVisible(true).error(), MediaError::NoInterface);

    // Without a sink the chain ends in the default renderer, shown by the video window.
    ASSERT_TRUE(graph->renderStream(OutputCategory::Preview, source, &grabber, nullptr));
    ASSERT_TRUE(graph->videoWindow().hasRenderer());
    QWidget panel;
    panel.resize(320, 240);
    ASSERT_TRUE(graph->videoWindow().setOwner(&panel));
    ASSERT_TRUE(graph->videoWindow().setPosition(0, 0, 320, 240));
    ASSERT_TRUE(graph->videoWindow().setVisible(true));
    panel.show();
    RecordingCallback callback;
    ASSERT_TRUE(setGrabberCallback(grabber, &callback));
    ASSERT_TRUE(graph->run());
    ASSERT_TRUE(waitUntil(
        [&] { return callback.frames() >= 3 && graph->videoWindow().paintedFrames() >= 1; }));
    EXPECT_EQ(graph->videoWindow().widget()->parentWidget(), &panel);
    EXPECT_EQ(graph->videoWindow().geometry(), QRect(0, 0, 320, 240));
    ASSERT_TRUE(graph->videoWindow().setOwner(nullptr));
    EXPECT_FALSE(graph->videoWindow().isVisible());
    ASSERT_TRUE(graph->stop());
}

TEST(Outputs, FramesThatStopAndAnUnplugReportedOnceOnTheGuiThread) {
    GrabberChain quiet("Dying Cam{size=160x120,stopafter=5}");
    ASSERT_TRUE(quiet.render());
    ASSERT_TRUE(quiet.start());
    ASSERT_TRUE(waitUntil([&] { return quiet.callback.frames() >= 5; }));
    pump(400);  // a dozen frame intervals
    EXPECT_EQ(quiet.callback.frames(), 5u);
    EXPECT_TRUE(quiet.graph->stop());

    GrabberChain unplugged("Unplugged Cam{size=160x120,stopafter=3,unplug}");
    std::vector<MediaEvent> events;
    const Qt::HANDLE gui = QThread::currentThreadId();
    bool offThread = false;
    unplugged.graph->setEventHandler([&](const MediaEvent& e) {
        events.push_back(e);
        offThread = offThread || QThread::currentThreadId() != gui;
    });
    ASSERT_TRUE(unplugged.render());
    ASSERT_TRUE(unplugged.start());
    ASSERT_TRUE(waitUntil([&] { return !events.empty(); }));
    pump(200);
    EXPECT_FALSE(offThread);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, MediaEvent::Kind::Error);
    EXPECT_NE(events[0].message.find("disconnected"), std::string::npos) << events[0].message;
    EXPECT_EQ(unplugged.callback.frames(), 3u);
    unplugged.graph->stop();
    EXPECT_EQ(unplugged.graph->state(), GraphState::Stopped);
}

TEST(Outputs, TheEventHandlerMayDestroyTheGraph) {
    auto chain = std::make_unique<GrabberChain>("Gone Cam{size=160x120,stopafter=2,unplug}");
    ASSERT_TRUE(chain->render());
    int errors = 0;
    chain->graph->setEventHandler([&](const MediaEvent& e) {
        if (e.kind == MediaEvent::Kind::Error) ++errors;
        chain->graph.reset();  // as a window tearing its capture down on a failure
    });
    ASSERT_TRUE(chain->start());
    ASSERT_TRUE(waitUntil([&] { return !chain->graph; }));
    pump(100);
    EXPECT_EQ(errors, 1);
}

TEST(Teardown, NoCallbackRunsAfterStopOrRemovalReturns) {
    GrabberChain chain("Busy Cam{size=320x240,fps=60}");
    ASSERT_TRUE(chain.render());
    std::atomic<bool> stopped{false};
    std::atomic<int> late{0};
    chain.callback.onFrame = [&] {
        QThread::usleep(3000);  // a slow callback, still inside the frame when stop starts
        if (stopped.load()) ++late;
    };
    ASSERT_TRUE(chain.start());
    ASSERT_TRUE(waitUntil([&] { return chain.callback.frames() >= 5; }));
    ASSERT_TRUE(chain.graph->stop());
    stopped = true;
    pump(100);
    EXPECT_EQ(late.load(), 0);

    // Running again delivers again; removing the callback ends delivery at once.
    stopped = false;
    const std::size_t before = chain.callback.frames();
    ASSERT_TRUE(chain.graph->run());
    ASSERT_TRUE(waitUntil([&] { return chain.callback.frames() >= before + 3; }));
    ASSERT_TRUE(setGrabberCallback(chain.grabber, nullptr));
    stopped = true;
    pump(100);
    EXPECT_EQ(late.load(), 0);
    chain.graph.reset();  // destroying a running graph stops it
}

class Recording : public ::testing::Test {
protected:
    std::string path(const char* name) { return dir_ / name; }

    // source -> encoder -> AVI file, preview -> video window, as a recording graph is built.
    std::unique_ptr<MediaGraph> recordingGraph(const std::string& deviceText,
                                               const std::string& file, MediaResult& result,
                                               MediaComponent* sourceOut = nullptr) {
        auto graph = MediaGraph::create();
        MediaComponent source, encoder, mux;
        EXPECT_TRUE(bindVideoInput(virtualDevice(deviceText), source));
        EXPECT_TRUE(graph->add(source, "Cap"));
        if (sourceOut) *sourceOut = source;
        bool found = false;
        for (const MediaDevice& d : enumerateDevices(DeviceCategory::VideoCompressor)) {
            if (d.friendlyName == kMpeg4EncoderName && bindDevice(d, encoder)) {
                found = true;
                break;
            }
        }
        EXPECT_TRUE(found);
        EXPECT_TRUE(graph->add(encoder, kMpeg4EncoderName));
        result = graph->setOutputFile(file, mux);
        if (!result) return graph;
        result = graph->renderStream(OutputCategory::Capture, source, &encoder, &mux);
        if (!result) return graph;
        result = graph->renderStream(OutputCategory::Preview, source, nullptr, nullptr);
        return graph;
    }
    test::TempFolder dir_;
};

TEST_F(Recording, StoppedRecordingIsACompletePlayableFile) {
    const std::string file = path("clip.avi");
    MediaResult built;
    auto graph = recordingGraph("Rec Cam{size=320x240,fps=30}", file, built);
    ASSERT_TRUE(built) << built.message();
    EXPECT_EQ(graph->componentNames(),
              (std::vector<std::string>{"Cap", kMpeg4EncoderName, "AVI Mux", "File writer",
                                        "Video Renderer"}));
    QWidget panel;
    panel.resize(320, 240);
    ASSERT_TRUE(graph->videoWindow().setOwner(&panel));
    ASSERT_TRUE(graph->videoWindow().setPosition(0, 0, 320, 240));
    ASSERT_TRUE(graph->videoWindow().setVisible(true));
    panel.show();
    ASSERT_TRUE(graph->run());
    pump(1500);
    EXPECT_GE(graph->videoWindow().paintedFrames(), 1u);  // the live picture while recording
    ASSERT_TRUE(graph->stop()) << graph->stop().message();

    MediaFileInfo info;
    ASSERT_TRUE(inspectMediaFile(file, info)) << file;
    EXPECT_EQ(info.width, 320);
    EXPECT_EQ(info.height, 240);
    EXPECT_FALSE(info.videoCodec.empty());
    EXPECT_NE(info.videoCodec, "video/x-raw");  // compressed by the MPEG-4 encoder
    EXPECT_GE(info.videoFrames, 20u);
    EXPECT_NEAR(info.durationSeconds, info.videoFrames / 30.0, 0.1);
}

TEST_F(Recording, UnwritableFileFailsToRunWithAReason) {
    MediaResult built;
    auto graph = recordingGraph("Rec Cam", path("missing-folder/clip.avi"), built);
    ASSERT_TRUE(built) << built.message();
    const MediaResult ran = graph->run();
    EXPECT_FALSE(ran);
    EXPECT_FALSE(ran.message().empty());
    EXPECT_EQ(graph->state(), GraphState::Stopped);
}

TEST_F(Recording, DeviceLostWhileRecordingLeavesWhatWasWrittenPlayable) {
    const std::string file = path("cut.avi");
    MediaResult built;
    auto graph = recordingGraph("Flaky Cam{size=160x120,stopafter=15,unplug}", file, built);
    ASSERT_TRUE(built) << built.message();
    std::vector<MediaEvent> events;
    graph->setEventHandler([&](const MediaEvent& e) { events.push_back(e); });
    ASSERT_TRUE(graph->run());
    ASSERT_TRUE(waitUntil([&] { return !events.empty(); }));
    EXPECT_EQ(events[0].kind, MediaEvent::Kind::Error);
    graph->stop();
    MediaFileInfo info;
    ASSERT_TRUE(inspectMediaFile(file, info));
    // After the failure the file is ended at the multiplexer, so a frame still on its way to
    // the encoder on a busy machine is not in it; what reached the file is an indexed movie.
    EXPECT_GT(info.videoFrames, 0u);
    EXPECT_LE(info.videoFrames, 15u);
}

TEST_F(Recording, PlaybackCuesRunsPausesAndReportsTheEnd) {
    const std::string file = path("short.avi");
    {
        MediaResult built;
        auto graph = recordingGraph("Short Cam{size=160x120,stopafter=20}", file, built);
        ASSERT_TRUE(built) << built.message();
        ASSERT_TRUE(graph->run());
        pump(900);
        ASSERT_TRUE(graph->stop());
    }
    auto player = MediaGraph::create();
    ASSERT_TRUE(player->renderFile(file));
    EXPECT_EQ(player->state(), GraphState::Paused);
    EXPECT_NEAR(player->durationSeconds(), 20 / 30.0, 0.1);
    QWidget panel;
    panel.resize(200, 150);
    ASSERT_TRUE(player->videoWindow().setOwner(&panel));
    ASSERT_TRUE(player->videoWindow().setPosition(0, 0, 200, 150));
    ASSERT_TRUE(player->videoWindow().setVisible(true));
    panel.show();
    // The cued first frame is shown while paused.
    ASSERT_TRUE(waitUntil([&] { return player->videoWindow().paintedFrames() >= 1; }));

    bool ended = false;
    player->setEventHandler([&](const MediaEvent& e) {
        if (e.kind == MediaEvent::Kind::EndOfStream) ended = true;
    });
    ASSERT_TRUE(player->run());
    ASSERT_TRUE(player->pause());
    EXPECT_EQ(player->state(), GraphState::Paused);
    ASSERT_TRUE(player->run());
    ASSERT_TRUE(waitUntil([&] { return ended; }));
    EXPECT_GT(player->videoWindow().paintedFrames(), 1u);
    ASSERT_TRUE(player->stop());
    EXPECT_EQ(player->state(), GraphState::Stopped);
}

TEST_F(Recording, FilesThatCannotBePlayedAreRefused) {
    const std::string text = path("notes.avi");
    std::ofstream(text) << "not a movie";
    auto player = MediaGraph::create();
    EXPECT_FALSE(player->renderFile(text));
    EXPECT_FALSE(MediaGraph::create()->renderFile(path("absent.avi")));
    MediaFileInfo info;
    EXPECT_FALSE(inspectMediaFile(text, info));
}

// Weak references to a pipeline and every element inside it, bins' children included.
class ElementWatch {
public:
    ~ElementWatch() {
        for (auto& ref : refs_) g_weak_ref_clear(ref.get());
    }
    void watchPipelineOf(const MediaComponent& component) {
        GstElement* pipeline = GST_ELEMENT_PARENT(component.impl()->element);
        ASSERT_NE(pipeline, nullptr);
        watch(G_OBJECT(pipeline));
        GstIterator* it = gst_bin_iterate_recurse(GST_BIN(pipeline));
        GValue item = G_VALUE_INIT;
        while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
            watch(G_OBJECT(g_value_get_object(&item)));
            g_value_reset(&item);
        }
        g_value_unset(&item);
        gst_iterator_free(it);
    }
    std::size_t watched() const { return refs_.size(); }
    std::vector<std::string> alive() {
        std::vector<std::string> names;
        for (auto& ref : refs_) {
            if (GObject* object = static_cast<GObject*>(g_weak_ref_get(ref.get()))) {
                names.push_back(GST_OBJECT_NAME(object));
                g_object_unref(object);
            }
        }
        return names;
    }

private:
    void watch(GObject* object) {
        refs_.push_back(std::make_unique<GWeakRef>());
        g_weak_ref_init(refs_.back().get(), object);
    }
    std::vector<std::unique_ptr<GWeakRef>> refs_;
};

// A window that records now and then builds a graph each time: nothing of a graph may stay
// behind once the graph and its components are gone.
TEST_F(Recording, EveryElementIsFreedWithItsGraph) {
    ElementWatch watch;
    {
        GrabberChain chain("Free Cam{size=160x120}");
        ASSERT_TRUE(chain.render());
        ASSERT_TRUE(chain.start());
        ASSERT_TRUE(waitUntil([&] { return chain.callback.frames() >= 2; }));
        watch.watchPipelineOf(chain.source);
    }
    {
        MediaResult built;
        MediaComponent source;
        auto graph = recordingGraph("Free Rec Cam{size=160x120}", path("free.avi"), built, &source);
        ASSERT_TRUE(built) << built.message();
        QWidget panel;
        ASSERT_TRUE(graph->videoWindow().setOwner(&panel));
        ASSERT_TRUE(graph->run());
        pump(300);
        watch.watchPipelineOf(source);
        ASSERT_TRUE(graph->stop());
    }
    EXPECT_GT(watch.watched(), 10u);
    EXPECT_EQ(watch.alive(), std::vector<std::string>{});
}

TEST(Devices, CompressorsListTheMpeg4EncoderFirstAndThereAreNoReceivers) {
    const auto compressors = enumerateDevices(DeviceCategory::VideoCompressor);
    ASSERT_FALSE(compressors.empty());
    EXPECT_EQ(compressors[0].friendlyName, kMpeg4EncoderName);
    EXPECT_EQ(compressors[0].element, "avenc_mpeg4");
    EXPECT_TRUE(enumerateDevices(DeviceCategory::ReceiverComponent).empty());
    MediaComponent none;
    VideoInputDevice camera;
    camera.friendlyName = "Unplugged camera";
    EXPECT_EQ(bindVideoInput(camera, none).error(), MediaError::NotFound);
}

TEST(Devices, WaitingForOneDeviceMessageTakesNoOtherExtendedMessageForIt) {
    ASSERT_TRUE(ensureGstreamer());
    GstBus* bus = gst_bus_new();
    GstStreamCollection* collection = gst_stream_collection_new(nullptr);
    gst_bus_post(bus, gst_message_new_property_notify(GST_OBJECT(bus), "name", nullptr));
    gst_bus_post(bus, gst_message_new_stream_collection(GST_OBJECT(bus), collection));
    GstMessage* got = popMessageOfType(bus, GST_MESSAGE_STREAM_COLLECTION, 0);
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(GST_MESSAGE_TYPE(got), GST_MESSAGE_STREAM_COLLECTION);
    gst_message_unref(got);
    got = popMessageOfType(bus, GST_MESSAGE_STREAM_COLLECTION, 0);
    EXPECT_EQ(got, nullptr) << "only one was posted";
    if (got) gst_message_unref(got);
    gst_object_unref(collection);
    gst_object_unref(bus);
}

}  // namespace
}  // namespace qelvo
