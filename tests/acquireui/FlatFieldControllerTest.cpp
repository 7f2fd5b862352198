#include "acquireui/FlatFieldControl.h"
#include "acquireui/FlatFieldController.h"
#include "frames/FramePool.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QMenu>

#include <condition_variable>
#include <cstring>
#include <mutex>

using namespace qelvo;
using Kind = acquire::FlatFieldStore::Kind;

namespace {

// Grey frames of `level` as fast as asked for; once `hold` is set a wait lasts until the
// frames are let go of.
class Frames : public acquire::LapseFrameSource {
public:
    std::optional<acquire::SourcedFrame> nextFrame(std::uint64_t after, std::chrono::milliseconds,
                                                   std::string* error) override {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return !hold || closed_; });
        if (closed_) {
            if (error) *error = "let go of";
            return std::nullopt;
        }
        acquire::SourcedFrame f;
        f.sequence = latest_ = after + 1;
        f.frame.width = 8;
        f.frame.height = 6;
        f.frame.length = f.frame.rowBytes() * 6;
        auto block = pool_.acquire(f.frame.length);
        std::memset(block->data(), level, f.frame.length);
        f.frame.pixels = block;
        return f;
    }
    std::uint64_t latestSequence() const override {
        std::lock_guard lock(mutex_);
        return latest_;
    }
    std::chrono::nanoseconds frameInterval() const override { return {}; }
    void close() {
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
        }
        wake_.notify_all();
    }

    int level = 180;
    bool hold = false;

private:
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool closed_ = false;
    std::uint64_t latest_ = 0;
    FramePool pool_;
};

// What a window gives the controller, recorded.
struct Window {
    std::shared_ptr<Frames> frames = std::make_shared<Frames>();
    bool live = true;
    bool storedOn = false;
    int closes = 0;
    std::shared_ptr<const acquire::FlatField> applied;
    QSize frameSize{8, 6};
    std::vector<std::pair<QString, bool>> messages;

    FlatFieldController::Access access() {
        FlatFieldController::Access a;
        a.openFrames = [this]() -> std::shared_ptr<acquire::LapseFrameSource> {
            return live ? frames : nullptr;
        };
        a.closeFrames = [this] {
            ++closes;
            frames->close();
            frames = std::make_shared<Frames>();
        };
        a.loadOn = [this] { return storedOn; };
        a.storeOn = [this](bool on) {
            storedOn = on;
            return true;
        };
        a.apply = [this](std::shared_ptr<const acquire::FlatField> f) { applied = std::move(f); };
        a.frameSize = [this] { return frameSize; };
        return a;
    }
    void listen(FlatFieldController& c) {
        QObject::connect(&c, &FlatFieldController::message, [this](const QString& t, bool problem) {
            messages.push_back({t, problem});
        });
    }
    bool lastSaid(const char* words, bool problem) const {
        return !messages.empty() && messages.back().first.contains(QString::fromUtf8(words)) &&
               messages.back().second == problem;
    }
};

}  // namespace

