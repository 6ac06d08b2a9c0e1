// Ctrl-C (and a termination request) as a stop request: the first call
// installs the handler; from then on an interrupt requests the returned
// signal instead of ending the process.
#pragma once

#include "stop_signal.h"

namespace orvcli {

StopSignal &interrupt_signal();

}  // namespace orvcli
