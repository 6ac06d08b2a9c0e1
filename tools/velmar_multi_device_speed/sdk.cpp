#include "sdk.h"

#include "paths.h"

namespace velmar {

Result<platform::RawFunction, LoaderError> Library::resolve(std::string_view name) const {
    std::string terminated(name);
    if (!terminated.empty() && terminated.back() == '\0') terminated.pop_back();
    if (terminated.find('\0') != std::string::npos) return LoaderError{};
    return lookup(terminated.c_str());
}

Result<std::unique_ptr<SystemLibrary>, LoaderError> SystemLibrary::open(const std::string &path) {
    auto loaded = platform::load_library(path);
    if (loaded.value == nullptr) return LoaderError{loaded.error_code};
    return std::unique_ptr<SystemLibrary>(new SystemLibrary(loaded.value));
}

SystemLibrary::~SystemLibrary() { platform::unload_library(module_); }

Result<platform::RawFunction, LoaderError> SystemLibrary::lookup(
    const char *terminated_name) const {
    auto found = platform::find_function(module_, terminated_name);
    if (found.value == nullptr) return LoaderError{found.error_code};
    return found.value;
}

namespace {

std::string join_all(std::string base, std::initializer_list<std::string_view> components) {
    for (std::string_view component : components) base = join_path(base, component);
    return base;
}

}  // namespace

std::vector<std::string> library_candidates(const std::optional<std::string> &executable_path,
                                            std::string_view app_source_dir) {
    const std::string_view file = platform::kSdkLibraryName;
    std::vector<std::string> candidates;
    if (executable_path) {
        if (auto exe_dir = parent_directory(*executable_path)) {
            candidates.push_back(join_all(*exe_dir, {"bin", "velmar", file}));
            candidates.push_back(join_all(*exe_dir, {"resources", "bin", "velmar", file}));
            candidates.push_back(join_all(*exe_dir, {file}));
        }
    }
    const std::string source_parent = parent_directory(app_source_dir).value_or(".");
    candidates.push_back(join_all(source_parent, {"sdk", "VelmarDirect_User_SDK", file}));
    candidates.push_back(
        join_all(std::string(app_source_dir), {"resources", "bin", "velmar", file}));
    return candidates;
}

std::optional<std::string> first_present(const std::vector<std::string> &candidates) {
    for (const std::string &candidate : candidates) {
        if (platform::path_exists(candidate)) return candidate;
    }
    return std::nullopt;
}

Result<VelmarSdk> VelmarSdk::load() {
    return load_from(library_candidates(platform::executable_path(), APP_SOURCE_DIR));
}

Result<VelmarSdk> VelmarSdk::load_from(const std::vector<std::string> &candidates) {
    std::optional<std::string> chosen = first_present(candidates);
    if (!chosen) return SdkError::SdkInternalError;
    // Only the chosen candidate is tried; its loader error code is not kept.
    auto module = SystemLibrary::open(*chosen);
    if (!module) return SdkError::SdkInternalError;
    return VelmarSdk(std::move(*chosen), std::shared_ptr<const Library>(std::move(module).value()));
}

}  // namespace velmar
