// Peak resident memory of the running process.
#pragma once

namespace orvbench {

// Largest resident set size this process has had so far, in KiB; -1 when the
// system does not say.
long peak_rss_kib();

}  // namespace orvbench
