// A simulated UVVIS_ORV instrument: a register space behind the packet
// protocol.
#pragma once

#include <string>

#include "config.h"
#include "faults.h"
#include "flash.h"
#include "instrument.h"
#include "instrument_state.h"
#include "uvvis_packet.h"

namespace orvsim {

// Everything the register table reads and writes: what every instrument
// keeps, and the stored settings, serial number and transfer state.
struct UvvisState : InstrumentState {
    explicit UvvisState(const InstrumentConfig &c);

    StoredSettings stored;
    Bytes serial_number;  // 12 bytes
    Bytes pending_block;  // data of the last flash data write
    Bytes read_block;     // data of the last flash read request
    Handshake flash_control;
    Handshake external_control;
};

struct RegisterResult {
    uint8_t reply = uvvis::kReplyAck;
    Bytes data;
    double work_ms = 0;         // modelled time the instrument needs (acquisition)
    const char *why = nullptr;  // why the request was refused (reply other than ACK)
};

using RegisterHandler = RegisterResult (*)(UvvisState &, const uvvis::Request &);

// Where the value sits in a register's words. The bytes around it carry
// nothing: a read answers them with the instrument's filler byte, a write
// must leave them zero.
enum class Layout {
    Data,        // every byte carries data
    ByteInWord,  // 00 00 00 value
    HalfInWord,  // 00 00 high low
    Status,      // handshake status: op, status, parameter (2 bytes), 4 unused bytes
};

// One row of the register table; a null handler means the access is invalid.
struct RegisterRow {
    uint8_t reg;
    uint32_t address;
    bool any_address;  // the address is an argument (table index)
    const char *name;
    Layout layout;
    RegisterHandler read;
    RegisterHandler write;
    uint16_t write_words;  // words a write carries; 0: any number
    bool write_protected;  // writes need the gate open
};

const RegisterRow *find_register(uint8_t reg, uint32_t address);

class UvvisInstrument : public Instrument {
public:
    explicit UvvisInstrument(const InstrumentConfig &config);
    void receive(const uint8_t *data, size_t len, WriteResult &result) override;
    void clear_input() override { parser_.clear(); }
    bool set_light_path(const LightPath &path) override {
        return state_.spectrum.set_light_path(path);
    }

private:
    RegisterResult execute(const uvvis::Request &request);
    RegisterResult carry_out(const uvvis::Request &request, const FaultSpec *fault);
    std::optional<Reply> answer(const uvvis::Request &request, RegisterResult result,
                                const FaultSpec *fault) const;
    void fill_unused(const RegisterRow &row, Bytes &data) const;
    static void apply_data_fault(const FaultSpec &fault, uvvis::Response &response);
    static void apply_packet_fault(const FaultSpec &fault, Bytes &packet);

    UvvisState state_;
    FaultTable faults_;
    uvvis::RequestParser parser_;
};

}  // namespace orvsim
