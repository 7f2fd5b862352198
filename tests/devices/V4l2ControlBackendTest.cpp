// The V4L2 control backend against a camera driver played by this test: the process's ioctl
// is replaced, and calls on the handle of one temporary file are answered the way the
// kernel's control calls answer them; every other handle goes to the real ioctl.
#include <dlfcn.h>
#include <linux/videodev2.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "devices/CameraControlBackend.h"
#include "support/TempFolder.h"

namespace {

struct FakeControl {
    std::uint32_t id;
    std::uint32_t type;
    const char* name;
    std::int64_t minimum, maximum, step, defaultValue;
    std::uint32_t flags;
    std::int32_t value;
    std::vector<std::uint32_t> menuItems;  // the offered indices of a menu
};

struct FakeDriver {
    ino_t inode = 0;
    std::vector<FakeControl> controls;
    bool extendedQuery = true;   // VIDIOC_QUERY_EXT_CTRL known
    bool extendedValues = true;  // VIDIOC_G/S_EXT_CTRLS known
    bool includesStart = false;  // a faulty driver: "next" answers the control asked about
    bool unplugged = false;
};
FakeDriver fake;

FakeControl* byId(std::uint32_t id) {
    for (FakeControl& c : fake.controls)
        if (c.id == id) return &c;
    return nullptr;
}

FakeControl* query(std::uint32_t id) {
    if (!(id & V4L2_CTRL_FLAG_NEXT_CTRL)) return byId(id);
    const std::uint32_t base = id & ~(V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND);
    for (FakeControl& c : fake.controls)
        if (c.id > base || (fake.includesStart && c.id == base)) return &c;
    return nullptr;
}

int fail(int error) {
    errno = error;
    return -1;
}

int driver(unsigned long request, void* arg) {
    if (fake.unplugged) return fail(ENODEV);
    switch (request) {
        case VIDIOC_QUERYCAP:
            return 0;
        case VIDIOC_QUERY_EXT_CTRL: {
            if (!fake.extendedQuery) return fail(ENOTTY);
            auto* q = static_cast<v4l2_query_ext_ctrl*>(arg);
            const FakeControl* c = query(q->id);
            if (!c) return fail(EINVAL);
            *q = {};
            q->id = c->id;
            q->type = c->type;
            std::snprintf(q->name, sizeof q->name, "%s", c->name);
            q->minimum = c->minimum;
            q->maximum = c->maximum;
            q->step = static_cast<std::uint64_t>(c->step);
            q->default_value = c->defaultValue;
            q->flags = c->flags;
            return 0;
        }
        case VIDIOC_QUERYCTRL: {
            auto* q = static_cast<v4l2_queryctrl*>(arg);
            const FakeControl* c = query(q->id);
            if (!c) return fail(EINVAL);
            *q = {};
            q->id = c->id;
            q->type = c->type;
            std::snprintf(reinterpret_cast<char*>(q->name), sizeof q->name, "%s", c->name);
            q->minimum = static_cast<std::int32_t>(c->minimum);
            q->maximum = static_cast<std::int32_t>(c->maximum);
            q->step = static_cast<std::int32_t>(c->step);
            q->default_value = static_cast<std::int32_t>(c->defaultValue);
            q->flags = c->flags;
            return 0;
        }
        case VIDIOC_QUERYMENU: {
            auto* m = static_cast<v4l2_querymenu*>(arg);
            const FakeControl* c = byId(m->id);
            if (!c) return fail(EINVAL);
            for (std::uint32_t index : c->menuItems) {
                if (index != m->index) continue;
                if (c->type == V4L2_CTRL_TYPE_INTEGER_MENU)
                    m->value = 1000 + index;
                else
                    std::snprintf(reinterpret_cast<char*>(m->name), sizeof m->name, "Item %u",
                                  index);
                return 0;
            }
            return fail(EINVAL);
        }
        case VIDIOC_G_CTRL:
        case VIDIOC_S_CTRL: {
            // The single-control calls serve the user class only.
            auto* v = static_cast<v4l2_control*>(arg);
            FakeControl* c = byId(v->id);
            if (!c || V4L2_CTRL_ID2CLASS(v->id) != V4L2_CTRL_CLASS_USER) return fail(EINVAL);
            if (request == VIDIOC_G_CTRL)
                v->value = c->value;
            else
                c->value = v->value;
            return 0;
        }
        case VIDIOC_G_EXT_CTRLS:
        case VIDIOC_S_EXT_CTRLS: {
            if (!fake.extendedValues) return fail(ENOTTY);
            auto* list = static_cast<v4l2_ext_controls*>(arg);
            if (list->count != 1) return fail(EINVAL);
            FakeControl* c = byId(list->controls[0].id);
            if (!c || V4L2_CTRL_ID2WHICH(c->id) != list->which) return fail(EINVAL);
            if (request == VIDIOC_G_EXT_CTRLS)
                list->controls[0].value = c->value;
            else
                c->value = list->controls[0].value;
            return 0;
        }
        default:
            return fail(ENOTTY);
    }
}

bool isFake(int fd) {
    struct stat st {};
    return fake.inode != 0 && ::fstat(fd, &st) == 0 && st.st_ino == fake.inode;
}

}  // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    if (isFake(fd)) return driver(request, arg);
    using Real = int (*)(int, unsigned long, ...);
    static const auto real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "ioctl"));
    return real(fd, request, arg);
}

