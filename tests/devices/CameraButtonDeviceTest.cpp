// The camera's button as the devices layer finds and reads it: the event records it decodes,
// the event node it finds next to a video device, and a node it may not read.
#include "devices/CameraButtonDevice.h"
#include "devices/InputEventDecoder.h"
#include "devices/KeyPressReader.h"
#include "support/CameraButtonInput.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/capability.h>
#include <linux/input.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <span>

namespace qelvo {
namespace {

namespace fs = std::filesystem;
using test::buttonLines;
using test::FakeSysfs;
using test::InputBytes;
using test::kCameraKeyBits;
using test::keyEvent;
using test::kKeyboardBits;
using test::operator+;
using test::TempFolder;

// A camera button pressed, held long enough to repeat, and released; then another key.
InputBytes mixedInput() {
    return keyEvent(KEY_CAMERA, 1) + keyEvent(KEY_CAMERA, 2) + keyEvent(KEY_CAMERA, 0) +
           encodeInputEvent(EV_MSC, MSC_SCAN, 0x90001) + keyEvent(KEY_VOLUMEUP, 1) +
           keyEvent(KEY_CAMERA, 1) + keyEvent(KEY_CAMERA, 0);
}

TEST(InputEventDecoderTest, OnlyPressesCountHoweverTheBytesAreSplit) {
    const InputBytes input = mixedInput();
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
    EXPECT_EQ(decodeKeyPresses(corrupt, keyEvent(KEY_CAMERA, 1)),
              std::vector<std::uint16_t>{KEY_CAMERA});
}

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

}  // namespace
}  // namespace qelvo
