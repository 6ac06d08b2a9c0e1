// Fuzz target: validation of NIR_LEGACY replies (length, CRC-16, ACK, the
// data handed over) and the stripping of the NIR spectrum frame. The reply is
// the fuzzer's bytes, read in chunks; the harness can make its first byte an
// ACK and its CRC-16 right so that inputs get past the checks. Results are
// compared with what the reply bytes call for, the CRC-16 computed bit by
// bit by the reference.
//
// Input: flags (bit 0 spectrum, bit 1 fix CRC, bit 2 force ACK), chunk size,
// two bytes of capacity (or wavelength count), two bytes of spectrum
// capacity, then the reply. Configuration bytes an input lacks count as 0, so
// that every input, the empty one included, reaches liborv: only liborv is
// instrumented for coverage, and a fuzzer starting from an empty corpus gives
// up when none of its first inputs shows any.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "crc_reference.h"
#include "link/device_state.h"
#include "link/nir_exchange.h"
#include "link/timeouts.h"
#include "orv.h"
#include "scripted_bridge.h"
#include "support/check.h"
#include "support/guarded.h"
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
    const uint32_t crc = crc_of_reference<crc_model::crc16_modbus>(reply.data(), window - 2);
    reply[window - 2] = static_cast<uint8_t>(crc >> 8);
    reply[window - 1] = static_cast<uint8_t>(crc);
}

// The verdict on a complete reply of n bytes: ORV_OK or the error it earns.
int reply_verdict(const uint8_t *reply, size_t n) {
    if (n <= 2) return ORV_ERR_TRANSPORT;
    if (be16_of(reply + n - 2) != crc_of_reference<crc_model::crc16_modbus>(reply, n - 2))
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

// The spectrum reply's length depends on its frame form: the samples alone
// ((count * 2 data bytes) must arrive, then whatever follows up to the long
// form's (count + 6) * 2. Its frame is an 8-, 4- or 0-byte header, the count's
// samples and an optional 4-byte trailer, told apart by the length first and
// by the header and trailer bytes then; the count stays what it was.
size_t spectrum_least(uint16_t count) { return size_t{count} * 2 + 3; }
size_t spectrum_most(uint16_t count) { return (size_t{count} + 6) * 2 + 3; }

// Where the samples begin in the reply data d (len bytes), or -1.
int sample_offset(const uint8_t *d, size_t len, uint16_t count) {
    const size_t samples = size_t{count} * 2;
    for (const size_t header : {size_t{8}, size_t{4}, size_t{0}}) {
        if (len < header + samples) continue;
        const size_t trailer = len - header - samples;
        if (trailer != 0 && trailer != 4) continue;
        if (std::memcmp(d, LONG_HEADER, header) != 0) continue;
        if (trailer == 4 && std::memcmp(d + len - 4, TRAILER, 4) != 0) continue;
        return static_cast<int>(header);
    }
    return -1;
}

void check_spectrum(const std::vector<uint8_t> &reply, uint16_t count, int32_t capacity) {
    builtin_device().wavelength_count_cache = count;
    fuzz::Guarded<uint16_t> samples(static_cast<size_t>(capacity));
    const int rc = orv_get_full_spectrum_data(samples.get(), capacity);
    FUZZ_CHECK(samples.block().guards_intact());
    FUZZ_CHECK(builtin_device().wavelength_count_cache == count);

    const size_t received = std::min(reply.size(), spectrum_most(count));
    int expected = reply.size() < spectrum_least(count) ? ORV_ERR_TIMEOUT
                                                        : reply_verdict(reply.data(), received);
    const uint8_t *d = expected == ORV_OK ? reply.data() + 1 : nullptr;  // the reply data
    int first = -1;
    if (expected == ORV_OK) {
        first = sample_offset(d, received - 3, count);
        if (first < 0)
            expected = ORV_ERR_TRANSPORT;
        else if (capacity < count)
            expected = ORV_ERR_INVALID_PARAM;
    }
    FUZZ_CHECK(rc == expected);
    if (rc != ORV_OK) {
        FUZZ_CHECK(samples.untouched());
        return;
    }
    for (int i = 0; i < count; ++i)
        FUZZ_CHECK(samples[static_cast<size_t>(i)] == be16_of(d + first + 2 * i));
    const auto *rest = reinterpret_cast<const uint8_t *>(samples.get() + count);
    FUZZ_CHECK(std::all_of(rest, rest + 2 * (capacity - count),
                           [](uint8_t b) { return b == fuzz::PAYLOAD_FILL; }));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    uint8_t config[CONFIG_BYTES] = {};
    const size_t config_size = std::min(size, CONFIG_BYTES);
    if (config_size > 0) std::memcpy(config, data, config_size);
    const uint8_t flags = config[0];
    const uint8_t chunk = config[1];
    const uint16_t first_value = be16_of(config + 2);
    const int32_t spectrum_capacity = 1 + be16_of(config + 4) % 4096;
    std::vector<uint8_t> reply(data + config_size, data + size);

    const bool spectrum = (flags & FLAG_SPECTRUM) != 0;
    const uint16_t count = static_cast<uint16_t>(1 + first_value % 2048);
    const int32_t capacity = 1 + first_value % 512;
    if ((flags & FLAG_FORCE_ACK) != 0 && !reply.empty()) reply[0] = NIR_ACK;
    if ((flags & FLAG_FIX_CRC) != 0) {
        put_crc(reply, spectrum ? std::min(reply.size(), spectrum_most(count))
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
