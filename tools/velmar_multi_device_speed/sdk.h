// Finding, loading and holding liborv, and looking up its exports by name.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform.h"
#include "result.h"

namespace velmar {

// A failed look-up in a loaded module, with the system's error code.
struct LoaderError {
    std::uint32_t code = 0;
};

// A loaded module whose exports are looked up by name.
class Library {
public:
    virtual ~Library() = default;

    // Looks up an exported function. The name may already end with its
    // terminating NUL; a NUL anywhere else is a loader failure.
    Result<platform::RawFunction, LoaderError> resolve(std::string_view name) const;

    // resolve() with the address given the signature `Fn`; a missing export
    // is reported as `missing` and the loader's error code is dropped.
    template <class Fn>
    Result<Fn> function(std::string_view name,
                        SdkError missing = SdkError::SdkInternalError) const {
        auto address = resolve(name);
        if (!address) return missing;
        return reinterpret_cast<Fn>(address.value());
    }

protected:
    virtual Result<platform::RawFunction, LoaderError> lookup(
        const char *terminated_name) const = 0;
};

// A module loaded through the system loader; unloaded when destroyed.
class SystemLibrary final : public Library {
public:
    // Loads the file (or, for a bare file name, the system's search result).
    static Result<std::unique_ptr<SystemLibrary>, LoaderError> open(const std::string &path);

    ~SystemLibrary() override;
    SystemLibrary(const SystemLibrary &) = delete;
    SystemLibrary &operator=(const SystemLibrary &) = delete;

protected:
    Result<platform::RawFunction, LoaderError> lookup(const char *terminated_name) const override;

private:
    explicit SystemLibrary(platform::ModuleHandle module) : module_(module) {}
    platform::ModuleHandle module_;
};

// Candidate paths of liborv, in search order: below the executable's
// directory ("bin/velmar", "resources/bin/velmar", the directory itself),
// then below the parent of the source directory and the source directory.
std::vector<std::string> library_candidates(const std::optional<std::string> &executable_path,
                                            std::string_view app_source_dir);

// The first candidate that exists as any file-system entry.
std::optional<std::string> first_present(const std::vector<std::string> &candidates);

// The loaded liborv. Copies share one module, which is unloaded with the
// last copy.
class VelmarSdk {
public:
    // Loads the first present candidate of library_candidates() for this
    // program. The only failure is SdkInternalError.
    static Result<VelmarSdk> load();
    // The same over an explicit candidate list.
    static Result<VelmarSdk> load_from(const std::vector<std::string> &candidates);

    VelmarSdk(std::string library_path, std::shared_ptr<const Library> module)
        : library_path_(std::move(library_path)), module_(std::move(module)) {}

    const std::string &library_path() const { return library_path_; }
    const Library &library() const { return *module_; }
    Result<platform::RawFunction, LoaderError> resolve(std::string_view name) const {
        return module_->resolve(name);
    }

private:
    std::string library_path_;
    std::shared_ptr<const Library> module_;
};

}  // namespace velmar
