#include "bytes.h"

#include <cstring>

namespace orvsim {

void append_be16(Bytes &out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

void append_be32(Bytes &out, uint32_t v) {
    append_be16(out, v >> 16);
    append_be16(out, v & 0xFFFFu);
}

void append_be64_double(Bytes &out, double v) {
    uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    append_be32(out, static_cast<uint32_t>(bits >> 32));
    append_be32(out, static_cast<uint32_t>(bits));
}

void append_le_float(Bytes &out, float v) {
    uint32_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

uint32_t read_be16(const uint8_t *p) { return (uint32_t{p[0]} << 8) | p[1]; }

uint32_t read_be24(const uint8_t *p) { return (uint32_t{p[0]} << 16) | read_be16(p + 1); }

uint32_t read_be32(const uint8_t *p) { return (read_be16(p) << 16) | read_be16(p + 2); }

void store_be16(uint8_t *p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

void store_be32(uint8_t *p, uint32_t v) {
    store_be16(p, v >> 16);
    store_be16(p + 2, v & 0xFFFFu);
}

std::string to_hex(const uint8_t *data, size_t len) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(len * 2);
    for (size_t i = 0; i < len; ++i) {
        s.push_back(digits[data[i] >> 4]);
        s.push_back(digits[data[i] & 0xF]);
    }
    return s;
}

namespace {

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::optional<Bytes> parse_hex_bytes(std::string_view text) {
    Bytes out;
    int high = -1;
    for (char c : text) {
        if (c == ' ') {
            if (high >= 0) return std::nullopt;  // a lone digit before a space
            continue;
        }
        int d = hex_digit(c);
        if (d < 0) return std::nullopt;
        if (high < 0) {
            high = d;
        } else {
            out.push_back(static_cast<uint8_t>(high * 16 + d));
            high = -1;
        }
    }
    if (high >= 0) return std::nullopt;
    return out;
}

std::optional<uint64_t> parse_hex_number(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    if (text.empty() || text.size() > 16) return std::nullopt;
    uint64_t v = 0;
    for (char c : text) {
        int d = hex_digit(c);
        if (d < 0) return std::nullopt;
        v = v * 16 + static_cast<uint64_t>(d);
    }
    return v;
}

}  // namespace orvsim
