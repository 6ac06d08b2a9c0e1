#include "program_runs.h"

#include <filesystem>

#include "paths.h"
#include "platform.h"

namespace fs = std::filesystem;

namespace hardening {

constexpr int kProgramTimeoutSeconds = 240;

std::string bin_directory() {
    return velmar::parent_directory(velmar::platform::executable_path().value()).value();
}

std::string program_file_name() {
#ifdef _WIN32
    return "velmar_multi_device_speed.exe";
#else
    return "velmar_multi_device_speed";
#endif
}

std::string sdk_file_name() { return velmar::platform::kSdkLibraryName; }
std::string driver_file_name() { return velmar::platform::kD2xxLibraryName; }

ScratchFolder::ScratchFolder(const std::string &name)
    : path_((fs::temp_directory_path() / ("orv_hardening_" + name)).string()) {
    fs::remove_all(path_);
    fs::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string ScratchFolder::file(const std::string &name) const {
    return (fs::path(path_) / name).string();
}

std::string scenario(const std::string &name) {
    return std::string(HARDENING_SCENARIOS) + "/" + name + ".json";
}

e2e::ProcessResult run_program(const std::string &scenario_path,
                               const e2e::EnvironmentChanges &extra, const std::string &program) {
    const std::string path =
        program.empty() ? velmar::join_path(bin_directory(), program_file_name()) : program;
    e2e::EnvironmentChanges environment = {{"ORVSIM_SCENARIO", scenario_path},
                                           {"ORV_TRACE_TIMING", std::nullopt}};
    environment.insert(environment.end(), extra.begin(), extra.end());
    return e2e::run_process(path, fs::path(path).parent_path().string(), environment,
                            kProgramTimeoutSeconds);
}

int count_of(const std::string &text, const std::string &needle) {
    int n = 0;
    for (auto at = text.find(needle); at != std::string::npos;
         at = text.find(needle, at + needle.size()))
        ++n;
    return n;
}

}  // namespace hardening
