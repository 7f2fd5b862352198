// qelvo flatfield IN... --flat FILE [--dark FILE] -o OUT: uneven illumination and the fixed
// dark signal taken out, OUT = (IN - dark) / (flat - dark) * mean(flat - dark).
#include "acquire/FlatField.h"
#include "cli/Cli.h"
#include "picturefiles/PictureFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace qelvo::cli {

namespace {

const CommandSyntax& syntax();

std::string baseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

int runFlatfield(const Arguments& arguments, Io& io) {
    const std::vector<std::string>& inputs = arguments.operands;
    const std::string out = *arguments.value("--output");
    const bool intoFolder = inputs.size() > 1;
    if (!intoFolder && !pictureFormatOf(out))
        return usageError(io, syntax(), "OUT must end in .jpg, .jpeg, .png, .tif or .tiff");

    std::string error;
    const std::string flatPath = *arguments.value("--flat");
    const auto flat = readPictureFile(flatPath, &error);
    if (!flat) return failed(io, "flatfield", flatPath + ": " + error);
    std::optional<PictureData> dark;
    if (const auto darkPath = arguments.value("--dark")) {
        dark = readPictureFile(*darkPath, &error);
        if (!dark) return failed(io, "flatfield", *darkPath + ": " + error);
    }
    const auto field = acquire::FlatField::make(*flat, dark ? &*dark : nullptr, &error);
    if (!field) return failed(io, "flatfield", error);

    if (intoFolder) {
        struct stat st {};
        if (::stat(out.c_str(), &st) != 0) {
            if (errno != ENOENT || ::mkdir(out.c_str(), 0755) != 0)
                return failed(io, "flatfield",
                              "cannot create the folder " + out + ": " + std::strerror(errno));
        } else if (!S_ISDIR(st.st_mode)) {
            return failed(io, "flatfield", out + " is not a folder (several INs need one)");
        }
    }

    // Every picture is corrected and written under a hidden name first; only when all are
    // there do they take their names, so a failure half-way leaves nothing behind.
    struct Written {
        std::string temporary;
        std::string final;
    };
    std::vector<Written> written;
    const auto discard = [&] {
        for (const auto& w : written) std::remove(w.temporary.c_str());
    };
    for (const std::string& in : inputs) {
        const std::string target = intoFolder ? out + "/" + baseName(in) : out;
        if (intoFolder && !pictureFormatOf(target)) {
            discard();
            return failed(io, "flatfield", in + ": not a .jpg, .png or .tif name");
        }
        for (const auto& w : written)
            if (w.final == target) {
                discard();
                return failed(io, "flatfield", "two INs would both be written to " + target);
            }
        for (const std::string& other : inputs)
            if (sameFile(other, target) || other == target) {
                discard();
                return failed(io, "flatfield", target + " is an input; it is not overwritten");
            }
        const auto picture = readPictureFile(in, &error);
        if (!picture) {
            discard();
            return failed(io, "flatfield", in + ": " + error);
        }
        const auto corrected = field->correct(*picture, &error);
        if (!corrected) {
            discard();
            return failed(io, "flatfield", in + ": " + error);
        }
        const auto slash = target.find_last_of('/');
        const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
        const std::string temporary =
            folder + ".qelvo-flatfield-" + std::to_string(written.size()) + "-" + baseName(target);
        if (!writePictureFile(temporary, *corrected, &error)) {
            discard();
            return failed(io, "flatfield", target + ": " + error);
        }
        written.push_back({temporary, target});
    }
    for (std::size_t i = 0; i < written.size(); ++i)
        if (std::rename(written[i].temporary.c_str(), written[i].final.c_str()) != 0) {
            const std::string why = std::strerror(errno);
            for (std::size_t j = i; j < written.size(); ++j)
                std::remove(written[j].temporary.c_str());
            return failed(io, "flatfield", written[i].final + ": " + why);
        }
    return kDone;
}

const CommandSyntax& syntax() {
    static const CommandSyntax s{"flatfield",
                                 "IN...",
                                 1,
                                 -1,
                                 {{"--flat", "", true, "FILE", true},
                                  {"--dark", "", true, "FILE", false},
                                  {"--output", "-o", true, "OUT", true}}};
    return s;
}

}  // namespace

Command flatfieldCommand() {
    return {syntax(),
            "corrects uneven illumination and the fixed dark signal: OUT = (IN - dark) / (flat - "
            "dark) * mean(flat - dark); OUT is a file for one IN, a folder for several",
            runFlatfield};
}

}  // namespace qelvo::cli
