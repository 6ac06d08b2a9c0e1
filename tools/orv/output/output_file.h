// Where a command's document goes: standard output, or a file that is written
// under a temporary name next to it and renamed into place by commit(). A
// file never committed (a failure, an exception) is removed, so a failed run
// leaves nothing half-written. Every problem is an output Failure.
#pragma once

#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>

namespace orvcli {

// A path given as UTF-8 text (the command line, on every system).
inline std::filesystem::path file_path(const std::string &utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

class OutputFile {
public:
    // "" or "-": standard output. Otherwise the temporary file is created at
    // once, so a path that cannot be written fails before any acquisition.
    explicit OutputFile(const std::string &path);
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    std::ostream &stream();
    // Throws when something written so far did not reach the stream's target.
    void check_written();
    // Flushes, closes and renames the temporary file to the path.
    void commit();

    bool is_standard_output() const { return path_.empty(); }
    const std::string &path() const { return path_; }

private:
    std::string path_;
    std::string temporary_;
    std::ofstream file_;
    bool committed_ = false;
};

}  // namespace orvcli
