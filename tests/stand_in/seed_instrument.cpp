// The seed model instrument (see seed_instrument.h).
#include "seed_instrument.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "orv.h"
#include "wire/uvvis_packet.h"

namespace fuzz {
namespace {

constexpr int MAX_WORDS = 2048;
constexpr uint8_t STATUS_BUSY = 0x55;
constexpr uint8_t STATUS_DONE = 0xAA;

void put_be(std::vector<uint8_t> &out, uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void put_double(std::vector<uint8_t> &out, double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    put_be(out, bits, 8);
}

void put_le_float(std::vector<uint8_t> &out, float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

std::vector<uint8_t> text(const std::string &s, size_t width) {
    std::vector<uint8_t> out(s.begin(), s.end());
    out.resize(width, 0);
    return out;
}

double uvvis_wavelength(int i) { return 400.0 + 10.0 * i; }
float nir_wavelength(int i) { return 1700.0f - 8.0f * static_cast<float>(i); }  // descending
uint16_t sample(int i) { return static_cast<uint16_t>(1000 + 37 * i); }

}  // namespace

std::vector<uint8_t> uvvis_response(uint8_t srv, uint8_t reg, uint32_t addr, uint16_t file_len,
                                    const std::vector<uint8_t> &data) {
    std::vector<uint8_t> p(ORV_PREAMBLE, ORV_PREAMBLE + sizeof ORV_PREAMBLE);
    const size_t words = (data.size() + 3) / 4;
    p.push_back(0xCC);
    put_be(p, 0x0002, 2);  // TA: the host
    put_be(p, 0x0001, 2);  // SA: the instrument
    p.push_back(srv);
    p.push_back(0xEE);
    put_be(p, file_len, 2);
    put_be(p, words, 2);
    p.push_back(1);
    p.push_back(1);
    p.push_back(reg);
    put_be(p, addr & 0xFFFFFF, 3);
    p.push_back(0x00);
    p.push_back(0x00);
    p.push_back(ORV_REPLY_ACK);
    p.insert(p.end(), data.begin(), data.end());
    p.resize(ORV_PACKET_HEADER_SIZE + 4 * words, 0);
    put_be(p, static_cast<uint32_t>(orv_crc32(p.data() + 8, static_cast<int>(p.size() - 8))), 4);
    return p;
}

std::vector<uint8_t> nir_reply(const std::vector<uint8_t> &data) {
    // Sized once: ACK, the data, two CRC bytes.
    const size_t crc_at = 1 + data.size();
    std::vector<uint8_t> r(crc_at + 2);
    r[0] = 0x06;
    std::copy(data.begin(), data.end(), r.begin() + 1);
    const int crc = orv_crc16_legacy(r.data(), static_cast<int>(crc_at));
    r[crc_at] = static_cast<uint8_t>(crc >> 8);
    r[crc_at + 1] = static_cast<uint8_t>(crc);
    return r;
}

std::vector<uint8_t> nir_spectrum_frame(int samples) {
    std::vector<uint8_t> f{0xAA, 0x55, 0xBB, 0x44, 0xCC, 0x33, 0xDD, 0x22};
    for (int i = 0; i < samples; ++i) put_be(f, sample(i), 2);
    f.insert(f.end(), {0xDD, 0xDD, 0xAA, 0xAA});
    return f;
}

bool SeedInstrument::next(const uint8_t *request, uint32_t len, Answer &out) {
    const bool uvvis_request =
        len >= ORV_PACKET_MIN_SIZE && std::memcmp(request, ORV_PREAMBLE, sizeof ORV_PREAMBLE) == 0;
    answer_.clear();
    if (uvvis_request && !setup_.nir) answer_ = uvvis_answer(request);
    if (!uvvis_request && setup_.nir && len >= 3) answer_ = nir_answer(request, len - 2);
    out = {ANSWER_FIX_CHECKSUM, setup_.chunk, answer_.data(),
           static_cast<uint32_t>(answer_.size())};
    return true;
}

std::vector<uint8_t> SeedInstrument::uvvis_answer(const uint8_t *request) {
    const uint8_t srv = request[13];
    const uint16_t file_len = static_cast<uint16_t>(request[15] << 8 | request[16]);
    const uint8_t reg = request[21];
    const uint32_t addr = uint32_t{request[22]} << 16 | uint32_t{request[23]} << 8 | request[24];
    if (srv != ORV_SRV_READ) return uvvis_response(ORV_SRV_RESP_WRITE_ACK, reg, addr, file_len, {});
    const int words = std::min<int>(file_len, MAX_WORDS);
    return uvvis_response(ORV_SRV_RESP_DATA, reg, addr, file_len, uvvis_register(reg, addr, words));
}

std::vector<uint8_t> SeedInstrument::uvvis_register(uint8_t reg, uint32_t addr, int words) {
    std::vector<uint8_t> d;
    const int pixels = setup_.pixels;
    switch (reg << 8 | addr) {
    case ORV_REG_PARAMS << 8 | 0x46: return text("SEED-UV", 16);
    case ORV_REG_PARAMS << 8 | 0x41: return {1, 2, 3, 4, 5, 6, 7, 8};
    case ORV_REG_STORED << 8 | 0x04: return text("SEED00000001", 12);
    case ORV_REG_STORED << 8 | 0x0B: put_be(d, static_cast<uint32_t>(pixels), 4); return d;
    case ORV_REG_STORED << 8 | 0x0D:
        put_double(d, uvvis_wavelength(0));
        put_double(d, uvvis_wavelength(pixels - 1));
        return d;
    case ORV_REG_STORED << 8 | 0x00: put_be(d, 20000, 4); return d;
    case ORV_REG_STORED << 8 | 0x01: put_be(d, 2, 4); return d;
    case ORV_REG_STORED << 8 | 0x02: put_be(d, 3, 4); return d;
    case ORV_REG_SPECTRUM << 8 | 0x00:
        for (int i = 0; i < pixels; ++i) put_be(d, sample(i), 2);
        return d;
    case ORV_REG_PARAMS << 8 | 0x4A:
    case ORV_REG_PARAMS << 8 | 0x4C: {
        // Each poll series starts busy_polls "busy" answers before "done".
        auto it = busy_left_.try_emplace(addr, setup_.busy_polls).first;
        const bool busy = it->second > 0;
        it->second = busy ? it->second - 1 : setup_.busy_polls;
        return {0x00, busy ? STATUS_BUSY : STATUS_DONE, 0, 0, 0, 0, 0, 0};
    }
    default: break;
    }
    if (reg == ORV_REG_WAVELENGTHS) {
        for (int i = static_cast<int>(addr); i < std::min(pixels, static_cast<int>(addr) + words);
             ++i)
            put_le_float(d, static_cast<float>(uvvis_wavelength(i)));
        return d;
    }
    if (reg == ORV_REG_FLASH_DATA) {
        for (int i = 0; i < 4 * words; ++i) d.push_back(static_cast<uint8_t>(i));
        return d;
    }
    return std::vector<uint8_t>(static_cast<size_t>(4 * words), 0);
}

std::vector<uint8_t> SeedInstrument::nir_answer(const uint8_t *command, uint32_t len) {
    const uint8_t code = command[0];
    const uint8_t queried = len >= 2 ? command[1] : 0;
    std::vector<uint8_t> d;
    if (code == 0x56) return nir_reply(text("SEED-NIR v1", 11));
    if (code == 0xBB) return nir_reply({0x13, 0x00, 0x00, 0x12, 0x34, 0x00, 0x00, 0x00});
    if (code == 0x53) return nir_reply(nir_spectrum_frame(setup_.pixels));
    if (code == 0x74) return nir_reply({0x01, 0x90});
    if (code == 0x3F && queried == 0x53) {
        for (int i = 0; i < setup_.pixels; ++i) put_le_float(d, nir_wavelength(i));
        return nir_reply(d);
    }
    if (code == 0x3F && queried == 0xAF) {
        for (int i = 0; i < 64; ++i) d.push_back(static_cast<uint8_t>(0xF0 ^ i));
        return nir_reply(d);
    }
    if (code == 0x78) {
        for (int i = 0; i < 4; ++i) put_double(d, 1.0 + i);
        return nir_reply(d);
    }
    if (code == 0x3F && queried == 0x69) return nir_reply({0x00, 0x00, 0x27, 0x10});
    if (code == 0x3F && queried == 0x41) return nir_reply({0x00, 0x02});
    if (code == 0x3F && queried == 0x40) return nir_reply({0x01});
    if (code == 0x3F && queried == 0xA5) return nir_reply({0xEA});
    return nir_reply({});  // settings and commands: a bare ACK
}

bool RecordingSource::next(const uint8_t *request, uint32_t len, Answer &out) {
    if (!model_.next(request, len, out)) out = {};
    append_answer_record(script_, out);
    return true;
}

}  // namespace fuzz
