#include "manage/RememberedFolders.h"

#include "system/Paths.h"
#include "system/SessionState.h"

#include <sys/stat.h>

#include <cstdio>

namespace qelvo {

RememberedFolders::RememberedFolders(std::string root) : root_(std::move(root)), file_(root_) {}

std::string RememberedFolders::dayFolder(const std::string& root, const LocalTime& date) {
    char name[16];
    std::snprintf(name, sizeof name, "%04d%02d%02d", date.year % 10000, date.month % 100,
                  date.day % 100);
    return joinPath(root, name);
}

std::string RememberedFolders::read(const LocalTime& today) {
    const bool opened = file_.forEachLine([this](const std::string& line) {
        struct stat st {};
        if (line.empty() || ::stat(line.c_str(), &st) != 0) return;
        list_.removeMatching(line);
        list_.add(line);
    });
    if (!opened) {
        file_.createEmpty();
    }

    const std::string day = dayFolder(root_, today);
    setStorageFolder(day);
    ::mkdir(day.c_str(), 0755);
    selectOrAppend(day);
    return day;
}

void RememberedFolders::remember(const std::string& folder) {
    setStorageFolder(folder);
    selectOrAppend(folder);
    setStorageFolder(list_.selectedText());
}

void RememberedFolders::selectOrAppend(const std::string& folder) {
    const int found = list_.find(folder);
    if (found >= 0) {
        list_.select(found);
        return;
    }
    file_.append(folder);
    list_.select(list_.add(folder));
}

}  // namespace qelvo
