// Byte-order helpers and hexadecimal text for the simulator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvsim {

using Bytes = std::vector<uint8_t>;

void append_be16(Bytes &out, uint32_t v);
void append_be32(Bytes &out, uint32_t v);
void append_be64_double(Bytes &out, double v);
void append_le_float(Bytes &out, float v);
uint32_t read_be16(const uint8_t *p);
uint32_t read_be24(const uint8_t *p);
uint32_t read_be32(const uint8_t *p);
void store_be16(uint8_t *p, uint32_t v);
void store_be32(uint8_t *p, uint32_t v);

// Upper-case hex digit pairs without separators ("AA0D").
std::string to_hex(const uint8_t *data, size_t len);
// Hex digit pairs, spaces allowed; nullopt for anything else.
std::optional<Bytes> parse_hex_bytes(std::string_view text);
// A hexadecimal number with or without "0x"; nullopt when not one.
std::optional<uint64_t> parse_hex_number(std::string_view text);

}  // namespace orvsim
