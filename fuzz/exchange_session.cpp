// The session configuration and the entry point of the exchange fuzz target
// (see exchange_session.h).
#include "exchange_session.h"

#include <algorithm>
#include <cstring>

#include "link/device_state.h"
#include "session.h"

namespace fuzz {
namespace {

constexpr int32_t MAX_CAPACITY = 4096;
constexpr int32_t MAX_FLASH_LENGTH = 2048;
constexpr int32_t MAX_TEXT_SIZE = 64;
constexpr uint8_t FLAG_OPEN_FAILS = 1;
constexpr uint8_t FLAG_IDENTITY = 2;
constexpr uint8_t FLAG_ACQUISITION = 4;
constexpr uint8_t FLAG_MAINTENANCE = 8;
constexpr uint8_t FLAG_HANDLE = 16;

uint16_t take_u16(const uint8_t *p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
void put_u16(std::vector<uint8_t> &out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

}  // namespace

SessionConfig SessionConfig::decode(const uint8_t *&data, size_t &size) {
    uint8_t head[ENCODED_SIZE] = {};
    const size_t used = std::min(size, ENCODED_SIZE);
    if (used > 0) std::memcpy(head, data, used);
    data += used;
    size -= used;

    SessionConfig c;
    c.preference = head[0] % 3;
    c.open_fails = (head[1] & FLAG_OPEN_FAILS) != 0;
    c.identity = (head[1] & FLAG_IDENTITY) != 0;
    c.acquisition = (head[1] & FLAG_ACQUISITION) != 0;
    c.maintenance = (head[1] & FLAG_MAINTENANCE) != 0;
    c.handle = (head[1] & FLAG_HANDLE) != 0;
    c.capacity = 1 + take_u16(head + 2) % MAX_CAPACITY;
    c.flash_length = 1 + take_u16(head + 4) % MAX_FLASH_LENGTH;
    c.flash_address = take_u16(head + 6);
    c.select_start = head[8];
    c.select_width = head[9];
    c.external_parameter = take_u16(head + 10);
    c.external_capacity = 1 + take_u16(head + 12) % MAX_CAPACITY;
    c.text_size = 1 + head[14] % MAX_TEXT_SIZE;
    return c;
}

void SessionConfig::encode(std::vector<uint8_t> &out) const {
    out.push_back(static_cast<uint8_t>(preference));
    out.push_back(
        static_cast<uint8_t>((open_fails ? FLAG_OPEN_FAILS : 0) | (identity ? FLAG_IDENTITY : 0) |
                             (acquisition ? FLAG_ACQUISITION : 0) |
                             (maintenance ? FLAG_MAINTENANCE : 0) | (handle ? FLAG_HANDLE : 0)));
    put_u16(out, static_cast<uint32_t>(capacity - 1));
    put_u16(out, static_cast<uint32_t>(flash_length - 1));
    put_u16(out, flash_address);
    out.push_back(select_start);
    out.push_back(select_width);
    put_u16(out, external_parameter);
    put_u16(out, static_cast<uint32_t>(external_capacity - 1));
    out.push_back(static_cast<uint8_t>(text_size - 1));
}

void run_session(const SessionConfig &config) {
    // The settings the built-in device remembers across opens start as at load.
    builtin_device().current_integration_us = LOAD_INTEGRATION_US;
    builtin_device().current_average_number = LOAD_AVERAGE_NUMBER;
    Session session(config);
    session.run();
}

}  // namespace fuzz
