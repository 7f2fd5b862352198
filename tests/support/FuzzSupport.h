#pragma once

// Shared pieces of the parser fuzzers and their regression replays.  A parser check takes
// one untrusted input and returns "" when everything the parser made of it is sound, or a
// description of what is wrong.  libFuzzer aborts on a non-empty answer; the replay tests
// expect "" for every kept input.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qelvo::fuzz {

inline bool writeFile(const std::string& path, std::string_view bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

inline std::string readFile(const std::string& path) {
    std::string bytes;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return bytes;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    std::fclose(f);
    return bytes;
}

// A scratch folder of this process: $TMPDIR/qelvo-fuzz-<purpose>-<pid>, created on first use.
// Reused by every input, so a check costs a few file writes, not a folder tree.
inline std::string scratchFolder(const std::string& purpose) {
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/qelvo-fuzz-" + purpose +
                               "-" + std::to_string(::getpid());
    ::mkdir(folder.c_str(), 0700);
    return folder;
}

// The regular files of a folder with their contents, by name; none when the folder is missing.
inline std::vector<std::pair<std::string, std::string>> folderFiles(const std::string& folder) {
    std::vector<std::pair<std::string, std::string>> files;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return files;
    while (dirent* entry = ::readdir(dir)) {
        const std::string path = folder + "/" + entry->d_name;
        struct stat st {};
        if (entry->d_name[0] == '.' || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        files.emplace_back(entry->d_name, readFile(path));
    }
    ::closedir(dir);
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace qelvo::fuzz

// Defines the libFuzzer entry point of a fuzzer over one parser check.
#define QELVO_FUZZ_TARGET(check)                                                        \
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) { \
        const std::string problem =                                                     \
            check(std::string_view(reinterpret_cast<const char*>(data), size));         \
        if (!problem.empty()) {                                                         \
            std::fprintf(stderr, "unsound result: %s\n", problem.c_str());              \
            std::abort();                                                               \
        }                                                                               \
        return 0;                                                                       \
    }
