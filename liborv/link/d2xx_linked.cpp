// The D2XX calls of a provider linked at build time (see d2xx_calls.h).
#include "link/d2xx_calls.h"
#include "platform/platform.h"

const d2xx_calls &d2xx() noexcept {
#define ORV_D2XX_LINKED(name) &::name,
    static const d2xx_calls linked{ORV_D2XX_CALLS(ORV_D2XX_LINKED)};
#undef ORV_D2XX_LINKED
    return linked;
}

bool d2xx_provider(std::string &text) noexcept {
    try {
        text = orv::platform::file_of_function(
            reinterpret_cast<orv::platform::library_function>(d2xx().FT_Open));
        return true;
    } catch (...) {
        text.clear();  // the file cannot be told: the caller says so
        return true;
    }
}
