// Why something failed, for a person: one line on standard error when
// ORV_TTY_DEBUG is set, and never any output otherwise.
#ifndef ORV_TTY_DIAGNOSTICS_H
#define ORV_TTY_DIAGNOSTICS_H

#include <string>

namespace orvtty {

// Writes "orv-tty: <text>\n" to standard error in one write when debugging
// is enabled.
void explain(const std::string &text);

// The other processes that have the device node open, as
// "pid 812 (brltty), pid 901 (ModemManager)"; empty when none is visible
// (another user's processes are visible only to root).
std::string holders_of(const std::string &node);

}  // namespace orvtty

#endif
