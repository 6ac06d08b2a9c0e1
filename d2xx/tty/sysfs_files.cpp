#include "sysfs_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

namespace orvtty {

std::string read_attribute(const std::string &path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return {};
    std::string text(MAX_ATTRIBUTE_BYTES, '\0');
    size_t filled = 0;
    while (filled < text.size()) {
        const ssize_t n = read(fd, &text[filled], text.size() - filled);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        filled += static_cast<size_t>(n);
    }
    close(fd);
    text.resize(filled);
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

std::string read_link(const std::string &path) {
    char target[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), target, sizeof target);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof target) return {};
    return std::string(target, static_cast<size_t>(n));
}

std::vector<std::string> folder_entries(const std::string &path) {
    std::vector<std::string> names;
    std::unique_ptr<DIR, int (*)(DIR *)> dir(opendir(path.c_str()), closedir);
    if (!dir) return names;
    while (const dirent *entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    return names;
}

std::string resolve(const std::string &path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

std::string last_component(const std::string &path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string parent_of(const std::string &path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return {};
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::optional<uint32_t> parse_number(const std::string &text, int base) {
    if (text.empty() || text.size() > 16) return std::nullopt;
    uint64_t value = 0;
    for (const char c : text) {
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            return std::nullopt;
        }
        if (digit >= base) return std::nullopt;
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (value > UINT32_MAX) return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}

int write_attribute(const std::string &path, const std::string &text) {
    const int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return errno;
    int error = 0;
    ssize_t n;
    do {
        n = write(fd, text.data(), text.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        error = errno;
    } else if (static_cast<size_t>(n) != text.size()) {
        error = EIO;
    }
    close(fd);
    return error;
}

}  // namespace orvtty
