// A simulated NIR_LEGACY instrument: byte commands closed by a CRC-16,
// answered by ACK, reply data and CRC-16, then silence. The commands are
// the rows of a table (nir_commands.cpp).
#pragma once

#include "config.h"
#include "faults.h"
#include "instrument.h"
#include "instrument_state.h"

namespace orvsim {

// Everything the command table reads and writes.
using NirState = InstrumentState;

// What a command comes to: refused (NAK) unless acknowledged, with the reply
// data and the modelled time the instrument needs (acquisition).
struct NirOutcome {
    bool ack = false;
    Bytes data;
    double work_ms = 0;
    const char *why = nullptr;  // why it was refused
};

// Carries out a command frame (the command bytes without the CRC) that
// matched its row and has the row's length.
using NirHandler = NirOutcome (*)(NirState &, const Bytes &command);

// One row of the command table: the code a frame begins with (one byte, or
// two for the queries 3Fh xx), what the command is, its length and handler.
struct NirCommand {
    uint8_t code[2];
    size_t code_len;
    const char *name;
    size_t length;    // command bytes without the CRC
    bool open_ended;  // `length` is a minimum: the data run to the end of the frame
    NirHandler handler;

    bool fits(size_t command_len) const {
        return open_ended ? command_len >= length : command_len == length;
    }
};

// The row whose code begins the command (the longest such code), or null.
const NirCommand *find_nir_command(const Bytes &command);

class NirInstrument : public Instrument {
public:
    explicit NirInstrument(const InstrumentConfig &config);
    // Each FT_Write carries one command frame; the instrument has no length
    // field to go by, so the end of the write ends the frame.
    void receive(const uint8_t *data, size_t len, WriteResult &result) override;
    bool set_light_path(const LightPath &path) override {
        return state_.spectrum.set_light_path(path);
    }

private:
    NirOutcome carry_out(const Bytes &command, bool frame_ok, const FaultSpec *fault);
    Reply apply_frame_fault(const FaultSpec *fault, const NirOutcome &outcome) const;

    NirState state_;
    FaultTable faults_;
};

// ACK or NAK, the reply data and the CRC-16 (high byte first).
Bytes nir_frame(uint8_t first, const Bytes &data);

}  // namespace orvsim
