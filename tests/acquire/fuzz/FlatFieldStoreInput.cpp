#include "acquire/fuzz/FlatFieldStoreInput.h"

#include "acquire/FlatFieldStore.h"
#include "acquire/FlatFieldTake.h"
#include "support/FuzzSupport.h"

#include <cstring>
#include <filesystem>

namespace qelvo::fuzz {

namespace {

using Kind = acquire::FlatFieldStore::Kind;

struct Parts {
    std::string device;
    std::string objective;
    std::string flat;
    std::string dark;
};

std::string_view takeUntilNul(std::string_view& rest) {
    const auto end = rest.find('\0');
    const std::string_view field = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    return field;
}

Parts split(std::string_view input) {
    Parts parts;
    parts.device = takeUntilNul(input);
    parts.objective = takeUntilNul(input);
    std::uint32_t length = 0;
    for (int i = 0; i < 4 && !input.empty(); ++i) {
        length |= std::uint32_t(static_cast<unsigned char>(input.front())) << (8 * i);
        input.remove_prefix(1);
    }
    const std::size_t flatBytes = std::min<std::size_t>(length, input.size());
    parts.flat = input.substr(0, flatBytes);
    parts.dark = input.substr(flatBytes);
    return parts;
}

std::string join(const Parts& parts) {
    std::string out = parts.device + '\0' + parts.objective + '\0';
    const auto n = static_cast<std::uint32_t>(parts.flat.size());
    for (int i = 0; i < 4; ++i) out += static_cast<char>((n >> (8 * i)) & 0xFF);
    return out + parts.flat + parts.dark;
}

// Where the path leads below the folder, or why it leaves it.
std::string checkPath(const std::string& folder, const std::string& path) {
    if (path.compare(0, folder.size() + 1, folder + "/") != 0) return "leaves the folder";
    const std::string rest = path.substr(folder.size() + 1);
    const auto slash = rest.find('/');
    if (slash == std::string::npos || rest.find('/', slash + 1) != std::string::npos)
        return "is not one file in one device folder";
    for (const std::string& part : {rest.substr(0, slash), rest.substr(slash + 1)})
        if (part.empty() || part == "." || part == ".." || part.size() > 255)
            return "has the component '" + part + "'";
    return {};
}

PictureData grey(int w, int h, int bits, int level) {
    PictureData p;
    p.width = w;
    p.height = h;
    p.bitsPerSample = bits;
    p.samples.resize(std::size_t(w) * h * 3 * (bits / 8));
    for (std::size_t i = 0; i < p.samples.size(); ++i)
        p.samples[i] = static_cast<std::uint8_t>(level + (i * 7) % 31);
    return p;
}

}  // namespace

std::string checkFlatFieldStoreInput(std::string_view input) {
    const Parts parts = split(input);
    const std::string folder = scratchFolder("flatfield-store");
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const acquire::FlatFieldStore store(folder);

    // Names: one file each, inside the folder, never shared.
    const std::string flatPath = store.pathFor(parts.device, parts.objective, Kind::Flat);
    const std::string darkPath = store.pathFor(parts.device, parts.objective, Kind::Dark);
    for (const std::string& path : {flatPath, darkPath})
        if (const std::string why = checkPath(folder, path); !why.empty())
            return "the reference path " + path + " " + why;
    if (flatPath == darkPath) return "the flat and the dark share " + flatPath;
    for (const auto& [device, objective] : {std::pair(parts.device + "x", parts.objective),
                                            std::pair(parts.device, parts.objective + "x"),
                                            std::pair(parts.device + "/", parts.objective),
                                            std::pair(parts.device, parts.objective + ".")})
        if (store.pathFor(device, objective, Kind::Flat) == flatPath)
            return "two names share the file " + flatPath;

    // Contents: what is stored is read, never changed by reading it.
    std::filesystem::create_directories(flatPath.substr(0, flatPath.rfind('/')));
    if (!parts.flat.empty() && !writeFile(flatPath, parts.flat)) return "cannot write the flat";
    if (!parts.dark.empty() && !writeFile(darkPath, parts.dark)) return "cannot write the dark";
    const acquire::FlatFieldStore::Loaded loaded = store.load(parts.device, parts.objective);
    const acquire::ReferenceTakeResult result =
        acquire::loadReferences(store, parts.device, parts.objective);
    if (!parts.flat.empty() && readFile(flatPath) != parts.flat) return "reading changed the flat";
    if (!parts.dark.empty() && readFile(darkPath) != parts.dark) return "reading changed the dark";
    if (result.hasFlat != loaded.flat.has_value() || result.hasDark != loaded.dark.has_value())
        return "the references there are misreported";
    if (!result.correction) {
        if (loaded.flat && result.problem.empty()) return "an unusable flat was not said";
        if (!parts.flat.empty() && !loaded.flat && loaded.problem.empty())
            return "an unreadable flat was not said";
        return {};
    }
    if (!loaded.flat) return "a correction without a flat";
    const acquire::FlatField& field = *result.correction;
    if (field.width() != loaded.flat->width || field.height() != loaded.flat->height)
        return "the correction is not of the flat's size";
    if (loaded.dark &&
        (loaded.dark->width != loaded.flat->width || loaded.dark->height != loaded.flat->height))
        return "a correction from references of different sizes";
    for (int c = 0; c < 3; ++c)
        if (!(field.channelMeans()[c] > 0.0) || !(field.channelMeans()[c] <= 65535.0))
            return "a channel mean out of range";
    std::string error;
    const auto corrected = field.correct(*loaded.flat, &error);
    if (!corrected) return "the flat cannot be corrected: " + error;
    if (corrected->width != field.width() || corrected->height != field.height())
        return "the corrected flat changed size";

    // A live frame of that size: every kernel gives the same bytes.
    const std::size_t rowBytes = (std::size_t(field.width()) * 3 + 3) / 4 * 4;
    const std::size_t frameBytes = rowBytes * std::size_t(field.height());
    if (frameBytes > (std::size_t(1) << 22)) return {};
    std::vector<std::uint8_t> frame(frameBytes);
    for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<std::uint8_t>(i * 37);
    std::vector<std::uint8_t> plain(frameBytes);
    if (!field.correctGrabberFrameWith("plain", frame.data(), plain.data(), frameBytes))
        return "the plain kernel refused a frame of the references' size";
    for (const std::string& kernel : acquire::FlatField::liveKernels()) {
        std::vector<std::uint8_t> out(frameBytes);
        if (!field.correctGrabberFrameWith(kernel, frame.data(), out.data(), frameBytes) ||
            out != plain)
            return "the " + kernel + " kernel differs from the plain one";
    }
    return {};
}

int writeFlatFieldStoreSeeds(const std::string& folder) {
    // References written by the store itself, read back as bytes.
    const std::string scratch = scratchFolder("flatfield-seeds");
    std::filesystem::remove_all(scratch);
    const acquire::FlatFieldStore store(scratch);
    std::string error;
    struct Seed {
        const char* device;
        const char* objective;
        PictureData flat;
        std::optional<PictureData> dark;
    };
    const Seed seeds[] = {
        {"Lab Microscope", "10x", grey(7, 5, 16, 180), grey(7, 5, 16, 4)},
        {"USB2.0 PC Camera", "40x", grey(4, 3, 8, 200), std::nullopt},
        {"Scope / 1", "..", grey(3, 3, 16, 90), grey(4, 3, 8, 3)},     // sizes differ
        {"%2F", "4x \xc2\xb5", grey(2, 2, 8, 10), grey(2, 2, 8, 40)},  // dark above flat
        {"", "", grey(1, 1, 16, 1), std::nullopt},
    };
    int written = 0;
    for (const Seed& seed : seeds) {
        Parts parts;
        parts.device = seed.device;
        parts.objective = seed.objective;
        std::filesystem::remove_all(scratch);
        // Written through the picture files as the store writes them (the store refuses
        // an empty device or references of different sizes).
        const std::string flatPath = store.pathFor(seed.device, seed.objective, Kind::Flat);
        std::filesystem::create_directories(flatPath.substr(0, flatPath.rfind('/')));
        if (!writePictureFile(flatPath, acquire::widenTo16(seed.flat), &error)) continue;
        parts.flat = readFile(flatPath);
        if (seed.dark) {
            const std::string darkPath = store.pathFor(seed.device, seed.objective, Kind::Dark);
            if (!writePictureFile(darkPath, acquire::widenTo16(*seed.dark), &error)) continue;
            parts.dark = readFile(darkPath);
        }
        if (writeFile(folder + "/seed-" + std::to_string(written), join(parts))) ++written;
    }
    // A damaged flat.
    Parts damaged{"Lab Microscope", "10x", "II*\0garbage", ""};
    if (writeFile(folder + "/seed-damaged", join(damaged))) ++written;
    std::filesystem::remove_all(scratch);
    return written;
}

}  // namespace qelvo::fuzz