namespace qelvo {
namespace {

class V4l2ControlBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::ofstream(path_) << "camera";
        struct stat st {};
        ASSERT_EQ(::stat(path_.c_str(), &st), 0);
        fake = {};
        fake.inode = st.st_ino;
        // clang-format off
        fake.controls = {
            {V4L2_CTRL_CLASS_USER | 1, V4L2_CTRL_TYPE_CTRL_CLASS, "User Controls", 0, 0, 0, 0, 0, 0, {}},
            {V4L2_CID_BRIGHTNESS, V4L2_CTRL_TYPE_INTEGER, "Brightness", -64, 64, 0, 0, 0, 5, {}},
            {V4L2_CID_CONTRAST, V4L2_CTRL_TYPE_INTEGER, "Contrast", 0, 9, 1, 4, V4L2_CTRL_FLAG_DISABLED, 0, {}},
            {V4L2_CID_SATURATION, V4L2_CTRL_TYPE_STRING, "Text", 0, 32, 1, 0, 0, 0, {}},
            {V4L2_CID_POWER_LINE_FREQUENCY, V4L2_CTRL_TYPE_MENU, "Power Line Frequency", 0, 3, 1, 1, 0, 1, {0, 2, 3}},
            {V4L2_CTRL_CLASS_CAMERA | 1, V4L2_CTRL_TYPE_CTRL_CLASS, "Camera Controls", 0, 0, 0, 0, 0, 0, {}},
            {V4L2_CID_EXPOSURE_ABSOLUTE, V4L2_CTRL_TYPE_INTEGER, "Exposure", 3, 2047, 1, 250, 0, 250, {}},
            {V4L2_CID_ZOOM_ABSOLUTE, V4L2_CTRL_TYPE_INTEGER_MENU, "Zoom", 0, 1, 1, 0, 0, 0, {0, 1}},
        };
        // clang-format on
    }
    void TearDown() override { fake = {}; }

    std::unique_ptr<CameraControlBackend> openBackend() {
        std::string error;
        auto backend = openV4l2ControlBackend(path_, error);
        EXPECT_NE(backend, nullptr) << error;
        return backend;
    }

    test::TempFolder folder_;
    std::string path_ = folder_.path() + "/video0";
};

std::vector<std::string> names(const std::vector<CameraControlInfo>& controls) {
    std::vector<std::string> out;
    for (const CameraControlInfo& c : controls) out.push_back(c.name);
    return out;
}

TEST_F(V4l2ControlBackendTest, ReadsEveryShownControlAndSetsThemInTheirOwnClass) {
    auto backend = openBackend();
    ASSERT_TRUE(backend);
    const auto controls = backend->enumerate();
    EXPECT_EQ(names(controls),
              (std::vector<std::string>{"User Controls", "Brightness", "Power Line Frequency",
                                        "Camera Controls", "Exposure", "Zoom"}));
    EXPECT_EQ(controls[1].step, 1);  // a step of 0 from the driver
    ASSERT_EQ(controls[2].menu.size(), 3u);
    EXPECT_EQ(controls[2].menu[1].index, 2);  // index 1 is a gap
    EXPECT_EQ(controls[2].menu[1].label, "Item 2");
    EXPECT_EQ(controls[5].menu[1].label, "1001");

    // A camera-class control is read and written through the extended calls.
    std::string error;
    ASSERT_TRUE(backend->set(V4L2_CID_EXPOSURE_ABSOLUTE, 900, error)) << error;
    std::int32_t value = 0;
    ASSERT_TRUE(backend->get(V4L2_CID_EXPOSURE_ABSOLUTE, value, error)) << error;
    EXPECT_EQ(value, 900);

    // A driver whose "next" answers the control it was asked about ends its list instead of
    // repeating it (or, for a kind not shown, looping for ever).
    fake.includesStart = true;
    EXPECT_LE(backend->enumerate().size(), fake.controls.size());
    fake.controls.insert(fake.controls.begin(),
                         {0x00980000, V4L2_CTRL_TYPE_STRING, "Text", 0, 1, 1, 0, 0, 0, {}});
    EXPECT_TRUE(backend->enumerate().empty());
}

TEST_F(V4l2ControlBackendTest, AnOlderDriverIsAskedTheOldWayAndAnUnpluggedOneSaysSo) {
    fake.extendedQuery = false;
    fake.extendedValues = false;
    auto backend = openBackend();
    ASSERT_TRUE(backend);
    EXPECT_EQ(backend->enumerate().size(), 6u);
    std::string error;
    std::int32_t value = 0;
    ASSERT_TRUE(backend->set(V4L2_CID_BRIGHTNESS, -7, error)) << error;
    ASSERT_TRUE(backend->get(V4L2_CID_BRIGHTNESS, value, error)) << error;
    EXPECT_EQ(value, -7);
    EXPECT_FALSE(backend->deviceGone());

    fake.unplugged = true;
    EXPECT_FALSE(backend->get(V4L2_CID_BRIGHTNESS, value, error));
    EXPECT_TRUE(backend->deviceGone());
    EXPECT_TRUE(backend->enumerate().empty());
}

}  // namespace
}  // namespace qelvo
