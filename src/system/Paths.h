#pragma once

#include <string>
#include <vector>

namespace qelvo {

// $QELVO_STORAGE_ROOT, else $HOME/QELVO-LAB.
std::string defaultStorageRoot();
// Where the storage folder goes when the root cannot be created: $HOME (or "/tmp" without one).
std::string storageFallback();
// Root of the file-backed registry store: $QELVO_REGISTRY_DIR, else
// $XDG_CONFIG_HOME/qelvo/registry, else $HOME/.config/qelvo/registry.
std::string registryRoot();
// Folder for state shared between the program and its helper tools at run time:
// $QELVO_RUNTIME_DIR, else $XDG_RUNTIME_DIR/qelvo, else /tmp/qelvo-<uid>.
std::string runtimeDir();
// Makes sure `path` is a folder no other user can put files into, creating it (and missing
// parents) with mode 0700.  An existing one must be a real folder, not a symbolic link, owned
// by this user and not writable by group or others; it is never opened up or closed down.  In
// a shared folder such as /tmp another user could otherwise have made the folder first and
// plant files the program trusts.  Returns "" when the folder is fit for use, else why not,
// worded to follow the path ("belongs to another user").
std::string preparePrivateFolder(const std::string& path);
// The runtime folder's subfolder `name`, made (0700) if missing, once the runtime folder has
// passed preparePrivateFolder; "" when either is unfit for use.
std::string privateRuntimeSubfolder(const std::string& name);

// The folders holding the files the program ships (specimen pictures, ...), those that exist,
// in the order they are searched: share/qelvo-tarnel beside the bin/ folder of the running
// program (an installed program), then, for a program of the build tree, the build's copy.
std::vector<std::string> programDataFolders();

// "a" + "/" + "b", without doubling a slash at the join.
std::string joinPath(const std::string& folder, const std::string& name);
// True when the path names an existing directory that can be entered.
bool isAccessibleFolder(const std::string& path);

// Opens a file the program only ever keeps as a regular file (settings, registry values,
// device state) without blocking: a pipe or device node put in its place would otherwise
// stall the opening thread, or feed it bytes forever.  `flags` are the access mode and extra
// open flags.  Returns the descriptor (blocking again, close-on-exec), or -1 with errno set;
// EINVAL when the path names something other than a regular file.
int openRegularFile(const std::string& path, int flags, int mode = 0644);

}  // namespace qelvo
