#pragma once

#include "capture/CaptureSession.h"
#include "capture/CaptureTestWindow.h"
#include "capture/Pacing.h"
#include "capture/SnapshotWriter.h"
#include "desktop/Dialogs.h"
#include "desktop/ScriptedDialogs.h"
#include "support/TempFolder.h"
#include "support/VirtualCameras.h"
#include "system/Clock.h"
#include "system/SessionState.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <filesystem>
#include <set>

namespace qelvo::test {

inline CaptureOptions writtenSnapshots(bool hd = false) {
    CaptureOptions options;
    options.hd = hd;
    options.snapshots = SnapshotDelivery::WrittenToFolder;
    return options;
}

inline CaptureOptions handedOverSnapshots(bool hd = false) {
    CaptureOptions options;
    options.hd = hd;
    options.snapshots = SnapshotDelivery::HandedOver;
    options.stillOutputWithDriverButton = false;
    return options;
}

// Storage folder, fixed clock and a short pacing pause for one test; test windows whose
// sessions use a device list of the test's own and record the bridge accesses.
class CaptureFixture : public ::testing::Test {
protected:
    void SetUp() override {
        setStorageFolder(folder.path());
        previousClock = setClock(std::make_unique<FixedClock>(LocalTime{2026, 5, 6, 7, 8, 9}));
        setPacingPause(std::chrono::milliseconds(20));
        setSelectedDeviceName("");
    }
    void TearDown() override {
        waitForSnapshotWriters();
        QCoreApplication::processEvents();
        setClock(std::move(previousClock));
    }

    // A test window whose session finds its devices in `devices`.
    std::unique_ptr<CaptureTestWindow> makeWindow(const CaptureOptions& options,
                                                  const std::string& devices) {
        catalogues.push_back(std::make_unique<VirtualCameraList>(devices));
        auto window = std::make_unique<CaptureTestWindow>(options);
        window->session().setDeviceCatalogue(catalogues.back().get());
        window->session().setBridgeAccess(
            {[this](const std::string& name, const auto&) { bridgeOpened.push_back(name); },
             [this] { ++bridgeClosed; }});
        return window;
    }

    std::set<std::string> picturesInFolder() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
            if (entry.path().extension() == ".jpg") names.insert(entry.path().filename().string());
        return names;
    }

    TempFolder folder;
    std::vector<std::unique_ptr<DeviceCatalogue>> catalogues;
    std::vector<std::string> bridgeOpened;
    int bridgeClosed = 0;

private:
    std::unique_ptr<Clock> previousClock;
};

}  // namespace qelvo::test
