// The D2XX calls of a provider linked at build time (see d2xx_calls.h).
#include "link/d2xx_calls.h"

const d2xx_calls &d2xx() noexcept {
#define ORV_D2XX_LINKED(name) &::name,
    static const d2xx_calls linked{ORV_D2XX_CALLS(ORV_D2XX_LINKED)};
#undef ORV_D2XX_LINKED
    return linked;
}