TEST(FlatFieldController, TakesReferencesPerObjectiveAndAppliesThemOnlyWhenOn) {
    test::TempFolder dir;
    Window window;
    {
        FlatFieldController controller("Scope", acquire::FlatFieldStore(dir.path()),
                                       window.access());
        window.listen(controller);
        controller.setObjective("10x");
        controller.waitIdle();
        EXPECT_EQ(controller.stateText(), "NONE");
        // On without a flat: refused, said why.
        controller.setEnabled(true);
        EXPECT_FALSE(controller.enabled());
        EXPECT_TRUE(window.lastSaid("no flat", true));

        controller.take(Kind::Flat, 4);
        EXPECT_TRUE(controller.busy());
        controller.waitIdle();
        EXPECT_TRUE(controller.hasFlat());
        EXPECT_EQ(window.closes, 1) << "the frames are let go of after the take";
        EXPECT_TRUE(window.lastSaid("taken", false));
        EXPECT_FALSE(window.applied) << "taken, but off";
        EXPECT_EQ(controller.stateText(), "OFF");

        controller.setEnabled(true);
        EXPECT_TRUE(window.storedOn);
        ASSERT_TRUE(window.applied);
        EXPECT_TRUE(controller.correcting());
        EXPECT_EQ(controller.stateText(), "ON");

        // A dark brighter than the flat: refused in words, the flat still applied.
        window.frames->level = 200;
        controller.take(Kind::Dark, 2);
        controller.waitIdle();
        EXPECT_TRUE(window.lastSaid("darker than the dark", true));
        EXPECT_FALSE(controller.hasDark());
        EXPECT_TRUE(window.applied);

        // The live picture changed size: not corrected, and said so.
        window.frameSize = QSize(16, 12);
        EXPECT_EQ(controller.stateText(), "SIZE");
        controller.setEnabled(true);
        EXPECT_TRUE(window.lastSaid("8x6", true));
        window.frameSize = QSize(8, 6);

        // Another objective has none of these references.
        controller.setObjective("40x");
        EXPECT_FALSE(window.applied);
        controller.waitIdle();
        EXPECT_FALSE(controller.hasFlat());
        // No live picture: nothing taken.
        window.live = false;
        controller.take(Kind::Flat);
        EXPECT_FALSE(controller.busy());
        EXPECT_TRUE(window.lastSaid("no live picture", true));
        window.live = true;
        controller.setObjective("10x");
        controller.waitIdle();
        EXPECT_TRUE(window.applied);
    }
    // As after a restart: the setting and the references are still there.
    FlatFieldController again("Scope", acquire::FlatFieldStore(dir.path()), window.access());
    EXPECT_TRUE(again.enabled());
    window.applied.reset();
    again.setObjective("10x");
    again.waitIdle();
    EXPECT_TRUE(window.applied);
    again.clear();
    again.waitIdle();
    EXPECT_FALSE(again.hasFlat());
    EXPECT_FALSE(window.applied);
}

TEST(FlatFieldController, ClosingDuringATakeStoresNothingAndDoesNotWaitForFrames) {
    test::TempFolder dir;
    Window window;
    window.frames->hold = true;
    {
        FlatFieldController controller("Scope", acquire::FlatFieldStore(dir.path()),
                                       window.access());
        controller.setObjective("10x");
        controller.waitIdle();
        controller.take(Kind::Flat, 16);
        EXPECT_TRUE(controller.busy());
    }
    EXPECT_EQ(window.closes, 1);
    EXPECT_FALSE(acquire::FlatFieldStore(dir.path()).load("Scope", "10x").flat);
}

TEST(FlatFieldControl, MenuOffersTheCommandsOfTheObjectiveInUse) {
    test::TempFolder dir;
    Window window;
    FlatFieldController controller("Scope", acquire::FlatFieldStore(dir.path()), window.access());
    controller.setObjective("10x");
    controller.waitIdle();
    FlatFieldControl control(controller);
    std::unique_ptr<QMenu> menu(control.buildMenu());
    auto* on = menu->findChild<QAction*>(QStringLiteral("flat-field on"));
    ASSERT_TRUE(on);
    EXPECT_FALSE(on->isEnabled()) << "nothing to turn on without a flat";
    menu->findChild<QAction*>(QStringLiteral("take flat"))->trigger();
    controller.waitIdle();
    EXPECT_TRUE(controller.hasFlat());
    menu.reset(control.buildMenu());
    on = menu->findChild<QAction*>(QStringLiteral("flat-field on"));
    ASSERT_TRUE(on && on->isEnabled());
    on->trigger();
    EXPECT_TRUE(controller.enabled());
    EXPECT_TRUE(window.applied);
    menu->findChild<QAction*>(QStringLiteral("clear references"))->trigger();
    controller.waitIdle();
    EXPECT_FALSE(controller.hasFlat());
}
