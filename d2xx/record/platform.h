// The operating-system services of the recording provider, one file per
// system: the environment, loading the real provider, writing the capture.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

namespace orvrecord::platform {

std::optional<std::string> env_get(const char *name);

// The provider a bare name finds: what the system's loader search would load.
const char *default_provider_name();

using library_function = void (*)();

// Loads a library (a path, or a bare name through the loader's search); null
// and `error` filled when it cannot.
void *load_library(const std::string &name, std::string &error);
library_function find_function(void *library, const char *name);
void unload_library(void *library);
// The file a library that is loaded comes from ("" when unknown).
std::string file_of(library_function function);
// The loaded module a function belongs to (its base), null when unknown.
const void *module_of(library_function function);

// Keeps the recorder loaded until the process ends, whatever the program
// unloads: one capture per process (POSIX: linked with -z nodelete).
void keep_loaded();

// Opens the capture for writing (created or emptied); null and `error`
// filled when it cannot.
std::FILE *open_capture(const std::string &path, std::string &error);

}  // namespace orvrecord::platform
