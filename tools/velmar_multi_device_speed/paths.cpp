#include "paths.h"

#include "platform.h"

namespace velmar {
namespace {

using platform::is_path_separator;

// Length of the root part that is never removed: "/" here, and on Windows
// also a drive prefix such as "C:" or "C:\".
std::size_t root_length(std::string_view path) {
#ifdef _WIN32
    if (path.size() >= 2 && path[1] == ':') {
        return path.size() >= 3 && is_path_separator(path[2]) ? 3 : 2;
    }
#endif
    return !path.empty() && is_path_separator(path[0]) ? 1 : 0;
}

}  // namespace

std::string join_path(std::string_view base, std::string_view component) {
    std::string out(base);
    if (!out.empty() && !is_path_separator(out.back())) out.push_back(platform::kPathSeparator);
    out.append(component);
    return out;
}

std::optional<std::string> parent_directory(std::string_view path) {
    const std::size_t root = root_length(path);
    std::size_t end = path.size();
    while (end > root && is_path_separator(path[end - 1])) --end;
    if (end <= root) return std::nullopt;  // the root itself, or empty

    std::size_t last_start = end;  // start of the last component
    while (last_start > root && !is_path_separator(path[last_start - 1])) --last_start;
    std::size_t parent_end = last_start;
    while (parent_end > root && is_path_separator(path[parent_end - 1])) --parent_end;
    if (parent_end == 0) return std::nullopt;  // a single relative component
    return std::string(path.substr(0, parent_end));
}

}  // namespace velmar
