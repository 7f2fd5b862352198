#include "simulated/fuzz/RegistryValueInput.h"

#include <unistd.h>

#include "capture/DriverSettings.h"
#include "simulated/RegistryDriverKeys.h"
#include "support/FuzzSupport.h"

namespace qelvo::fuzz {
namespace {

constexpr char kSeparator = '\xFF';

struct ValueSlot {
    bool inSettings;
    const char* name;
};
constexpr ValueSlot kSlots[] = {
    {false, "DriverDesc"}, {false, "DriverVersion"}, {true, "USBActive"}, {true, "SnapShotState"}};

// The store keeps a value named N in the file "N.value" of its key's folder (the four names
// above need no escaping).
std::string valueFile(const RegistryKey& key, const char* name) {
    return key.path() + "/" + name + ".value";
}

struct DriverKeys {
    RegistryStore store;
    RegistryKey device;
    RegistryKey settings;
    const RegistryKey& keyOf(const ValueSlot& slot) const {
        return slot.inSettings ? settings : device;
    }
};

const DriverKeys* driverKeys() {
    static const DriverKeys* keys = []() -> const DriverKeys* {
        RegistryStore store(scratchFolder("registry"));
        auto device = store.createKey(driverDeviceKeyPath(0));
        auto settings = store.createKey(driverSettingsKeyPath(0));
        if (!device || !settings) return nullptr;
        return new DriverKeys{store, *device, *settings};
    }();
    return keys;
}

std::string roundTripProblem(const RegistryKey& key, const char* name) {
    if (auto number = key.readNumber(name); number.ok()) {
        if (key.writeNumber("Copy", number.value) != RegistryStatus::Ok) return {};
        auto again = key.readNumber("Copy");
        if (!again.ok() || again.value != number.value)
            return std::string(name) + ": number does not read back as written";
    }
    if (auto text = key.readText(name); text.ok()) {
        if (key.writeText("Copy", text.value) != RegistryStatus::Ok) return {};
        auto again = key.readText("Copy");
        if (!again.ok() || again.value != text.value)
            return std::string(name) + ": text does not read back as written";
    }
    return {};
}

}  // namespace

std::string checkRegistryValueInput(std::string_view input) {
    const DriverKeys* keys = driverKeys();
    if (!keys) return {};
    std::size_t start = 0;
    for (const ValueSlot& slot : kSlots) {
        const std::string file = valueFile(keys->keyOf(slot), slot.name);
        if (start > input.size()) {
            ::unlink(file.c_str());
            continue;
        }
        std::size_t end = input.find(kSeparator, start);
        if (end == std::string_view::npos) end = input.size();
        writeFile(file, input.substr(start, end - start));
        start = end + 1;
    }

    for (const ValueSlot& slot : kSlots)
        if (std::string problem = roundTripProblem(keys->keyOf(slot), slot.name); !problem.empty())
            return problem;

    DriverSettings driver(keys->store);
    const int index = driver.findDriverSettingsKey();
    if (index != 0 && index != -1) return "lookup found a key that does not exist";

    const std::string stateFile = valueFile(keys->settings, "SnapShotState");
    const std::string before = readFile(stateFile);
    if (driver.pollDriverSnapshotState(0) == 1) {
        auto state = keys->settings.readNumber("SnapShotState");
        if (!state.ok() || state.value != kSnapShotTaken) return "a taken press was not answered";
        if (driver.pollDriverSnapshotState(0) != 0) return "one press was taken twice";
    } else if (readFile(stateFile) != before) {
        return "a poll without a press changed the press state";
    }
    return {};
}

int writeRegistryValueSeeds(const std::string& folder) {
    RegistryStore store(scratchFolder("registry-seeds"));
    auto device = store.createKey(driverDeviceKeyPath(0));
    auto settings = store.createKey(driverSettingsKeyPath(0));
    if (!device || !settings) return 0;
    int written = 0;
    auto keep = [&](const std::string& name) {
        std::string seed;
        for (const ValueSlot& slot : kSlots) {
            if (&slot != &kSlots[0]) seed += kSeparator;
            seed += readFile(valueFile(slot.inSettings ? *settings : *device, slot.name));
        }
        written += writeFile(folder + "/" + name, seed);
    };
    int n = 0;
    for (const char* description : kMicroscopeDriverDescriptions) {
        device->writeText("DriverDesc", description);
        device->writeText("DriverVersion", "6.1.7600.16385");
        for (unsigned active : {0u, 1u}) {
            for (unsigned state : {0u, kSnapShotTaken, kSnapShotPending, 4294967295u}) {
                settings->writeNumber("USBActive", active);
                settings->writeNumber("SnapShotState", state);
                keep("driver-key-" + std::to_string(++n));
            }
        }
    }
    // The keys the program makes for its own virtual microscopes.
    RegistryStore virtualStore(scratchFolder("registry-seeds-virtual"));
    const int index = ensureVirtualDriverKeys(virtualStore, "Inspection Microscope. (virtual)");
    if (auto key = virtualStore.openKey(driverDeviceKeyPath(index))) {
        device->writeText("DriverDesc", key->readText("DriverDesc").value);
        device->writeText("DriverVersion", key->readText("DriverVersion").value);
        settings->writeNumber("USBActive", 1);
        settings->writeNumber("SnapShotState", 0);
        keep("virtual-microscope");
    }
    return written;
}

}  // namespace qelvo::fuzz
