#include "diagnostics.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>

#include "environment.h"
#include "sysfs_files.h"

namespace orvtty {

namespace {

// More holders than this are summed up as "and others".
constexpr int MAX_HOLDERS_NAMED = 4;

bool all_digits(const std::string &text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
    });
}

bool process_holds(const std::string &pid, const std::string &target) {
    const std::string fd_dir = "/proc/" + pid + "/fd";
    for (const std::string &fd : folder_entries(fd_dir)) {
        if (read_link(fd_dir + "/" + fd) == target) return true;
    }
    return false;
}

}  // namespace

void explain(const std::string &text) {
    if (!debug_enabled()) return;
    const std::string line = "orv-tty: " + text + "\n";
    ssize_t ignored = write(STDERR_FILENO, line.data(), line.size());
    (void)ignored;
}

std::string holders_of(const std::string &node) {
    const std::string resolved = resolve(node);
    if (resolved.empty()) return {};
    const std::string self = std::to_string(getpid());
    std::string names;
    int found = 0;
    for (const std::string &pid : folder_entries("/proc")) {
        if (!all_digits(pid) || pid == self || !process_holds(pid, resolved)) continue;
        if (++found > MAX_HOLDERS_NAMED) {
            names += " and others";
            break;
        }
        names += (names.empty() ? "pid " : ", pid ") + pid + " (" +
                 read_attribute("/proc/" + pid + "/comm") + ")";
    }
    return names;
}

}  // namespace orvtty
