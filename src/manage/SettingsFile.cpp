#include "manage/SettingsFile.h"

#include "system/Paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace qelvo {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

bool writeAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

SettingsFile::SettingsFile(std::string root) : path_(joinPath(root, kFileName)) {}

bool SettingsFile::readLines(std::vector<std::string>& lines) const {
    return forEachLine([&](const std::string& line) { lines.push_back(line); });
}

bool SettingsFile::forEachLine(const std::function<void(const std::string&)>& line) const {
    const int fd = openRegularFile(path_, O_RDONLY);
    if (fd < 0) return false;
    std::unique_ptr<std::FILE, FileCloser> file(::fdopen(fd, "rb"));
    if (!file) {
        ::close(fd);
        return false;
    }
    char buffer[kMaxPiece + 1];
    while (std::fgets(buffer, sizeof buffer, file.get())) {
        // A NUL byte ends the text of the piece, as it would for any C string.
        std::string piece(buffer, std::strlen(buffer));
        if (!piece.empty() && piece.back() == '\n') piece.pop_back();
        if (!piece.empty() && piece.back() == '\r') piece.pop_back();
        line(piece);
    }
    return true;
}

bool SettingsFile::createEmpty() const {
    const int fd = openRegularFile(path_, O_WRONLY | O_CREAT | O_TRUNC);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

bool SettingsFile::append(const std::string& line) const {
    const int fd = openRegularFile(path_, O_RDWR | O_APPEND);
    if (fd < 0) return false;
    // A file cut short (by a crash, or edited by hand) may lack its last line feed; the new
    // line must not be glued onto that last path.
    std::string text = line + "\n";
    struct stat st {};
    char last = '\n';
    if (::fstat(fd, &st) == 0 && st.st_size > 0 && ::pread(fd, &last, 1, st.st_size - 1) == 1 &&
        last != '\n')
        text.insert(text.begin(), '\n');
    // One write call, so a line is never interleaved with another writer's.
    const bool ok = writeAll(fd, text);
    ::close(fd);
    return ok;
}

}  // namespace qelvo
