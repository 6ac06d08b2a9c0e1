#include "output/output_file.h"

#include <fmt/format.h>

#include <filesystem>
#include <iostream>
#include <random>
#include <system_error>

#include "failure.h"

namespace orvcli {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void output_failure(const std::string &path, const std::string &why) {
    throw Failure(ExitStatus::output, fmt::format("write {}: {}", path, why));
}

std::string temporary_name(const std::string &path) {
    std::random_device random;
    return fmt::format("{}.{:08x}.part", path, random());
}

}  // namespace

OutputFile::OutputFile(const std::string &path) : path_(path == "-" ? "" : path) {
    if (path_.empty()) return;
    std::error_code error;
    if (fs::is_directory(file_path(path_), error)) output_failure(path_, "it is a folder");
    temporary_ = temporary_name(path_);
    file_.open(file_path(temporary_), std::ios::binary | std::ios::trunc);
    if (!file_) output_failure(path_, "cannot create a file there");
}

OutputFile::~OutputFile() {
    if (path_.empty() || committed_) return;
    file_.close();
    std::error_code ignored;
    fs::remove(file_path(temporary_), ignored);
}

std::ostream &OutputFile::stream() { return path_.empty() ? std::cout : file_; }

void OutputFile::check_written() {
    if (!stream()) output_failure(path_.empty() ? "standard output" : path_, "write failed");
}

void OutputFile::commit() {
    stream().flush();
    check_written();
    if (path_.empty()) return;
    file_.close();
    if (!file_) output_failure(path_, "closing failed");
    std::error_code error;
    fs::rename(file_path(temporary_), file_path(path_), error);
    if (error) output_failure(path_, error.message());
    committed_ = true;
}

}  // namespace orvcli
