// Fuzz target: the UVVIS_ORV response decoder, the in-place response check
// and the packet diagnostics on arbitrary bytes, and both CRCs. The decoded
// record is compared with what the bytes say, the check's verdict with the
// record's, and every way of computing a CRC with the bit-by-bit reference;
// the listing also gets records whose fields are the fuzzer's own.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "crc_reference.h"
#include "orv.h"
#include "support/check.h"
#include "support/guarded.h"
#include "wire/crc.h"
#include "wire/uvvis_packet.h"

namespace {

constexpr uint8_t PREAMBLE[8] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAB};

uint32_t be32(const uint8_t *p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

bool all_zero(const void *p, size_t n) {
    const auto *b = static_cast<const uint8_t *>(p);
    return std::all_of(b, b + n, [](uint8_t v) { return v == 0; });
}

void check_decoded(const uint8_t *data, int len, int rc, const orv_parsed_packet &p) {
    if (len < 24 || len > ORV_PACKET_MAX_SIZE) {
        FUZZ_CHECK(rc == ORV_ERR_GENERIC);
        FUZZ_CHECK(all_zero(&p, sizeof p));  // refused whole
        return;
    }
    const bool preamble_ok = std::memcmp(data, PREAMBLE, sizeof PREAMBLE) == 0;
    FUZZ_CHECK(p.pre_ok == (preamble_ok ? 1 : 0));
    FUZZ_CHECK(rc == (preamble_ok ? ORV_OK : ORV_ERR_GENERIC));
    FUZZ_CHECK(p.raw_len == len && std::memcmp(p.raw, data, static_cast<size_t>(len)) == 0);
    FUZZ_CHECK(p.data_len == (data[17] << 8 | data[18]));
    // The data size follows from the length received, never from DataLen.
    const int data_size =
        len > ORV_PACKET_MIN_SIZE ? std::min(len - ORV_PACKET_MIN_SIZE, ORV_PACKET_MAX_DATA) : 0;
    FUZZ_CHECK(p.data_size == data_size);
    FUZZ_CHECK(std::memcmp(p.data, data + ORV_PACKET_HEADER_SIZE, static_cast<size_t>(data_size)) ==
               0);
    FUZZ_CHECK(p.crc == be32(data + len - 4));
    const bool crc_ok = crc_of_reference<crc_model::crc32_iso_hdlc>(
                            data + 8, static_cast<size_t>(len - 12)) == p.crc;
    FUZZ_CHECK(p.crc_ok == (crc_ok ? 1 : 0));
}

// The exchange's in-place check reaches the verdict the record leads to:
// preamble, then CRC, then reply code, and the same data.
void check_verdict(const uint8_t *data, int len, int rc, const orv_parsed_packet &p) {
    uvvis_response_data found{nullptr, -1};
    const int verdict = uvvis_check_response(data, len, &found);
    int expected = ORV_ERR_INVALID_PACKET;
    if (len >= ORV_PACKET_MIN_SIZE && len <= ORV_PACKET_MAX_SIZE && rc == ORV_OK)
        expected = p.crc_ok == 0 ? ORV_ERR_CRC_MISMATCH : reply_code_result(p.ans_reply);
    FUZZ_CHECK(verdict == expected);
    if (verdict != ORV_OK) {
        FUZZ_CHECK(found.bytes == nullptr && found.size == -1);
        return;
    }
    FUZZ_CHECK(found.bytes == data + ORV_PACKET_HEADER_SIZE && found.size == p.data_size);
}

// Every way of computing each CRC gives the reference register, from a
// register taken from the input, at the first few alignments.
template <crc_model M>
void check_crc_ways(const uint8_t *data, size_t size) {
    const uint32_t mask = params_of(M).width == 32 ? 0xFFFFFFFFu : 0xFFFFu;
    uint32_t start = 0;
    std::memcpy(&start, data, std::min(size, sizeof start));
    start &= mask;
    for (size_t offset = 0; offset < 4 && offset <= size; ++offset) {
        const uint8_t *p = data + offset;
        const size_t n = size - offset;
        const uint32_t expected = crc_update_reference<M>(start, p, n);
        FUZZ_CHECK(crc_update_table<M>(start, p, n) == expected);
        FUZZ_CHECK(crc_update<M>(start, p, n) == expected);
        if (crc_clmul_supported()) FUZZ_CHECK(crc_update_clmul<M>(start, p, n) == expected);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    if (std::freopen("/dev/null", "w", stdout) == nullptr) return 1;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 4 * ORV_PACKET_MAX_SIZE) return 0;
    const int len = static_cast<int>(size);

    fuzz::Guarded<orv_parsed_packet> decoded(1);
    const int rc = orv_parse_response(data, len, decoded.get());
    FUZZ_CHECK(decoded.block().guards_intact());
    check_decoded(data, len, rc, decoded[0]);
    check_verdict(data, len, rc, decoded[0]);
    check_crc_ways<crc_model::crc32_iso_hdlc>(data, size);
    check_crc_ways<crc_model::crc16_modbus>(data, size);
    orv_print_parsed(decoded.get());
    orv_dump_hex(data, len);
    FUZZ_CHECK(orv_srv_name(decoded[0].srv) != nullptr);
    FUZZ_CHECK(orv_ans_reply_name(decoded[0].ans_reply) != nullptr);

    // A record that did not come from the decoder: every field after raw is
    // the fuzzer's, data_size included (negative, or beyond the data field).
    fuzz::Guarded<orv_parsed_packet> forged(1);
    auto *fields = reinterpret_cast<uint8_t *>(forged.get()) + offsetof(orv_parsed_packet, raw_len);
    const size_t field_bytes = sizeof(orv_parsed_packet) - offsetof(orv_parsed_packet, raw_len);
    std::memset(fields, 0, field_bytes);
    std::memcpy(fields, data, std::min(size, field_bytes));
    forged[0].pre_ok = size > 0 ? data[0] & 1 : 0;
    if (size >= 4) std::memcpy(&forged[0].data_size, data + size - 4, sizeof forged[0].data_size);
    orv_print_parsed(forged.get());
    FUZZ_CHECK(forged.block().guards_intact());
    return 0;
}
