#include "crc.h"

#include <array>

namespace orvsim {
namespace {

std::array<uint32_t, 256> make_crc32_table() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1u) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        table[i] = c;
    }
    return table;
}

}  // namespace

uint32_t crc32(const uint8_t *data, size_t len) {
    static const std::array<uint32_t, 256> table = make_crc32_table();
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < len; ++i) c = table[(c ^ data[i]) & 0xFFu] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

uint16_t crc16_modbus(const uint8_t *data, size_t len) {
    uint16_t c = 0xFFFF;
    for (size_t i = 0; i < len; ++i) {
        c ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1u) ? static_cast<uint16_t>((c >> 1) ^ 0xA001u)
                         : static_cast<uint16_t>(c >> 1);
    }
    return c;
}

}  // namespace orvsim
