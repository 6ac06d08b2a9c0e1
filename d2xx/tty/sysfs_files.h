// Reading and writing the small text files, links and folders of sysfs and
// procfs. Every read is bounded; a missing file or link reads as empty text.
#ifndef ORV_TTY_SYSFS_FILES_H
#define ORV_TTY_SYSFS_FILES_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvtty {

// An attribute file is at most a page; anything longer is cut there.
inline constexpr size_t MAX_ATTRIBUTE_BYTES = 4096;

// The file's bytes (at most MAX_ATTRIBUTE_BYTES) without the trailing
// newlines; empty when the file cannot be read.
std::string read_attribute(const std::string &path);

// The target text of a symbolic link; empty when `path` is not one.
std::string read_link(const std::string &path);

// The names in a folder, without "." and ".."; empty when it cannot be read.
std::vector<std::string> folder_entries(const std::string &path);

// The canonical absolute path, links resolved; empty when it does not exist.
std::string resolve(const std::string &path);

// The final component of a path ("a/b/c" -> "c").
std::string last_component(const std::string &path);

// The path without its final component ("a/b/c" -> "a/b").
std::string parent_of(const std::string &path);

// A whole attribute text as a number in `base` (10 or 16), no sign, at most
// UINT32_MAX; nothing when the text is empty, has other characters or is
// larger.
std::optional<uint32_t> parse_number(const std::string &text, int base);

// Writes `text` to an existing attribute file. Returns 0, or the errno of
// the failed step.
int write_attribute(const std::string &path, const std::string &text);

}  // namespace orvtty

#endif
