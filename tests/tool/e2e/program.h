// The benchmark program as the end-to-end tests find it, and a scratch folder
// for runs that need their own files.
#pragma once

#include <filesystem>
#include <random>
#include <string>

#include "paths.h"
#include "platform.h"

namespace e2e {

#ifdef _WIN32
inline constexpr const char *kProgramName = "velmar_multi_device_speed.exe";
#else
inline constexpr const char *kProgramName = "velmar_multi_device_speed";
#endif

// The build's bin folder: the program, liborv and the simulated provider are
// built there, beside the test program.
inline std::string build_folder() {
    return velmar::parent_directory(velmar::platform::executable_path().value()).value();
}

// A new, empty folder below the system's temporary folder; removed with all
// it holds when the object goes. Tests of several builds may run at once, so
// the name is random.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string &stem) {
        std::random_device random;
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            std::filesystem::path candidate = base / (stem + "_" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate)) path_ = candidate;
        }
    }
    ~ScratchFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;

    // Empty when no folder could be made.
    const std::filesystem::path &path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace e2e
