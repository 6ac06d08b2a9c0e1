// Fuzz target: validation of NIR_LEGACY replies (length, CRC-16, ACK, the
// data handed over) and the stripping of the NIR spectrum frame. The reply is
// the fuzzer's bytes, read in chunks; the harness can make its first byte an
// ACK and its CRC-16 right so that inputs get past the checks. Results are
// compared with what the reply bytes call for.
//
// Input: flags (bit 0 spectrum, bit 1 fix CRC, bit 2 force ACK), chunk size,
// two bytes of capacity (or wavelength count), two bytes of spectrum
// capacity, then the reply.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "link/device_state.h"
#include "link/nir_exchange.h"
#include "link/timeouts.h"
#include "orv.h"
#include "support/check.h"
#include "support/guarded.h"
#include "support/scripted_bridge.h"
#include "wire/nir_frame.h"

namespace {

constexpr size_t CONFIG_BYTES = 6;
constexpr uint8_t FLAG_SPECTRUM = 1;
constexpr uint8_t FLAG_FIX_CRC = 2;
constexpr uint8_t FLAG_FORCE_ACK = 4;
constexpr uint8_t VERSION_COMMAND[1] = {NIR_CMD_VERSION};
constexpr uint8_t LONG_HEADER[8] = {0xAA, 0x55, 0xBB, 0x44, 0xCC, 0x33, 0xDD, 0x22};
constexpr uint8_t TRAILER[4] = {0xDD, 0xDD, 0xAA, 0xAA};

// Hands out one reply, to the first request only.
class OneReply final : public fuzz::AnswerSource {
public:
    OneReply(const std::vector<uint8_t> &reply, uint8_t chunk) : reply_(reply), chunk_(chunk) {}
    bool next(const uint8_t *, uint32_t, fuzz::Answer &out) override {
        if (used_) return false;
        used_ = true;
        out = {fuzz::FAULT_NONE, chunk_, reply_.data(), static_cast<uint32_t>(reply_.size())};
        return true;
    }

private:
    const std::vector<uint8_t> &reply_;
    uint8_t chunk_;
    bool used_ = false;
};

uint16_t be16_of(const uint8_t *p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

void put_crc(std::vector<uint8_t> &reply, size_t window) {
    if (window < 3 || window > reply.size()) return;
    const int crc = orv_crc16_legacy(reply.data(), static_cast<int>(window - 2));
    reply[window - 2] = static_cast<uint8_t>(crc >> 8);
    reply[window - 1] = static_cast<uint8_t>(crc);
}

// The verdict on a complete reply of n bytes: ORV_OK or the error it earns.
int reply_verdict(const uint8_t *reply, size_t n) {
    if (n <= 2) return ORV_ERR_TRANSPORT;
    if (be16_of(reply + n - 2) != orv_crc16_legacy(reply, static_cast<int>(n - 2)))
        return ORV_ERR_CRC_MISMATCH;
    return reply[0] == NIR_ACK ? ORV_OK : ORV_ERR_TRANSPORT;
}

// A reply of unknown length ends when the line goes quiet (or the buffer is full).
void check_plain_command(const std::vector<uint8_t> &reply, int32_t capacity) {
    fuzz::Guarded<uint8_t> out(static_cast<size_t>(capacity));
    fuzz::Guarded<int> out_len(1);
    const int rc = nir_send_command(builtin_device(), VERSION_COMMAND, 1, out.get(), out_len.get(),
                                    capacity, NIR_GET_IDLE_GAP_MS);
    FUZZ_CHECK(out.block().guards_intact() && out_len.block().guards_intact());

    const size_t received = std::min<size_t>(reply.size(), NIR_REPLY_BUFFER);
    const int expected = received == 0 ? ORV_ERR_TIMEOUT : reply_verdict(reply.data(), received);
    FUZZ_CHECK(rc == expected);
    if (rc != ORV_OK) {
        FUZZ_CHECK(out.untouched() && out_len.untouched());
        return;
    }
    const int data_len = std::min(static_cast<int>(received) - 3, capacity);
    FUZZ_CHECK(out_len[0] == data_len);
    FUZZ_CHECK(std::memcmp(out.get(), reply.data() + 1, static_cast<size_t>(data_len)) == 0);
}

// The spectrum reply has a known length, (count + 6) * 2 data bytes; its
// frame header and trailer are stripped, and the samples are the rest.
void check_spectrum(const std::vector<uint8_t> &reply, uint16_t count, int32_t capacity) {
    builtin_device().wavelength_count_cache = count;
    fuzz::Guarded<uint16_t> samples(static_cast<size_t>(capacity));
    const int rc = orv_get_full_spectrum_data(samples.get(), capacity);
    FUZZ_CHECK(samples.block().guards_intact());

    const size_t need = (size_t{count} + 6) * 2 + 3;
    int expected = reply.size() < need ? ORV_ERR_TIMEOUT : reply_verdict(reply.data(), need);
    const uint8_t *d = expected == ORV_OK ? reply.data() + 1 : nullptr;  // the reply data
    int len = static_cast<int>(need) - 3;
    int skip = 0;
    if (expected == ORV_OK) {
        if (len >= 12 && std::memcmp(d, LONG_HEADER, 8) == 0)
            skip = 8;
        else if (len >= 8 && std::memcmp(d, LONG_HEADER, 4) == 0)
            skip = 4;
        if (len - skip >= 4 && std::memcmp(d + len - 4, TRAILER, 4) == 0) len -= 4;
        const int bytes = len - skip;
        if (bytes <= 0 || bytes % 2 != 0)
            expected = ORV_ERR_TRANSPORT;
        else if (capacity < bytes / 2)
            expected = ORV_ERR_INVALID_PARAM;
    }
    FUZZ_CHECK(rc == expected);
    if (rc != ORV_OK) {
        FUZZ_CHECK(samples.untouched());
        return;
    }
    const int n = (len - skip) / 2;
    FUZZ_CHECK(builtin_device().wavelength_count_cache == n);
    for (int i = 0; i < n; ++i)
        FUZZ_CHECK(samples[static_cast<size_t>(i)] == be16_of(d + skip + 2 * i));
    const auto *rest = reinterpret_cast<const uint8_t *>(samples.get() + n);
    FUZZ_CHECK(std::all_of(rest, rest + 2 * (capacity - n),
                           [](uint8_t b) { return b == fuzz::PAYLOAD_FILL; }));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < CONFIG_BYTES) return 0;
    const uint8_t flags = data[0];
    const uint8_t chunk = data[1];
    const uint16_t first_value = be16_of(data + 2);
    const int32_t spectrum_capacity = 1 + be16_of(data + 4) % 4096;
    std::vector<uint8_t> reply(data + CONFIG_BYTES, data + size);

    const bool spectrum = (flags & FLAG_SPECTRUM) != 0;
    const uint16_t count = static_cast<uint16_t>(1 + first_value % 2048);
    const int32_t capacity = 1 + first_value % 512;
    if ((flags & FLAG_FORCE_ACK) != 0 && !reply.empty()) reply[0] = NIR_ACK;
    if ((flags & FLAG_FIX_CRC) != 0) {
        put_crc(reply, spectrum ? (size_t{count} + 6) * 2 + 3
                                : std::min<size_t>(reply.size(), NIR_REPLY_BUFFER));
    }

    OneReply source(reply, chunk);
    fuzz::scripted_bridge_reset(&source, {});
    // With the NIR preference opening sends nothing: the reply is the command's.
    FUZZ_CHECK(orv_set_protocol_preference(ORV_PREFER_NIR) == ORV_OK);
    FUZZ_CHECK(orv_open_device(0) == ORV_OK);
    if (spectrum)
        check_spectrum(reply, count, spectrum_capacity);
    else
        check_plain_command(reply, capacity);
    orv_close_device();
    return 0;
}
