// Helpers for driving the simulated provider through its D2XX calls.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "env.h"
#include "ftd2xx.h"
#include "orvsim.h"

namespace simtest {

using orvtest::get_env;
using orvtest::set_env;
using Bytes = std::vector<uint8_t>;

// Loads a scenario given as JSON text; the test fails with the simulator's
// message when it is refused.
void load(const std::string &json);

// An open bridge with a read timeout, closed when it goes out of scope.
class Port {
public:
    explicit Port(int index, uint32_t read_timeout_ms = 500);
    ~Port();
    Port(const Port &) = delete;
    Port &operator=(const Port &) = delete;

    FT_HANDLE handle() const { return handle_; }
    void set_read_timeout(uint32_t ms);
    void write(const Bytes &bytes);
    // One FT_Read of n bytes: what it returned by its timeout.
    Bytes read(size_t n);
    // A UVVIS_ORV exchange: purge, write, read the 28-byte header, then the
    // rest its DataLen announces. Returns what arrived.
    Bytes exchange(const Bytes &request);

private:
    FT_HANDLE handle_ = nullptr;
};

Bytes read_request(uint8_t reg, uint32_t addr, uint16_t words);
Bytes write_request(uint8_t reg, uint32_t addr, const Bytes &data);
// The filler byte an instrument sends where a reply carries nothing, unless
// the scenario asks for another.
inline constexpr uint8_t kFiller = 0xA5;
// A register value as a read gives it back: the first `free_bytes` bytes,
// which carry nothing, hold the filler.
Bytes with_filler(Bytes value, size_t free_bytes);
// The data of a flash commit to `address` whose CRC-32 covers `crc_over`.
Bytes commit_request(uint16_t address, const Bytes &crc_over);

// A request with `bytes` put in at `offset` and its CRC made right again: a
// well-formed packet that breaks one field.
Bytes with_field(Bytes request, size_t offset, const Bytes &bytes);

struct Packet {
    uint8_t srv = 0, fsn = 0, reg = 0, status = 0, reply = 0;
    uint32_t addr = 0;
    uint16_t data_len = 0;
    Bytes data;
    bool preamble_ok = false;
    bool crc_ok = false;
};
// Decodes a response; a packet shorter than 32 bytes comes back all zero.
Packet parse(const Bytes &packet);

// One UVVIS_ORV register read or write through Port::exchange, decoded.
Packet read_reg(Port &port, uint8_t reg, uint32_t addr, uint16_t words);
Packet write_reg(Port &port, uint8_t reg, uint32_t addr, const Bytes &data);

// A NIR_LEGACY command frame: the bytes and their CRC-16, high byte first.
Bytes nir_frame(const Bytes &command);
// ACK/NAK + data + CRC-16 as the instrument answers.
Bytes nir_reply(uint8_t first, const Bytes &data);

// The bridge list as FT_GetDeviceInfoList gives it.
std::vector<FT_DEVICE_LIST_INFO_NODE> device_list();

uint32_t be32(const uint8_t *p);
double be64_double(const uint8_t *p);
float le_float(const uint8_t *p);

}  // namespace simtest
