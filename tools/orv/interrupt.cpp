#include "interrupt.h"

#include "platform.h"

namespace orvcli {

StopSignal &interrupt_signal() {
    static StopSignal signal;
    static const bool installed = [] {
        platform::on_interrupt([] { signal.request(); });
        return true;
    }();
    (void)installed;
    return signal;
}

}  // namespace orvcli
