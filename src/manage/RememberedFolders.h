#pragma once

#include "manage/FolderList.h"
#include "manage/SettingsFile.h"
#include "system/Clock.h"

#include <string>

namespace qelvo {

// The folder memory of the image management window: the settings file in the root folder
// and the folder list built from it.  The day folder (root/YYYYMMDD) is created on opening.
class RememberedFolders {
public:
    explicit RememberedFolders(std::string root);

    // Fills the list from the settings file, creates today's day folder, records it in the
    // file when new, makes it the storage folder and selects it.  Returns the day folder.
    std::string read(const LocalTime& today);
    // Makes `folder` the storage folder, selects its entry (appending it to the list and the
    // file when new) and makes the storage folder the selected entry's path.
    void remember(const std::string& folder);

    const FolderList& list() const { return list_; }
    FolderList& list() { return list_; }
    const std::string& root() const { return root_; }
    const SettingsFile& file() const { return file_; }

    static std::string dayFolder(const std::string& root, const LocalTime& date);

private:
    void selectOrAppend(const std::string& folder);

    std::string root_;
    SettingsFile file_;
    FolderList list_;
};

}  // namespace qelvo
