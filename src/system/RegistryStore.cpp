#include "system/RegistryStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <vector>

#include "system/Paths.h"

namespace qelvo {
namespace {

constexpr const char* kValueSuffix = ".value";
constexpr const char* kNumberTag = "dword:";
constexpr const char* kTextTag = "sz:";

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Value names may hold any character; the file name keeps letters, digits and a few safe
// marks and writes every other byte as %XX, so no name can leave its key's folder.
std::string valueFileName(const std::string& name) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == ' ' || c == '_' || c == '-' || c == '.' ||
                           c == '(' || c == ')';
        if (plain) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(digits[c >> 4]);
            out.push_back(digits[c & 0x0F]);
        }
    }
    return out + kValueSuffix;
}

bool makeFolder(const std::string& path) {
    return ::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
}

bool makeFolders(const std::string& path) {
    for (std::size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos != path.size() && path[pos] != '/') continue;
        if (!makeFolder(path.substr(0, pos))) return false;
    }
    return isAccessibleFolder(path);
}

RegistryStatus statusFromErrno(int error) {
    return (error == ENOENT || error == ENOTDIR) ? RegistryStatus::KeyMissing
                                                 : RegistryStatus::IoError;
}

struct RawValue {
    RegistryStatus status = RegistryStatus::ValueMissing;
    std::string bytes;
};

RawValue readValueFile(const std::string& folder, const std::string& name) {
    RawValue raw;
    if (!isAccessibleFolder(folder)) {
        raw.status = RegistryStatus::KeyMissing;
        return raw;
    }
    const std::string path = joinPath(folder, valueFileName(name));
    const int fd = openRegularFile(path, O_RDONLY | O_NOFOLLOW);
    if (fd < 0) {
        raw.status = errno == ENOENT   ? RegistryStatus::ValueMissing
                     : errno == EINVAL ? RegistryStatus::Corrupt
                                       : RegistryStatus::IoError;
        return raw;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        raw.status = RegistryStatus::IoError;
        return raw;
    }
    if (static_cast<std::uint64_t>(st.st_size) > RegistryStore::kMaxValueBytes) {
        ::close(fd);
        raw.status = RegistryStatus::TooLarge;
        return raw;
    }
    // Read up to one byte past the limit, in case the file grew since fstat.
    std::vector<char> buffer(RegistryStore::kMaxValueBytes + 1);
    std::size_t used = 0;
    while (used < buffer.size()) {
        const ssize_t n = ::read(fd, buffer.data() + used, buffer.size() - used);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            raw.status = RegistryStatus::IoError;
            return raw;
        }
        if (n == 0) break;
        used += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (used > RegistryStore::kMaxValueBytes) {
        raw.status = RegistryStatus::TooLarge;
        return raw;
    }
    raw.status = RegistryStatus::Ok;
    raw.bytes.assign(buffer.data(), used);
    return raw;
}

bool writeWhole(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

RegistryStatus writeValueFile(const std::string& folder, const std::string& name,
                              const std::string& contents) {
    if (contents.size() > RegistryStore::kMaxValueBytes) return RegistryStatus::TooLarge;
    // A key removed after it was opened stays removed: writing never recreates it.
    if (!isAccessibleFolder(folder)) return RegistryStatus::KeyMissing;
    static std::atomic<unsigned> counter{0};
    const std::string file = valueFileName(name);
    const std::string target = joinPath(folder, file);
    const std::string temp = joinPath(folder, "." + file + ".tmp." + std::to_string(::getpid()) +
                                                  "." + std::to_string(++counter));
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return statusFromErrno(errno);
    bool ok = writeWhole(fd, contents);
    ok = (::close(fd) == 0) && ok;
    if (ok && ::rename(temp.c_str(), target.c_str()) == 0) return RegistryStatus::Ok;
    const int error = errno;
    ::unlink(temp.c_str());
    return ok ? statusFromErrno(error) : RegistryStatus::IoError;
}

}  // namespace

const char* registryStatusText(RegistryStatus status) {
    switch (status) {
        case RegistryStatus::Ok:
            return "ok";
        case RegistryStatus::KeyMissing:
            return "key missing";
        case RegistryStatus::ValueMissing:
            return "value missing";
        case RegistryStatus::WrongType:
            return "value has the other type";
        case RegistryStatus::Corrupt:
            return "value is corrupt";
        case RegistryStatus::TooLarge:
            return "value is too large";
        case RegistryStatus::IoError:
            return "input/output error";
    }
    return "unknown";
}

