// Table-driven CRCs, slicing-by-16 (see crc.h).
#include <array>
#include <bit>
#include <cstring>
#include <type_traits>
#include <utility>

#include "wire/crc.h"

static_assert(std::endian::native == std::endian::little,
              "the slicing loop reads the data as little-endian words");

namespace {

constexpr int SLICES = 16;

// Table entries are as wide as the register: 16 KiB for CRC-32, 8 KiB for CRC-16.
template <crc_model M>
using table_entry = std::conditional_t<params_of(M).width <= 16, uint16_t, uint32_t>;

template <crc_model M>
using slice_tables = std::array<std::array<table_entry<M>, 256>, SLICES>;

// tables[k][b] is the register after byte b and k zero bytes, from a zero
// register: tables[0] is the classic byte-at-a-time table (eight reflected
// shift-and-XOR steps per entry), each further table one zero byte later.
template <crc_model M>
constexpr slice_tables<M> make_slice_tables() {
    slice_tables<M> t{};
    for (uint32_t b = 0; b < 256; ++b) {
        uint32_t c = b;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1u) ? (c >> 1) ^ params_of(M).reflected_poly : c >> 1;
        t[0][b] = static_cast<table_entry<M>>(c);
    }
    for (int k = 1; k < SLICES; ++k) {
        for (int b = 0; b < 256; ++b) {
            const uint32_t prev = t[k - 1][b];
            t[k][b] = static_cast<table_entry<M>>(t[0][prev & 0xFFu] ^ (prev >> 8));
        }
    }
    return t;
}

// Built by the compiler: no initialisation at run time, nothing to race on.
template <crc_model M>
constexpr slice_tables<M> TABLES = make_slice_tables<M>();

uint64_t load_le64(const uint8_t *p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// The register after the 16 bytes lo (bytes 0-7, the register already XORed
// in) and hi (bytes 8-15): byte i looks up the table of its distance from the
// end, 15 - i.
template <crc_model M, size_t... I>
uint32_t slice16(uint64_t lo, uint64_t hi, std::index_sequence<I...>) {
    const auto &t = TABLES<M>;
    return ((uint32_t{t[SLICES - 1 - I][(lo >> (8 * I)) & 0xFFu]} ^
             uint32_t{t[SLICES / 2 - 1 - I][(hi >> (8 * I)) & 0xFFu]}) ^
            ...);
}

}  // namespace

template <crc_model M>
uint32_t crc_update_table(uint32_t crc, const uint8_t *data, size_t len) {
    for (; len >= SLICES; data += SLICES, len -= SLICES)
        crc = slice16<M>(load_le64(data) ^ crc, load_le64(data + 8), std::make_index_sequence<8>{});
    const auto &t0 = TABLES<M>[0];
    for (size_t i = 0; i < len; ++i) crc = t0[(crc ^ data[i]) & 0xFFu] ^ (crc >> 8);
    return crc;
}

template uint32_t crc_update_table<crc_model::crc32_iso_hdlc>(uint32_t, const uint8_t *, size_t);
template uint32_t crc_update_table<crc_model::crc16_modbus>(uint32_t, const uint8_t *, size_t);
