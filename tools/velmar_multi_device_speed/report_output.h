// Whether the report got out: every write of the report is checked, so that a
// report cut short (a full disk, a closed pipe) ends the run like any other
// failed required step instead of being followed by a successful exit.
#pragma once

#include <cstdio>
#include <iosfwd>

#include "bench.h"

namespace velmar {

// The failure of any write of the report.
inline constexpr Abort kReportWriteFailed{"failed to write report", SdkError::TransportError};

// Flushes `out`; kReportWriteFailed when any write to it so far failed.
Result<Unit, Abort> flush_report(std::ostream &out);

// The final flush of the program's report: `out` and then the C stream beneath
// it, which liborv prints to directly. kReportWriteFailed when any byte ever
// written to either did not go through.
Result<Unit, Abort> finish_report(std::ostream &out, std::FILE *stream);

}  // namespace velmar
