#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "devices/CameraControlBackend.h"

namespace qelvo {

static_assert(CameraControlFlag::Disabled == V4L2_CTRL_FLAG_DISABLED);
static_assert(CameraControlFlag::Grabbed == V4L2_CTRL_FLAG_GRABBED);
static_assert(CameraControlFlag::ReadOnly == V4L2_CTRL_FLAG_READ_ONLY);
static_assert(CameraControlFlag::Update == V4L2_CTRL_FLAG_UPDATE);
static_assert(CameraControlFlag::Inactive == V4L2_CTRL_FLAG_INACTIVE);
static_assert(CameraControlFlag::WriteOnly == V4L2_CTRL_FLAG_WRITE_ONLY);
static_assert(CameraControlFlag::Volatile == V4L2_CTRL_FLAG_VOLATILE);

namespace {

int xioctl(int fd, unsigned long request, void* arg) {
    int r;
    do {
        r = ::ioctl(fd, request, arg);
    } while (r < 0 && errno == EINTR);
    return r;
}

template <std::size_t N>
std::string fixedText(const char (&text)[N]) {
    return std::string(text, strnlen(text, N));
}

template <std::size_t N>
std::string fixedText(const unsigned char (&text)[N]) {
    const char* chars = reinterpret_cast<const char*>(text);
    return std::string(chars, strnlen(chars, N));
}

bool knownType(std::uint32_t type, CameraControlType& out) {
    switch (type) {
        case V4L2_CTRL_TYPE_INTEGER:
            out = CameraControlType::Integer;
            return true;
        case V4L2_CTRL_TYPE_BOOLEAN:
            out = CameraControlType::Boolean;
            return true;
        case V4L2_CTRL_TYPE_MENU:
            out = CameraControlType::Menu;
            return true;
        case V4L2_CTRL_TYPE_INTEGER_MENU:
            out = CameraControlType::IntegerMenu;
            return true;
        case V4L2_CTRL_TYPE_BUTTON:
            out = CameraControlType::Button;
            return true;
        case V4L2_CTRL_TYPE_CTRL_CLASS:
            out = CameraControlType::ClassHeading;
            return true;
        default:
            return false;  // 64-bit, string, bitmask and compound controls are not shown
    }
}

std::string errorText(const char* what, int error) {
    return std::string(what) + ": " + std::strerror(error);
}

// What either control query says about one control.
struct QueriedControl {
    std::uint32_t id = 0;
    std::uint32_t type = 0;
    std::string name;
    std::int64_t minimum = 0;
    std::int64_t maximum = 0;
    std::int64_t step = 1;
    std::int64_t defaultValue = 0;
    std::uint32_t flags = 0;
};

// A driver that never ends its list of controls stops being asked after this many.
constexpr int kMaxControls = 1024;

class V4l2ControlBackend : public CameraControlBackend {
public:
    explicit V4l2ControlBackend(int fd) : fd_(fd) {}
    ~V4l2ControlBackend() override { ::close(fd_); }
    V4l2ControlBackend(const V4l2ControlBackend&) = delete;
    V4l2ControlBackend& operator=(const V4l2ControlBackend&) = delete;

    std::vector<CameraControlInfo> enumerate() override {
        std::vector<CameraControlInfo> controls;
        CameraControlInfo info;
        std::uint32_t next = V4L2_CTRL_FLAG_NEXT_CTRL;
        while (queryOne(next, info)) {
            next = info.id | V4L2_CTRL_FLAG_NEXT_CTRL;
            if (info.has(CameraControlFlag::Disabled)) continue;
            if (info.type == CameraControlType::Menu || info.type == CameraControlType::IntegerMenu)
                readMenu(info);
            controls.push_back(std::move(info));
            info = {};
            if (controls.size() >= kMaxControls) break;
        }
        return controls;
    }

    bool flags(std::uint32_t id, std::uint32_t& flags) override {
        CameraControlInfo info;
        if (!queryOne(id, info) || info.id != id) return false;
        flags = info.flags;
        return true;
    }

    // Values go through the extended calls, which serve every control class; the single-
    // control calls are meant for the user class only and are kept for drivers without them.
    bool get(std::uint32_t id, std::int32_t& value, std::string& error) override {
        if (extendedValues_) {
            v4l2_ext_control control{};
            control.id = id;
            v4l2_ext_controls list{};
            list.which = V4L2_CTRL_ID2WHICH(id);
            list.count = 1;
            list.controls = &control;
            if (call(VIDIOC_G_EXT_CTRLS, &list) == 0) {
                value = control.value;
                return true;
            }
            if (errno != ENOTTY) {
                error = errorText("reading the control failed", errno);
                return false;
            }
            extendedValues_ = false;
        }
        v4l2_control control{};
        control.id = id;
        if (call(VIDIOC_G_CTRL, &control) < 0) {
            error = errorText("reading the control failed", errno);
            return false;
        }
        value = control.value;
        return true;
    }

