#include "capture/CameraButtonWatch.h"
#include "capture/CaptureFixture.h"
#include "devices/InputEventDecoder.h"
#include "support/ButtonPipe.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <linux/input.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>

namespace qelvo {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;
using test::waitUntil;

using Bytes = std::vector<std::uint8_t>;

// The lines the button code wrote among what else went to standard error.
std::vector<std::string> buttonLines(const std::string& said) {
    std::vector<std::string> lines;
    std::istringstream in(said);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("camera button: ", 0) == 0) lines.push_back(line);
    return lines;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes key(std::uint16_t code, std::int32_t value) {
    return encodeInputEvent(EV_KEY, code, value) + encodeInputEvent(EV_SYN, SYN_REPORT, 0);
}

// A camera button pressed, held long enough to repeat, and released; then another key.
Bytes mixedInput() {
    return key(KEY_CAMERA, 1) + key(KEY_CAMERA, 2) + key(KEY_CAMERA, 0) +
           encodeInputEvent(EV_MSC, MSC_SCAN, 0x90001) + key(KEY_VOLUMEUP, 1) + key(KEY_CAMERA, 1) +
           key(KEY_CAMERA, 0);
}

TEST(InputEventDecoderTest, OnlyPressesCountHoweverTheBytesAreSplit) {
    const Bytes input = mixedInput();
    const std::vector<std::uint16_t> expected{KEY_CAMERA, KEY_VOLUMEUP, KEY_CAMERA};
    InputEventCarry carry;
    EXPECT_EQ(decodeKeyPresses(carry, input), expected);
    EXPECT_TRUE(carry.partial.empty());

    // Every cut through the stream, including one inside a record, gives the same presses.
    for (std::size_t step :
         {std::size_t(1), std::size_t(7), inputEventRecordSize() - 1, inputEventRecordSize() + 5}) {
        InputEventCarry split;
        std::vector<std::uint16_t> got;
        for (std::size_t at = 0; at < input.size(); at += step) {
            const std::size_t n = std::min(step, input.size() - at);
            const auto presses = decodeKeyPresses(split, std::span(input).subspan(at, n));
            got.insert(got.end(), presses.begin(), presses.end());
            EXPECT_LT(split.partial.size(), inputEventRecordSize());
        }
        EXPECT_EQ(got, expected) << "read " << step << " bytes at a time";
    }

    // A carry that cannot be the start of a record is dropped, not overrun.
    InputEventCarry corrupt;
    corrupt.partial.assign(inputEventRecordSize() * 3, 0xff);
    EXPECT_EQ(decodeKeyPresses(corrupt, key(KEY_CAMERA, 1)),
              std::vector<std::uint16_t>{KEY_CAMERA});
}

// A fake device tree: a USB device "1-2" with its video interface "1-2:1.0", and the
// /dev folder the event node is named under.
class FakeSysfs {
public:
    FakeSysfs() {
        usbDevice = fs::path(root.path()) / "sys/devices/pci0000:00/usb1/1-2";
        fs::create_directories(usbDevice / "1-2:1.0");
        fs::create_directories(usbDevice / "1-2:1.1");
        write(usbDevice / "idVendor", "0c45");
        fs::create_directories(roots.sysfs / "class/video4linux/video2");
        fs::create_symlink(usbDevice / "1-2:1.0", roots.sysfs / "class/video4linux/video2/device");
    }
    // An input device with its event node under `holder`; `keyCapabilities` as the kernel
    // writes them ("" for no capabilities file).
    void addInput(const fs::path& holder, const std::string& input, const std::string& event,
                  const std::string& keyCapabilities = {}) {
        fs::create_directories(holder / "input" / input / event);
        if (!keyCapabilities.empty()) {
            fs::create_directories(holder / "input" / input / "capabilities");
            write(holder / "input" / input / "capabilities/key", keyCapabilities + "\n");
        }
    }
    static void write(const fs::path& file, const std::string& text) {
        std::ofstream(file) << text;
    }

