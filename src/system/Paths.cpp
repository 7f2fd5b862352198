#include "system/Paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace qelvo {
namespace {

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string home() {
    std::string h = env("HOME");
    return h.empty() ? std::string("/tmp") : h;
}

}  // namespace

std::string defaultStorageRoot() {
    std::string root = env("QELVO_STORAGE_ROOT");
    return root.empty() ? joinPath(home(), "QELVO-LAB") : root;
}

std::string storageFallback() {
    return home();
}

std::string registryRoot() {
    std::string dir = env("QELVO_REGISTRY_DIR");
    if (!dir.empty()) return dir;
    std::string config = env("XDG_CONFIG_HOME");
    if (config.empty()) config = joinPath(home(), ".config");
    return joinPath(joinPath(config, "qelvo"), "registry");
}

std::string runtimeDir() {
    std::string dir = env("QELVO_RUNTIME_DIR");
    if (!dir.empty()) return dir;
    std::string xdg = env("XDG_RUNTIME_DIR");
    if (!xdg.empty()) return joinPath(xdg, "qelvo");
    return "/tmp/qelvo-" + std::to_string(getuid());
}

std::vector<std::string> programDataFolders() {
    std::vector<std::string> folders;
    char buffer[4096];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    const std::string exe = length > 0 ? std::string(buffer, static_cast<std::size_t>(length)) : "";
    const auto slash = exe.find_last_of('/');
    const auto up = slash == std::string::npos ? slash : exe.find_last_of('/', slash - 1);
    if (up != std::string::npos && up > 0)
        folders.push_back(exe.substr(0, up) + "/share/qelvo-tarnel");
#ifdef QELVO_BUILD_ROOT
    // Only a program of the build itself looks in the build tree: an installed one never
    // reads files from wherever it was built.
    const std::string build = QELVO_BUILD_ROOT;
    if (exe.rfind(build + "/", 0) == 0) folders.push_back(build + "/share/qelvo-tarnel");
#endif
    std::vector<std::string> existing;
    for (const std::string& folder : folders)
        if (isAccessibleFolder(folder) &&
            std::find(existing.begin(), existing.end(), folder) == existing.end())
            existing.push_back(folder);
    return existing;
}

std::string preparePrivateFolder(const std::string& given) {
    // A trailing slash would make the checks below look through a symbolic link.
    std::string path = given;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    for (std::size_t pos = 1; pos < path.size(); ++pos)
        if (path[pos] == '/') ::mkdir(path.substr(0, pos).c_str(), 0700);
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return std::string("cannot be created (") + std::strerror(errno) + ")";
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return std::string("cannot be read (") + std::strerror(errno) + ")";
    if (S_ISLNK(st.st_mode)) return "is a symbolic link";
    if (!S_ISDIR(st.st_mode)) return "is not a folder";
    if (st.st_uid != ::geteuid()) return "belongs to another user";
    // Closing a folder others could write into would not take back what they may already
    // have put there, and a folder the user chose may be shared on purpose: it is left as
    // it is and not used.  Others reading or entering it is harmless (the socket answers
    // this user only), so such a folder is used without changing it.
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) return "is writable by other users";
    if ((st.st_mode & S_IRWXU) == S_IRWXU) return "";
    // Ours but not usable by us (an unusual umask): give ourselves access, nothing more.
    if (::chmod(path.c_str(), (st.st_mode & 07777) | S_IRWXU) != 0)
        return std::string("cannot be used (") + std::strerror(errno) + ")";
    return "";
}

std::string privateRuntimeSubfolder(const std::string& name) {
    const std::string runtime = runtimeDir();
    if (!preparePrivateFolder(runtime).empty()) return "";
    const std::string dir = joinPath(runtime, name);
    const bool made = ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
    return made && isAccessibleFolder(dir) ? dir : "";
}

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

bool isAccessibleFolder(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

int openRegularFile(const std::string& path, int flags, int mode) {
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, mode);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    const int status = ::fcntl(fd, F_GETFL);
    if (status != -1) ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
    return fd;
}

}  // namespace qelvo
