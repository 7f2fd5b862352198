// qelvo-press "<device name>"
//
// Presses the hardware snapshot button of a virtual device the way its family reports it:
//   chip family ("WDM 2860...", "USB 2860...")   bit 0x20 of bridge register 0x0C
//   microscope family ("Inspection Microscope.", "USB2.0 PC Camera (SN9C201)")
//                                                 "SnapShotState" = 3 in its driver keys
//   any other device                              one frame on its still output
// Uses the same QELVO_RUNTIME_DIR and QELVO_REGISTRY_DIR as the program.

#include <cstring>
#include <iostream>
#include <string>

#include "simulated/BridgeDriver.h"
#include "simulated/RegistryDriverKeys.h"
#include "simulated/VirtualButtonChannel.h"
#include "system/Paths.h"
#include "system/RegistryStore.h"

namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

void printUsage(std::ostream& out) {
    out << "usage: qelvo-press \"<device name>\"\n"
           "Presses the hardware snapshot button of the virtual device with that friendly "
           "name,\nas its family has it: a bridge-chip register bit, a driver registry value, "
           "or a\nstill frame.\n";
}

// Says why a state file could not be written when the runtime folder is to blame.
std::string runtimeFolderProblem() {
    const std::string runtime = qelvo::runtimeDir();
    const std::string unfit = qelvo::preparePrivateFolder(runtime);
    return unfit.empty() ? std::string() : ": the runtime folder " + runtime + " " + unfit;
}

int pressChip(const std::string& name) {
    if (!qelvo::setSimulatedRegisterBits(name, qelvo::kBridgeButtonRegister,
                                         qelvo::kBridgeButtonBit)) {
        std::cerr << "qelvo-press: cannot write the bridge chip state "
                  << qelvo::simulatedBridgeStateFile(name) << runtimeFolderProblem() << "\n";
        return kFailed;
    }
    std::cout << "qelvo-press: \"" << name << "\": set bit 0x20 of bridge register 0x0C\n";
    return kOk;
}

int pressMicroscope(const std::string& name) {
    const qelvo::RegistryStore store;
    const int index = qelvo::ensureVirtualDriverKeys(store, name);
    auto settings = index < 0 ? std::nullopt : store.openKey(qelvo::driverSettingsKeyPath(index));
    if (!settings) {
        std::cerr << "qelvo-press: cannot create the driver keys of \"" << name
                  << "\" in the registry store " << store.root() << "\n";
        return kFailed;
    }
    const qelvo::RegistryStatus status =
        settings->writeNumber("SnapShotState", qelvo::kSnapShotPending);
    if (status != qelvo::RegistryStatus::Ok) {
        std::cerr << "qelvo-press: cannot write SnapShotState: "
                  << qelvo::registryStatusText(status) << "\n";
        return kFailed;
    }
    std::cout << "qelvo-press: \"" << name << "\": SnapShotState = 3 in "
              << qelvo::driverSettingsKeyPath(index) << "\n";
    return kOk;
}

int pressStill(const std::string& name) {
    if (!qelvo::pressStill(name)) {
        std::cerr << "qelvo-press: cannot write " << qelvo::stillPressFile(name)
                  << runtimeFolderProblem() << "\n";
        return kFailed;
    }
    std::cout << "qelvo-press: \"" << name << "\": still button pressed ("
              << qelvo::stillPressCount(name) << " so far)\n";
    return kOk;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (!std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "--help"))) {
        printUsage(std::cout);
        return kOk;
    }
    if (argc != 2 || argv[1][0] == '\0') {
        printUsage(std::cerr);
        return kUsage;
    }
    const std::string name = argv[1];
    if (qelvo::isBridgeChipName(name)) return pressChip(name);
    if (!qelvo::microscopeDescriptionOf(name).empty()) return pressMicroscope(name);
    return pressStill(name);
}
