#pragma once

#include <string>

namespace qelvo {

// Process-wide words shared by the launcher and the working windows.  Written on the GUI
// thread only while no capture runs, or on that same thread.

// The friendly name chosen in the launcher; at most 255 bytes (longer names are cut at the
// last whole UTF-8 character that fits).
const std::string& selectedDeviceName();
void setSelectedDeviceName(const std::string& name);

// The folder snapshots are written to and the strip lists.  Paths are kept whole.
const std::string& storageFolder();
void setStorageFolder(const std::string& path);
// A copy of the storage folder that any thread may take (the snapshot writers read it while
// the GUI thread may be changing it).
std::string storageFolderCopy();

// Cuts a text to at most `maxBytes` bytes without splitting a UTF-8 character.
std::string cutUtf8(const std::string& text, std::size_t maxBytes);

constexpr std::size_t kDeviceNameMaxBytes = 255;

}  // namespace qelvo
