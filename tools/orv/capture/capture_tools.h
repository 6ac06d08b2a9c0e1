// What `orv capture` does with a capture (d2xx/capture/capture.h): a summary
// of its calls and exchanges, and a copy with the serials replaced. Both work
// on a capture read whole; the command reads and writes the files.
#pragma once

#include <cstddef>
#include <string>

#include "capture.h"

namespace orvcli {

// The summary `orv capture summary` prints: the header, totals, one row per
// D2XX call kind (calls, failed, short, bytes, time) and one row per exchange
// (a device's FT_Write and the FT_Reads of that device until its next write:
// bytes, reads, failures, time from the write to the end of its last read).
std::string capture_summary(const orvcapture::Capture &capture, const std::string &name);

struct Anonymized {
    std::size_t chip_serials = 0;        // distinct chip serials replaced
    std::size_t instrument_serials = 0;  // distinct instrument and detector serials replaced
};

// Replaces every chip serial of the recorded device lists and every
// instrument and detector serial in UVVIS_ORV replies (the reply's CRC made
// anew when it was right), each distinct text by one pseudonym of its own
// length ("ANON0001", "ANON00000002"), so the capture stays consistent and
// replays as before: requests are left as they were.
Anonymized anonymize_capture(orvcapture::Capture &capture);

}  // namespace orvcli
