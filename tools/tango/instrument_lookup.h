// Finding and opening the instrument a device names. One function, so that
// the way bridges are listed can change without touching the worker.
#ifndef ORV_TANGO_INSTRUMENT_LOOKUP_H
#define ORV_TANGO_INSTRUMENT_LOOKUP_H

#include <string>

struct orv_device;

namespace orv_tango {

struct Opened {
    orv_device *device = nullptr;  // the open handle, or null
    int result = 0;                // liborv's result of the failing call (0 when none)
    std::string problem;           // why there is no handle, for the Status
};

// Opens the instrument whose bridge chip serial or instrument serial equals
// `serial`; an empty serial takes the only bridge attached. The bridges are
// liborv's list (orv_list_bridges; orv_d2xx_provider says why there is none)
// and are opened by chip serial; an instrument serial is looked for by opening each
// bridge that is not in use and reading its identity.
Opened open_instrument(const std::string &serial);

}  // namespace orv_tango

#endif