RegistryValue<std::uint32_t> RegistryKey::readNumber(const std::string& name) const {
    RegistryValue<std::uint32_t> result;
    RawValue raw = readValueFile(folder_, name);
    if (raw.status != RegistryStatus::Ok) {
        result.status = raw.status;
        return result;
    }
    const std::string tag = kNumberTag;
    if (raw.bytes.compare(0, tag.size(), tag) != 0) {
        result.status = raw.bytes.compare(0, 3, kTextTag) == 0 ? RegistryStatus::WrongType
                                                               : RegistryStatus::Corrupt;
        return result;
    }
    const char* begin = raw.bytes.data() + tag.size();
    const char* end = raw.bytes.data() + raw.bytes.size();
    if (end > begin && end[-1] == '\n') --end;
    std::uint32_t value = 0;
    auto [ptr, ec] = std::from_chars(begin, end, value);
    if (begin == end || ec != std::errc() || ptr != end) {
        result.status = RegistryStatus::Corrupt;
        return result;
    }
    result.status = RegistryStatus::Ok;
    result.value = value;
    return result;
}

RegistryValue<std::string> RegistryKey::readText(const std::string& name) const {
    RegistryValue<std::string> result;
    RawValue raw = readValueFile(folder_, name);
    if (raw.status != RegistryStatus::Ok) {
        result.status = raw.status;
        return result;
    }
    const std::string tag = kTextTag;
    if (raw.bytes.compare(0, tag.size(), tag) != 0) {
        result.status = raw.bytes.compare(0, 6, kNumberTag) == 0 ? RegistryStatus::WrongType
                                                                 : RegistryStatus::Corrupt;
        return result;
    }
    result.status = RegistryStatus::Ok;
    result.value = raw.bytes.substr(tag.size());
    return result;
}

RegistryStatus RegistryKey::writeNumber(const std::string& name, std::uint32_t value) const {
    return writeValueFile(folder_, name, kNumberTag + std::to_string(value) + "\n");
}

RegistryStatus RegistryKey::writeText(const std::string& name, const std::string& value) const {
    if (value.size() + 3 > RegistryStore::kMaxValueBytes) return RegistryStatus::TooLarge;
    return writeValueFile(folder_, name, kTextTag + value);
}

RegistryStatus RegistryKey::deleteValue(const std::string& name) const {
    if (!isAccessibleFolder(folder_)) return RegistryStatus::KeyMissing;
    const std::string path = joinPath(folder_, valueFileName(name));
    if (::unlink(path.c_str()) == 0) return RegistryStatus::Ok;
    return errno == ENOENT ? RegistryStatus::ValueMissing : RegistryStatus::IoError;
}

RegistryStore::RegistryStore() : RegistryStore(registryRoot()) {}

RegistryStore::RegistryStore(std::string root) : root_(std::move(root)) {}

std::optional<std::string> RegistryStore::folderOf(const std::string& keyPath) const {
    if (root_.empty()) return std::nullopt;
    std::string folder = root_;
    std::string part;
    auto flush = [&]() -> bool {
        if (part.empty()) return true;
        // "." and ".." would leave the key's place; a part named like a value file would
        // collide with one.
        if (part == "." || part == ".." || endsWith(part, kValueSuffix)) return false;
        folder = joinPath(folder, part);
        part.clear();
        return true;
    };
    for (char c : keyPath) {
        if (c == '\0') return std::nullopt;
        if (c == '\\' || c == '/') {
            if (!flush()) return std::nullopt;
        } else {
            part.push_back(c);
        }
    }
    if (!flush()) return std::nullopt;
    return folder;
}

std::optional<RegistryKey> RegistryStore::openKey(const std::string& keyPath) const {
    auto folder = folderOf(keyPath);
    if (!folder || !isAccessibleFolder(*folder)) return std::nullopt;
    return RegistryKey(*folder);
}

std::optional<RegistryKey> RegistryStore::createKey(const std::string& keyPath) const {
    auto folder = folderOf(keyPath);
    if (!folder || !makeFolders(*folder)) return std::nullopt;
    return RegistryKey(*folder);
}

std::optional<RegistryKey> RegistryStore::createNewKey(const std::string& keyPath) const {
    auto folder = folderOf(keyPath);
    if (!folder || *folder == root_) return std::nullopt;
    const std::string parent = folder->substr(0, folder->find_last_of('/'));
    if (!makeFolders(parent)) return std::nullopt;
    if (::mkdir(folder->c_str(), 0755) != 0) return std::nullopt;
    return RegistryKey(*folder);
}

bool RegistryStore::deleteKey(const std::string& keyPath) const {
    auto folder = folderOf(keyPath);
    if (!folder || *folder == root_) return false;
    std::error_code error;
    std::filesystem::remove_all(*folder, error);
    return !error && !std::filesystem::exists(*folder, error);
}

}  // namespace qelvo