    TempFolder root;
    DeviceRoots roots{fs::path(root.path()) / "sys", fs::path(root.path()) / "dev"};
    fs::path usbDevice;
};

// The camera key's bit in the key capabilities, as a 64-bit kernel writes it.
const std::string kCameraKeyBits = "100000 0 0 0";
const std::string kKeyboardBits = "ffffffff 0";  // keys 0-31 only

TEST(CameraButtonDeviceTest, FindsTheEventNodeOfTheSameUsbDevice) {
    {  // uvcvideo: the input device hangs off the video interface.
        FakeSysfs tree;
        tree.addInput(tree.usbDevice / "1-2:1.0", "input7", "event5", kCameraKeyBits);
        const auto found = findCameraButtonDevice("/dev/video2", tree.roots);
        EXPECT_EQ(found.eventNode, (tree.roots.dev / "input/event5").string()) << found.problem;
    }
    {  // gspca: under the USB device; a keyboard interface of the same device is passed over.
        FakeSysfs tree;
        tree.addInput(tree.usbDevice / "1-2:1.1", "input3", "event2", kKeyboardBits);
        tree.addInput(tree.usbDevice, "input9", "event8");
        const auto found = findCameraButtonDevice("/dev/video2", tree.roots);
        EXPECT_EQ(found.eventNode, (tree.roots.dev / "input/event8").string()) << found.problem;
    }
    {  // A stable link to the node is followed to its videoN name.
        FakeSysfs tree;
        tree.addInput(tree.usbDevice / "1-2:1.0", "input7", "event5");
        const fs::path node = fs::path(tree.root.path()) / "video2";
        FakeSysfs::write(node, "");
        fs::create_symlink(node, fs::path(tree.root.path()) / "usb-Microscope-video-index0");
        const auto found =
            findCameraButtonDevice(tree.root / "usb-Microscope-video-index0", tree.roots);
        EXPECT_EQ(found.eventNode, (tree.roots.dev / "input/event5").string()) << found.problem;
    }
    {  // A capabilities entry that is no regular file (here a pipe nobody writes) is not
       // read, which would block; the device is not ruled out.
        FakeSysfs tree;
        tree.addInput(tree.usbDevice / "1-2:1.0", "input7", "event5");
        const fs::path capabilities = tree.usbDevice / "1-2:1.0/input/input7/capabilities";
        fs::create_directories(capabilities);
        ASSERT_EQ(::mkfifo((capabilities / "key").c_str(), 0600), 0);
        const auto found = findCameraButtonDevice("/dev/video2", tree.roots);
        EXPECT_EQ(found.eventNode, (tree.roots.dev / "input/event5").string()) << found.problem;
    }
}

TEST(CameraButtonDeviceTest, LayoutsWithoutAButtonSayWhy) {
    FakeSysfs tree;
    auto problem = [&](const std::string& path) {
        const auto found = findCameraButtonDevice(path, tree.roots);
        EXPECT_TRUE(found.eventNode.empty()) << found.eventNode;
        return found.problem;
    };
    EXPECT_NE(problem("/dev/video2").find("has no button input device"), std::string::npos);
    tree.addInput(tree.usbDevice / "1-2:1.1", "input3", "event2", kKeyboardBits);
    EXPECT_NE(problem("/dev/video2").find("no camera key"), std::string::npos);
    EXPECT_NE(problem("/dev/video9").find("no device entry for video9"), std::string::npos);
    EXPECT_NE(problem("/dev/sda").find("not a V4L2"), std::string::npos);

    // A video device that is not on USB (a PCI capture card) has no USB device to search.
    fs::remove(tree.usbDevice / "idVendor");
    EXPECT_NE(problem("/dev/video2").find("is not a USB device"), std::string::npos);
}

// Presses written into a pipe reach the window's snapshot request the way a poll's do.
using CameraButtonPipeTest = test::CaptureFixture;

TEST_F(CameraButtonPipeTest, EachPressIsOneSnapshotRequestAlsoWhileRecording) {
    setSelectedDeviceName("Button Cam");
    auto window = makeWindow(test::writtenSnapshots(), "Button Cam{size=160x120,fps=30}");
    window->show();
    CaptureSession& session = window->session();
    int refused = 0;
    QObject::connect(&session, &CaptureSession::buttonPressed, [&] {
        if (!session.requestSnapshot()) ++refused;
    });
    ASSERT_EQ(window->startAndSettle(), CaptureSession::State::Live);
    test::ButtonPipe button(session.cameraButton());
    ASSERT_TRUE(window->waitForLiveFrames(2));

    // A press cut in two by the writer, then its repeat and release: one picture.
    const Bytes press = key(KEY_CAMERA, 1);
    ASSERT_TRUE(button.send(Bytes(press.begin(), press.begin() + 5)));
    QCoreApplication::processEvents();
    ASSERT_TRUE(button.send(Bytes(press.begin() + 5, press.end()) + key(KEY_CAMERA, 2) +
                            key(KEY_CAMERA, 0)));
    ASSERT_TRUE(waitUntil([&] { return window->written.size() == 1; }));
    EXPECT_EQ(window->buttonPresses, 1);

    // Recording rebuilds the graph; the button stays watched, and its request is refused.
    session.startRecording(folder / "movie.avi", window->view());
    ASSERT_TRUE(session.isRecording());
    ASSERT_TRUE(button.send(key(KEY_VOLUMEUP, 1) + key(KEY_CAMERA, 1) + key(KEY_CAMERA, 0)));
    ASSERT_TRUE(waitUntil([&] { return window->buttonPresses == 2; }));
    session.stopRecording();
    EXPECT_EQ(refused, 1);
    waitForSnapshotWriters();
    QCoreApplication::processEvents();
    EXPECT_EQ(window->written.size(), 1u) << "nothing is taken while recording";

    // The camera goes away: the reader closes with one line and takes no more presses.
    testing::internal::CaptureStderr();
    button.closeWriter();
    ASSERT_TRUE(waitUntil([&] { return !session.cameraButton().isWatching(); }));
    EXPECT_EQ(buttonLines(testing::internal::GetCapturedStderr()),
              std::vector<std::string>{"camera button: button pipe closed (end of input)"});
    EXPECT_EQ(window->buttonPresses, 2);
}

// Takes from the calling thread, for as long as it lives, the capabilities that let root
// read files whatever their permissions, so that the test sees what a user sees.
class WithoutReadOverride {
public:
    WithoutReadOverride() {
        if (::syscall(SYS_capget, &header_, saved_) != 0) return;
        __user_cap_data_struct reduced[2];
        std::memcpy(reduced, saved_, sizeof reduced);
        for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH})
            reduced[cap / 32].effective &= ~(1u << (cap % 32));
        dropped_ = ::syscall(SYS_capset, &header_, reduced) == 0;
    }
    ~WithoutReadOverride() {
        if (dropped_) ::syscall(SYS_capset, &header_, saved_);
    }

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
    bool dropped_ = false;
};

