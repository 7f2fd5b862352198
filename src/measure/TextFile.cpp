#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "measure/TextFileInternal.h"
#include "system/Paths.h"

namespace qelvo::measure::text {

bool fail(std::string* error, std::string message) {
    if (error) *error = std::move(message);
    return false;
}

std::string formatDouble(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::optional<double> parseDouble(std::string_view text) {
    if (text.empty()) return std::nullopt;
    const char first = text.front();
    if (!(first == '-' || first == '.' || (first >= '0' && first <= '9'))) return std::nullopt;
    double value = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<long long> parseInteger(std::string_view text) {
    long long value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::string formatFixed(double value, int significant) {
    if (!std::isfinite(value)) return value != value ? "nan" : (value > 0 ? "inf" : "-inf");
    if (value == 0.0) return "0";
    significant = std::max(1, significant);
    const int magnitude = static_cast<int>(std::floor(std::log10(std::fabs(value))));
    int decimals = std::clamp(significant - 1 - magnitude, 0, 15);
    char buffer[400];
    auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    std::string out(buffer, result.ptr);
    if (out.find('.') != std::string::npos) {
        while (out.back() == '0') out.pop_back();
        if (out.back() == '.') out.pop_back();
    }
    if (out == "-0") out = "0";
    return out;
}

std::string escapeField(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::optional<std::string> unescapeField(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return std::nullopt;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i == text.size()) return std::nullopt;
        switch (text[i]) {
            case '\\':
                out += '\\';
                break;
            case 't':
                out += '\t';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            default:
                return std::nullopt;
        }
    }
    return out;
}

std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        if (tab == std::string_view::npos) {
            fields.push_back(line.substr(start));
            return fields;
        }
        fields.push_back(line.substr(start, tab - start));
        start = tab + 1;
    }
}

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            lines.push_back(text.substr(start));
            return lines;
        }
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
}

std::optional<std::string> readFile(const std::string& path, std::size_t limit, std::string* error,
                                    bool* missing) {
    if (missing) *missing = false;
    const int fd = openRegularFile(path, O_RDONLY);
    if (fd < 0) {
        if (errno == ENOENT) {
            if (missing) *missing = true;
            fail(error, path + " does not exist");
        } else if (errno == EINVAL) {
            fail(error, path + " is not a regular file");
        } else {
            fail(error, "cannot read " + path + ": " + std::strerror(errno));
        }
        return std::nullopt;
    }
    std::string bytes;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int saved = errno;
            ::close(fd);
            fail(error, "cannot read " + path + ": " + std::strerror(saved));
            return std::nullopt;
        }
        if (n == 0) break;
        bytes.append(buffer, static_cast<std::size_t>(n));
        if (bytes.size() > limit) {
            ::close(fd);
            fail(error, path + " is too large (more than " + std::to_string(limit) + " bytes)");
            return std::nullopt;
        }
    }
    ::close(fd);
    return bytes;
}

bool writeFileWhole(const std::string& path, std::string_view bytes, std::string* error) {
    std::string temp = path + ".tmp-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return fail(error, "cannot write " + path + ": " + std::strerror(errno));
    ::fchmod(fd, 0644);
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    int saved = 0;
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            saved = n < 0 ? errno : EIO;
            break;
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    if (saved == 0 && ::fsync(fd) != 0) saved = errno;
    if (::close(fd) != 0 && saved == 0) saved = errno;
    if (saved == 0 && ::rename(temp.c_str(), path.c_str()) != 0) saved = errno;
    if (saved != 0) {
        ::unlink(temp.c_str());
        return fail(error, "cannot write " + path + ": " + std::strerror(saved));
    }
    return true;
}

bool makeFolders(const std::string& path, std::string* error) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (ec) return fail(error, "cannot make the folder " + path + ": " + ec.message());
    if (!isAccessibleFolder(path)) return fail(error, path + " is not a usable folder");
    return true;
}

}  // namespace qelvo::measure::text
