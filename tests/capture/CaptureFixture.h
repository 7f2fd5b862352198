#pragma once

#include "capture/CapturePipeline.h"
#include "capture/CaptureState.h"
#include "capture/CaptureTestWindow.h"
#include "capture/GrabberCallbacks.h"
#include "capture/Pacing.h"
#include "capture/SnapshotWriter.h"
#include "desktop/Dialogs.h"
#include "desktop/ScriptedDialogs.h"
#include "media/DeviceCatalogue.h"
#include "system/Clock.h"
#include "system/SessionState.h"
#include "system/TempFolder.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <filesystem>
#include <set>

namespace qelvo::test {

// A device list made of virtual devices only, so the tests never depend on the cameras
// plugged into the machine.
class VirtualOnlyCatalogue : public DeviceCatalogue {
public:
    explicit VirtualOnlyCatalogue(const std::string& list) {
        for (const VirtualDeviceEntry& entry : parseVirtualDeviceList(list)) {
            VideoInputDevice device;
            device.friendlyName = entry.friendlyName;
            device.isVirtual = true;
            device.virtualEntry = entry;
            devices_.push_back(device);
        }
    }
    std::vector<VideoInputDevice> videoInputs() override { return devices_; }

private:
    std::vector<VideoInputDevice> devices_;
};

// Storage folder, fixed clock, scripted dialogs and a short pacing pause for one test.
class CaptureFixture : public ::testing::Test {
protected:
    void SetUp() override {
        setStorageFolder(folder.path());
        previousClock = setClock(std::make_unique<FixedClock>(LocalTime{2026, 5, 6, 7, 8, 9}));
        auto scripted = std::make_unique<ScriptedDialogs>();
        dialogs = scripted.get();
        previousDialogs = setDialogs(std::move(scripted));
        setPacingPause(std::chrono::milliseconds(20));
        captureWords().snapshotFlag.store(0);
        setSelectedDeviceName("");
    }
    void TearDown() override {
        waitForSnapshotWriters();
        QCoreApplication::processEvents();
        captureWords().frameReadyTarget.store(nullptr);
        captureWords().notificationWindow.store(nullptr);
        setDialogs(std::move(previousDialogs));
        setClock(std::move(previousClock));
    }

    std::unique_ptr<CapturePipeline> makePipeline(CaptureTestWindow& window, WindowKind kind,
                                                  bool hd, const std::string& devices) {
        catalogue = std::make_unique<VirtualOnlyCatalogue>(devices);
        auto pipeline = std::make_unique<CapturePipeline>(window, kind, hd);
        pipeline->setDeviceCatalogue(catalogue.get());
        pipeline->setBridgeAccess(
            {[this](const std::string& name) { bridgeOpened.push_back(name); },
             [this] { ++bridgeClosed; }});
        return pipeline;
    }

    std::set<std::string> picturesInFolder() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
            if (entry.path().extension() == ".jpg") names.insert(entry.path().filename().string());
        return names;
    }

    TempFolder folder;
    ScriptedDialogs* dialogs = nullptr;
    std::unique_ptr<DeviceCatalogue> catalogue;
    std::vector<std::string> bridgeOpened;
    int bridgeClosed = 0;

private:
    std::unique_ptr<Clock> previousClock;
    std::unique_ptr<Dialogs> previousDialogs;
};

}  // namespace qelvo::test