    bool set(std::uint32_t id, std::int32_t value, std::string& error) override {
        if (extendedValues_) {
            v4l2_ext_control control{};
            control.id = id;
            control.value = value;
            v4l2_ext_controls list{};
            list.which = V4L2_CTRL_ID2WHICH(id);
            list.count = 1;
            list.controls = &control;
            if (call(VIDIOC_S_EXT_CTRLS, &list) == 0) return true;
            if (errno != ENOTTY) {
                error = errorText("the device refused the value", errno);
                return false;
            }
            extendedValues_ = false;
        }
        v4l2_control control{};
        control.id = id;
        control.value = value;
        if (call(VIDIOC_S_CTRL, &control) < 0) {
            error = errorText("the device refused the value", errno);
            return false;
        }
        return true;
    }

    bool deviceGone() const override { return gone_; }

private:
    int call(unsigned long request, void* arg) {
        const int r = xioctl(fd_, request, arg);
        if (r < 0 && errno == ENODEV) gone_ = true;  // unplugged: the handle stays dead
        return r;
    }

    // One control by id (with V4L2_CTRL_FLAG_NEXT_CTRL: the first shown kind after it).
    bool queryOne(std::uint32_t id, CameraControlInfo& info) {
        const bool next = (id & V4L2_CTRL_FLAG_NEXT_CTRL) != 0;
        std::uint32_t after = id & ~(V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND);
        for (int hops = 0; hops < kMaxControls; ++hops) {
            QueriedControl q;
            if (!ask(id, q)) return false;
            // The next control always has a higher id; a driver that answers otherwise would
            // keep the enumeration going round for ever.
            if (next && q.id <= after) return false;
            if (fill(q, info)) return true;
            if (!next) return false;
            after = q.id;
            id = q.id | V4L2_CTRL_FLAG_NEXT_CTRL;  // a kind not shown: skip it
        }
        return false;
    }

    // Asks with the extended query, or with the older one where the driver lacks it.
    bool ask(std::uint32_t id, QueriedControl& out) {
        if (extendedQuery_) {
            v4l2_query_ext_ctrl q{};
            q.id = id;
            if (call(VIDIOC_QUERY_EXT_CTRL, &q) == 0) {
                extendedAnswered_ = true;
                out = {q.id,
                       q.type,
                       fixedText(q.name),
                       q.minimum,
                       q.maximum,
                       static_cast<std::int64_t>(std::min<std::uint64_t>(
                           q.step, std::numeric_limits<std::int64_t>::max())),
                       q.default_value,
                       q.flags};
                return true;
            }
            // ENOTTY: the driver predates the extended query.  EINVAL before it ever answered:
            // old kernels reject unknown calls that way, so the older query decides.
            if (errno == ENOTTY)
                extendedQuery_ = false;
            else if (errno != EINVAL || extendedAnswered_)
                return false;
        }
        v4l2_queryctrl q{};
        q.id = id;
        if (call(VIDIOC_QUERYCTRL, &q) < 0) return false;
        extendedQuery_ = false;
        out = {q.id,      q.type, fixedText(q.name), q.minimum,
               q.maximum, q.step, q.default_value,   q.flags};
        return true;
    }

    static bool fill(const QueriedControl& q, CameraControlInfo& info) {
        info.id = q.id;
        info.name = q.name;
        info.flags = q.flags;
        if (!knownType(q.type, info.type)) return false;
        // Every shown kind is read and written as a 32-bit value.
        constexpr std::int64_t lo = std::numeric_limits<std::int32_t>::min();
        constexpr std::int64_t hi = std::numeric_limits<std::int32_t>::max();
        info.minimum = std::clamp(q.minimum, lo, hi);
        info.maximum = std::clamp(q.maximum, info.minimum, hi);
        info.step = q.step > 0 ? q.step : 1;
        info.defaultValue = std::clamp(q.defaultValue, info.minimum, info.maximum);
        return true;
    }

    void readMenu(CameraControlInfo& info) {
        // Menus may have gaps (items the driver does not offer); those indices fail.
        if (info.maximum - info.minimum > 256) return;
        for (std::int64_t i = std::max<std::int64_t>(0, info.minimum); i <= info.maximum; ++i) {
            v4l2_querymenu item{};
            item.id = info.id;
            item.index = static_cast<std::uint32_t>(i);
            if (call(VIDIOC_QUERYMENU, &item) < 0) {
                if (gone_) return;
                continue;
            }
            CameraControlMenuItem entry;
            entry.index = i;
            entry.label = info.type == CameraControlType::IntegerMenu
                              ? std::to_string(static_cast<long long>(item.value))
                              : fixedText(item.name);
            info.menu.push_back(std::move(entry));
        }
    }

    int fd_;
    bool extendedQuery_ = true;
    bool extendedAnswered_ = false;
    bool extendedValues_ = true;
    bool gone_ = false;
};

}  // namespace

std::unique_ptr<CameraControlBackend> openV4l2ControlBackend(const std::string& devicePath,
                                                             std::string& error) {
    // A second handle: the kernel lets any open handle use the controls while another one
    // streams, so the page never disturbs the capture.
    const int fd = ::open(devicePath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errorText(("\"" + devicePath + "\" could not be opened").c_str(), errno);
        return nullptr;
    }
    v4l2_capability caps{};
    if (xioctl(fd, VIDIOC_QUERYCAP, &caps) < 0) {
        error = "\"" + devicePath + "\" is not a video device.";
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<V4l2ControlBackend>(fd);
}

}  // namespace qelvo
