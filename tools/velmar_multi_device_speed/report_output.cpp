#include "report_output.h"

#include <ostream>

namespace velmar {

Result<Unit, Abort> flush_report(std::ostream &out) {
    out.flush();
    if (!out) return kReportWriteFailed;
    return Unit{};
}

Result<Unit, Abort> finish_report(std::ostream &out, std::FILE *stream) {
    auto flushed = flush_report(out);
    // The error indicator also keeps failures of earlier implicit flushes.
    const bool stream_ok = std::fflush(stream) == 0 && std::ferror(stream) == 0;
    if (!flushed) return flushed;
    if (!stream_ok) return kReportWriteFailed;
    return Unit{};
}

}  // namespace velmar
