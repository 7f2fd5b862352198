#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qelvo {

// Outcome of reading one registry value.  Values are untrusted: a file that is corrupt, too
// large or of the other type gives a clear status, never a crash.
enum class RegistryStatus {
    Ok,
    KeyMissing,    // the key's folder is gone (removed after it was opened)
    ValueMissing,  // no such value under the key
    WrongType,     // the value exists but holds the other type
    Corrupt,       // unreadable contents
    TooLarge,      // larger than any value the store accepts
    IoError,       // the file system refused the read or the write
};

const char* registryStatusText(RegistryStatus status);

template <typename T>
struct RegistryValue {
    RegistryStatus status = RegistryStatus::ValueMissing;
    T value{};
    bool ok() const { return status == RegistryStatus::Ok; }
};

// An opened key: a folder of the store.  Reading and writing go to the folder's value files;
// a key removed while open simply makes every call fail.
class RegistryKey {
public:
    const std::string& path() const { return folder_; }

    RegistryValue<std::uint32_t> readNumber(const std::string& name) const;
    RegistryValue<std::string> readText(const std::string& name) const;
    // Each write replaces the value whole (temporary file, then rename), so a reader in this
    // or another process sees either the old or the new value, never a part.
    RegistryStatus writeNumber(const std::string& name, std::uint32_t value) const;
    RegistryStatus writeText(const std::string& name, const std::string& value) const;
    RegistryStatus deleteValue(const std::string& name) const;

private:
    friend class RegistryStore;
    explicit RegistryKey(std::string folder) : folder_(std::move(folder)) {}
    std::string folder_;
};

// File-backed registry: a folder per key under the root, one file per typed value.  Key paths
// use '\' or '/' between their parts ("SYSTEM\CurrentControlSet\..."); names are
// case-sensitive.  Safe to use from several threads and processes at once.
class RegistryStore {
public:
    // The store at registryRoot() (Paths.h).
    RegistryStore();
    explicit RegistryStore(std::string root);

    const std::string& root() const { return root_; }

    // The key if its folder exists; nothing for a missing key or an unusable path.
    std::optional<RegistryKey> openKey(const std::string& keyPath) const;
    // Opens the key, creating it and its parents when missing.
    std::optional<RegistryKey> createKey(const std::string& keyPath) const;
    // Creates the key only if it does not exist yet (its parents may exist or not).  Returns
    // nothing when it already existed or could not be made; of two processes racing for the
    // same key exactly one gets it.
    std::optional<RegistryKey> createNewKey(const std::string& keyPath) const;
    // Removes a key with its values and subkeys.  True when it is gone afterwards.
    bool deleteKey(const std::string& keyPath) const;

    // Largest value file the store reads; larger files read as TooLarge.
    static constexpr std::size_t kMaxValueBytes = 64 * 1024;

private:
    std::optional<std::string> folderOf(const std::string& keyPath) const;
    std::string root_;
};

// Where the device-setup class of imaging devices keeps its per-device driver keys.
inline constexpr const char* kImagingDeviceClassKey =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}";

}  // namespace qelvo
