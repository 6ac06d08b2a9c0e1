// The interface between a simulated bridge and the instrument behind it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bytes.h"
#include "config.h"

namespace orvsim {

// One answer of an instrument and how it is paced.
struct Reply {
    Bytes bytes;
    double work_ms = 0;         // modelled instrument time before answering (scaled)
    double delay_ms = 0;        // extra delay injected by a fault (real time)
    size_t split_at = 0;        // non-zero: the answer pauses after this many bytes
    double split_pause_ms = 0;  // length of that pause (real time)
};

// A request the instrument refused by its own judgement (not by an injected
// fault): the code it answered with (UVVIS_ORV reply code, NIR_LEGACY NAK)
// and transcript fields naming the request and the reason, such as
// "reg=C1 addr=000010 why=FSN" or "cmd=3F41 why=length".
struct Refusal {
    uint8_t code = 0;
    std::string fields;
};

// What the host sees of one FT_Write.
struct WriteResult {
    bool failed = false;       // FT_Write reports FT_IO_ERROR
    bool short_write = false;  // FT_Write reports only `written` bytes
    uint32_t written = 0;
    bool fail_next_read = false;  // the next FT_Read reports FT_IO_ERROR
    bool unplug = false;          // every FT_Read/FT_Write fails until FT_Close
    std::vector<Reply> replies;
    std::vector<Refusal> refusals;
};

class Instrument {
public:
    virtual ~Instrument() = default;
    // Bytes written by the host arrive at the instrument.
    virtual void receive(const uint8_t *data, size_t len, WriteResult &result) = 0;
    // Drops a partly received request (FT_Purge of the transmit buffer).
    virtual void clear_input() {}
    // Switches the lamp and the sample holder; false when the instrument has
    // no such sample (see SpectrumModel::set_light_path) or no light at all
    // (a silent or replayed instrument).
    virtual bool set_light_path(const LightPath &) { return false; }
};

std::unique_ptr<Instrument> make_instrument(const InstrumentConfig &config);

}  // namespace orvsim
