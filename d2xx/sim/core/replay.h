// Replaying a capture (d2xx/capture): the recorded device list becomes the
// bridges, and behind each bridge an instrument answers every request with
// the recorded reply as long as the request is the recorded one.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "bytes.h"
#include "instrument.h"

namespace orvcapture {
struct Capture;
}

namespace orvsim {

struct Scenario;

enum class ReplayTiming {
    Recorded,  // each recorded read's bytes arrive when that read returned
    Instant,   // every reply is readable as soon as its request is written
};

// A part of a reply: what one recorded FT_Read returned, and when.
struct ReplayChunk {
    double after_ms = 0;  // from the end of the request's FT_Write
    Bytes data;
    uint32_t status = 0;  // a failed read is replayed as one
};

// One recorded FT_Write of a device and the reads that followed it.
struct ReplayExchange {
    uint64_t call = 0;  // the write's call number in the capture
    Bytes request;
    uint32_t status = 0;
    uint32_t done = 0;
    std::vector<ReplayChunk> reply;
};

struct ReplayScript {
    std::string capture;  // the capture's name, for reports
    int device = 0;       // list position in the capture
    ReplayTiming timing = ReplayTiming::Recorded;
    std::vector<ReplayExchange> exchanges;
};

// Adds the bridges of a capture to `scenario`: the device list of its
// fullest successful FT_GetDeviceInfoList (and a bridge for every position
// opened beyond it), each with the script of what was written to it.
void add_replay_bridges(Scenario &scenario, const orvcapture::Capture &capture,
                        const std::string &name, ReplayTiming timing);

// The instrument that serves one script. At the first request that is not
// the recorded one it reports the difference on standard error (and in the
// transcript) and answers nothing from then on.
std::unique_ptr<Instrument> make_replay_instrument(std::shared_ptr<const ReplayScript> script);

// One line naming a request: its hex bytes and, where they parse, what they
// ask ("UVVIS_ORV read C1h/000040h ..." or "NIR_LEGACY 3F 53").
std::string describe_request(const Bytes &request);

}  // namespace orvsim