TEST(CameraButtonPermissionTest, UnreadableNodeIsReportedOnceWithTheFix) {
    TempFolder tree;
    const std::string node = tree / "event3";
    FakeSysfs::write(node, "");
    ASSERT_EQ(::chmod(node.c_str(), 0), 0);

    WithoutReadOverride asAUser;
    if (const int probe = ::open(node.c_str(), O_RDONLY); probe >= 0) {
        ::close(probe);
        GTEST_SKIP() << "this process reads any file";
    }
    testing::internal::CaptureStderr();
    EXPECT_EQ(KeyPressReader::open(node, {}), nullptr);
    const auto said = buttonLines(testing::internal::GetCapturedStderr());
    ASSERT_EQ(said.size(), 1u);
    for (const std::string& part : {node, std::string("'input' group"), std::string("uaccess")})
        EXPECT_NE(said[0].find(part), std::string::npos) << said[0];
}

TEST(CameraButtonWatchTest, ADeviceWithoutAButtonIsReportedOnceNotRetried) {
    FakeSysfs tree;
    CameraButtonWatch watch(tree.roots);
    testing::internal::CaptureStderr();
    watch.follow("/dev/video2");
    watch.follow("/dev/video2");  // the graph was rebuilt for the same camera
    EXPECT_EQ(buttonLines(testing::internal::GetCapturedStderr()),
              std::vector<std::string>{"camera button: video2 has no button input device; the "
                                       "camera's own button is not used"});
    EXPECT_FALSE(watch.isWatching());

    // A camera whose event node exists but cannot be opened here (the fake /dev has none).
    tree.addInput(tree.usbDevice / "1-2:1.0", "input7", "event5", kCameraKeyBits);
    testing::internal::CaptureStderr();
    watch.follow("");  // another, virtual device
    watch.follow("/dev/video2");
    watch.follow("/dev/video2");
    const auto second = buttonLines(testing::internal::GetCapturedStderr());
    ASSERT_EQ(second.size(), 1u);
    EXPECT_NE(second[0].find("cannot open " + (tree.roots.dev / "input/event5").string()),
              std::string::npos)
        << second[0];
}

}  // namespace
}  // namespace qelvo
