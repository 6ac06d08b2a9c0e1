// The D2XX provider of the server process (the device property Provider).
#ifndef ORV_TANGO_PROVIDER_CHOICE_H
#define ORV_TANGO_PROVIDER_CHOICE_H

#include <string>

namespace orv_tango {

// Makes `path` the provider liborv loads for this process (liborv reads
// ORV_D2XX_LIBRARY until a provider is loaded, and keeps the first one).
// Empty: liborv's own choice, nothing changes. Returns "" when the path can
// be used, else why not: it cannot be read, or the process already uses
// another provider (another device's Provider, or ORV_D2XX_LIBRARY).
std::string choose_provider(const std::string &path);

}  // namespace orv_tango

#endif
