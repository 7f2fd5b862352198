#include "acquire/FlatFieldStore.h"

#include "system/Paths.h"

#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace qelvo::acquire {

namespace {

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

bool fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

// A name made safe as one file name; very long names keep their start and get a hash.
std::string escaped(const std::string& name) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : name) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '_' || c == '-' || (c == '.' && !out.empty())) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    if (out.size() > 200) {
        std::uint64_t hash = 1469598103934665603ull;
        for (unsigned char c : name) hash = (hash ^ c) * 1099511628211ull;
        std::string digest;
        for (int i = 15; i >= 0; --i) digest += kHex[(hash >> (4 * i)) & 15];
        out = out.substr(0, 180) + "~" + digest;
    }
    return out.empty() ? std::string("%00") : out;
}

bool makeFolders(const std::string& path, std::string* error) {
    std::string partial;
    std::size_t at = 0;
    while (at != std::string::npos) {
        at = path.find('/', at + 1);
        partial = path.substr(0, at);
        if (partial.empty()) continue;
        if (::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST)
            return fail(error, "cannot create " + partial + ": " + std::strerror(errno));
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return fail(error, path + " is not a folder");
    return true;
}

const char* kindName(FlatFieldStore::Kind kind) {
    return kind == FlatFieldStore::Kind::Flat ? "flat" : "dark";
}

}  // namespace

PictureData widenTo16(const PictureData& p) {
    PictureData out;
    out.width = p.width;
    out.height = p.height;
    out.channels = 3;
    out.bitsPerSample = 16;
    out.calibration = p.calibration;
    const auto s = samplesAs16(p);
    out.samples.resize(s.size() * 2);
    std::memcpy(out.samples.data(), s.data(), out.samples.size());
    return out;
}

FlatFieldStore::FlatFieldStore(std::string folder) : folder_(std::move(folder)) {}

std::string FlatFieldStore::defaultFolder() {
    std::string dir = env("QELVO_FLATFIELD_DIR");
    if (!dir.empty()) return dir;
    std::string config = env("XDG_CONFIG_HOME");
    if (config.empty()) {
        const std::string home = env("HOME");
        config = joinPath(home.empty() ? std::string("/tmp") : home, ".config");
    }
    return joinPath(joinPath(config, "qelvo"), "flatfield");
}

std::string FlatFieldStore::pathFor(const std::string& device, const std::string& objective,
                                    Kind kind) const {
    return joinPath(joinPath(folder_, escaped(device)),
                    escaped(objective) + "." + kindName(kind) + ".tif");
}

bool FlatFieldStore::save(const std::string& device, const std::string& objective, Kind kind,
                          const PictureData& reference, std::string* error) const {
    if (device.empty()) return fail(error, "no device to keep the reference for");
    if (reference.width <= 0 || reference.height <= 0 ||
        (reference.channels != 1 && reference.channels != 3) ||
        (reference.bitsPerSample != 8 && reference.bitsPerSample != 16) ||
        reference.samples.size() != reference.rowBytes() * reference.height)
        return fail(error, std::string("the ") + kindName(kind) + " reference is not a picture");
    const Kind other = kind == Kind::Flat ? Kind::Dark : Kind::Flat;
    std::string ignored;
    if (const auto info = readPictureFileInfo(pathFor(device, objective, other), &ignored);
        info && (info->width != reference.width || info->height != reference.height))
        return fail(error, std::string("the ") + kindName(kind) + " reference is " +
                               std::to_string(reference.width) + "x" +
                               std::to_string(reference.height) + " but the stored " +
                               kindName(other) + " reference of " + objective + " is " +
                               std::to_string(info->width) + "x" + std::to_string(info->height) +
                               "; take both at the same size");
    const std::string path = pathFor(device, objective, kind);
    if (!makeFolders(path.substr(0, path.rfind('/')), error)) return false;
    PictureData wide =
        reference.bitsPerSample == 16 && reference.channels == 3 ? reference : widenTo16(reference);
    wide.calibration = {};
    return writePictureFile(path, wide, error);
}

bool FlatFieldStore::remove(const std::string& device, const std::string& objective, Kind kind,
                            std::string* error) const {
    const std::string path = pathFor(device, objective, kind);
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        return fail(error, "cannot remove " + path + ": " + std::strerror(errno));
    return true;
}

FlatFieldStore::Loaded FlatFieldStore::load(const std::string& device,
                                            const std::string& objective) const {
    Loaded loaded;
    for (Kind kind : {Kind::Flat, Kind::Dark}) {
        const std::string path = pathFor(device, objective, kind);
        if (::access(path.c_str(), F_OK) != 0) continue;
        std::string error;
        auto picture = readPictureFile(path, &error);
        if (!picture) {
            if (!loaded.problem.empty()) loaded.problem += " ";
            loaded.problem += std::string("The ") + kindName(kind) + " reference of " + objective +
                              " could not be read (" + path + ": " + error + ").";
            continue;
        }
        (kind == Kind::Flat ? loaded.flat : loaded.dark) = std::move(*picture);
    }
    return loaded;
}

std::optional<FlatField> FlatFieldStore::correction(const std::string& device,
                                                    const std::string& objective,
                                                    std::string* problem) const {
    Loaded loaded = load(device, objective);
    if (problem) *problem = loaded.problem;
    if (!loaded.flat) return std::nullopt;
    std::string error;
    auto field = FlatField::make(*loaded.flat, loaded.dark ? &*loaded.dark : nullptr, &error);
    if (!field && problem)
        *problem = "The flat-field references of " + objective + " cannot be used: " + error + ".";
    return field;
}

}  // namespace qelvo::acquire
