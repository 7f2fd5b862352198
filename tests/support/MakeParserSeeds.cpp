// Writes the seed corpus of one parser fuzzer into a folder, from files the program's own
// writers make:  make_parser_fuzz_seeds TARGET FOLDER
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "imaging/fuzz/ExifInput.h"
#include "manage/fuzz/SettingsFileInput.h"
#include "measure/fuzz/MeasureInputs.h"
#include "simulated/fuzz/ChipStateInput.h"
#include "simulated/fuzz/InputEventInput.h"
#include "simulated/fuzz/RegistryValueInput.h"
#include "simulated/fuzz/VirtualDeviceListInput.h"

int main(int argc, char** argv) {
    using namespace qelvo::fuzz;
    char folder[PATH_MAX];
    if (argc != 3 || !::realpath(argv[2], folder)) {
        std::fprintf(
            stderr,
            "usage: %s settings-file|registry-value|virtual-devices|chip-state|input-events|"
            "exif|sidecar|objectives|length FOLDER\n",
            argv[0]);
        return 2;
    }
    const std::string target = argv[1];
    int written = 0;
    if (target == "settings-file")
        written = writeSettingsFileSeeds(folder);
    else if (target == "registry-value")
        written = writeRegistryValueSeeds(folder);
    else if (target == "virtual-devices")
        written = writeVirtualDeviceListSeeds(folder);
    else if (target == "chip-state")
        written = writeChipStateSeeds(folder);
    else if (target == "input-events")
        written = writeInputEventSeeds(folder);
    else if (target == "exif")
        written = writeExifSeeds(folder);
    else if (target == "sidecar")
        written = writeSidecarSeeds(folder);
    else if (target == "objectives")
        written = writeObjectivesSeeds(folder);
    else if (target == "length")
        written = writeLengthSeeds(folder);
    else {
        std::fprintf(stderr, "unknown target %s\n", argv[1]);
        return 2;
    }
    std::printf("%s: %d seed files\n", target.c_str(), written);
    return written > 0 ? 0 : 1;
}
