#include "manage/fuzz/SettingsFileInput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "manage/RememberedFolders.h"
#include "support/FuzzSupport.h"
#include "system/SessionState.h"

namespace qelvo::fuzz {
namespace {

const LocalTime kToday{2024, 3, 7, 9, 30, 0};
const char* const kFolders[] = {"A", "B", "lab", "lab/20240301"};

// Runs in the scratch root for its lifetime, so the file's relative paths resolve there.
class InScratchRoot {
public:
    InScratchRoot() : previous_(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        static const std::string root = [] {
            const std::string folder = scratchFolder("settings");
            for (const char* name : kFolders) ::mkdir((folder + "/" + name).c_str(), 0755);
            // Made up front, so the first input reads the same as every later one.
            ::mkdir((folder + "/20240307").c_str(), 0755);
            return folder;
        }();
        ok_ = previous_ >= 0 && ::chdir(root.c_str()) == 0;
    }
    ~InScratchRoot() {
        if (previous_ < 0) return;
        if (::fchdir(previous_) != 0) std::abort();
        ::close(previous_);
    }
    InScratchRoot(const InScratchRoot&) = delete;
    InScratchRoot& operator=(const InScratchRoot&) = delete;
    bool ok() const { return ok_; }

private:
    int previous_;
    bool ok_ = false;
};

std::string listProblem(const RememberedFolders& folders, const std::string& day) {
    const auto& entries = folders.list().entries();
    for (std::size_t i = 0; i < entries.size(); ++i)
        for (std::size_t j = i + 1; j < entries.size(); ++j)
            if (FolderList::matches(entries[i], entries[j]))
                return "folder listed twice: " + entries[j];
    if (!FolderList::matches(folders.list().selectedText(), day))
        return "day folder not selected, selection: " + folders.list().selectedText();
    return {};
}

}  // namespace

std::string checkSettingsFileInput(std::string_view input) {
    InScratchRoot scratch;
    if (!scratch.ok()) return {};
    const std::string file = SettingsFile::kFileName;
    if (!writeFile(file, input)) return {};

    RememberedFolders first(".");
    const std::string day = first.read(kToday);
    if (storageFolder() != day) return "storage folder is not the day folder";
    if (std::string problem = listProblem(first, day); !problem.empty()) return problem;
    const std::string afterFirst = readFile(file);

    RememberedFolders second(".");
    second.read(kToday);
    if (readFile(file) != afterFirst) return "a second opening on the same day changed the file";
    if (second.list().entries() != first.list().entries())
        return "a second opening on the same day lists other folders";

    second.remember("B");
    if (storageFolder() != "B" && !FolderList::matches(storageFolder(), "B"))
        return "remembered folder is not the storage folder";
    RememberedFolders third(".");
    third.read(kToday);
    if (third.list().find("B") < 0) return "remembered folder lost at the next opening";
    if (third.list().entries() != second.list().entries())
        return "the next opening lists other folders than were remembered";
    return {};
}

int writeSettingsFileSeeds(const std::string& folder) {
    InScratchRoot scratch;
    if (!scratch.ok()) return 0;
    const std::string file = SettingsFile::kFileName;
    int written = 0;
    auto keep = [&](const char* name) {
        written += writeFile(folder + "/" + name, readFile(file));
    };

    ::unlink(file.c_str());
    RememberedFolders folders(".");
    folders.read(kToday);
    keep("day-only.cfg");
    for (const char* name : kFolders) folders.remember(name);
    keep("remembered.cfg");
    RememberedFolders nextDay(".");
    nextDay.read(LocalTime{2024, 3, 8});
    nextDay.remember("lab");
    nextDay.remember("/");
    keep("next-day.cfg");
    return written;
}

}  // namespace qelvo::fuzz
