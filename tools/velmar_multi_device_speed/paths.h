// Text operations on file-system paths in this system's notation.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velmar {

// Appends one component, with a separator unless the path already ends with one.
std::string join_path(std::string_view base, std::string_view component);

// The path without its last component; nothing for a root, an empty path or a
// single relative component.
std::optional<std::string> parent_directory(std::string_view path);

}  // namespace velmar
