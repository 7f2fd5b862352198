#pragma once

#include <optional>
#include <string>

class QWidget;

namespace qelvo {

// The file commands of the image management window, asking the operator through the
// dialogs service.

enum class DeleteOutcome { Declined, Deleted, Failed };

// Asks "Do you want to delete this file?" for `path` and deletes it on yes, with its
// measurements (the sidecar file beside it).  Failed: the
// operator said yes but the file could not be deleted (it may be gone already).
DeleteOutcome askAndDeletePicture(QWidget* parent, const std::string& path);

// Asks for a new name with the save dialog and moves the picture there.  An existing target
// is never replaced: the move fails and both files stay as they were.  The picture's
// measurements move with it.  Returns the new path when the picture moved.
std::optional<std::string> askAndRenamePicture(QWidget* parent, const std::string& current);

// Shows the folder picker titled "Please choose a folder."; the chosen folder, if any.
std::optional<std::string> askForFolder(QWidget* parent);

// Moves a file without ever replacing an existing target, across file systems too (copy to
// a temporary name beside the target, link it into place, then remove the source).
bool moveFileNoReplace(const std::string& from, const std::string& to);

}  // namespace qelvo
