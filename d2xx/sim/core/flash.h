// Instrument flash memory and the status handshake of the control registers
// that drive flash transfers and external acquisitions.
#pragma once

#include <cstdint>

#include "bytes.h"

namespace orvsim {

class FlashMemory {
public:
    explicit FlashMemory(uint32_t size) : cells_(size, 0xFF) {}
    // Up to `n` bytes from `address`; fewer at the end of the memory.
    Bytes read(uint32_t address, size_t n) const;
    // False (nothing written) when the block does not fit.
    bool write(uint32_t address, const Bytes &block);

private:
    Bytes cells_;
};

// Status of a control register: after a request it reports "busy" for a set
// number of status reads, then "done" or "failed".
class Handshake {
public:
    static constexpr uint8_t kDone = 0xAA;
    static constexpr uint8_t kFailed = 0xEE;
    static constexpr uint8_t kBusy = 0x55;

    explicit Handshake(uint32_t busy_polls) : busy_polls_(busy_polls) {}
    void start(uint8_t op, uint16_t parameter, bool succeeds);
    // The 8-byte status block: op, status, parameter (be16), 4 unused bytes
    // (zero here; the register table puts its filler there).
    Bytes poll();

private:
    uint32_t busy_polls_;
    uint32_t busy_left_ = 0;
    uint8_t op_ = 0;
    uint8_t final_status_ = 0;
    uint16_t parameter_ = 0;
};

}  // namespace orvsim
