// Writes the seed corpora of the three fuzz targets into <dir>/packet,
// <dir>/nir_reply and <dir>/exchange (the folders must exist). The exchange
// seeds are recorded from sessions with the model instrument, run through
// the same checks as the fuzz target, so every seed is a passing input.
//
// Usage: fuzz_make_seeds <corpus dir>
#include <cstdio>
#include <string>
#include <vector>

#include "exchange_session.h"
#include "orv.h"
#include "scripted_bridge.h"
#include "seed_instrument.h"

namespace {

using Bytes = std::vector<uint8_t>;

bool write_file(const std::string &path, const Bytes &bytes) {
    FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

struct SessionSeed {
    const char *name;
    fuzz::SessionConfig config;
    fuzz::SeedInstrumentSetup instrument;
};

Bytes record_session(const SessionSeed &seed) {
    Bytes script;
    seed.config.encode(script);
    fuzz::SeedInstrument model(seed.instrument);
    fuzz::RecordingSource recorder(model, script);
    fuzz::scripted_bridge_reset(&recorder, {.open_fails = seed.config.open_fails});
    fuzz::run_session(seed.config);
    return script;
}

fuzz::SessionConfig with(int preference, int32_t capacity, bool all_groups = false,
                         bool handle = false) {
    fuzz::SessionConfig c;
    c.preference = preference;
    c.capacity = capacity;
    c.identity = c.acquisition = c.maintenance = all_groups;
    c.handle = handle;
    return c;
}

std::vector<SessionSeed> session_seeds() {
    fuzz::SessionConfig open_fails;
    open_fails.open_fails = true;
    fuzz::SessionConfig handle_open_fails = open_fails;
    handle_open_fails.handle = true;
    return {
        {"uvvis_detected", with(ORV_PREFER_AUTO, 2048), {}},
        {"uvvis_preferred_busy", with(ORV_PREFER_UVVIS, 32), {.busy_polls = 2}},
        {"uvvis_small_buffers", with(ORV_PREFER_UVVIS, 16), {}},
        {"uvvis_chunked", with(ORV_PREFER_AUTO, 64), {.chunk = 5}},
        {"nir_detected", with(ORV_PREFER_AUTO, 2048), {.nir = true}},
        {"nir_preferred_chunked", with(ORV_PREFER_NIR, 40), {.nir = true, .chunk = 3}},
        {"uvvis_all_groups", with(ORV_PREFER_AUTO, 2048, true), {.busy_polls = 1}},
        {"nir_all_groups", with(ORV_PREFER_AUTO, 2048, true), {.nir = true}},
        {"open_fails", open_fails, {}},
        {"handle_uvvis_all_groups", with(ORV_PREFER_AUTO, 2048, true, true), {.busy_polls = 1}},
        {"handle_nir_all_groups", with(ORV_PREFER_AUTO, 2048, true, true), {.nir = true}},
        {"handle_open_fails", handle_open_fails, {}},
    };
}

// Packets for the decoder: a read response, a write acknowledgement, the
// shortest accepted input, a wrong preamble and a refusing reply code.
std::vector<std::pair<const char *, Bytes>> packet_seeds() {
    Bytes with_data =
        fuzz::uvvis_response(ORV_SRV_RESP_DATA, ORV_REG_PARAMS, 0x46, 4, {'S', 'E', 'E', 'D'});
    Bytes ack = fuzz::uvvis_response(ORV_SRV_RESP_WRITE_ACK, ORV_REG_PARAMS, 0x00, 1, {});
    Bytes shortest(ack.begin(), ack.begin() + 24);
    Bytes bad_preamble = with_data;
    bad_preamble[7] = 0xAA;
    Bytes refused = ack;
    refused[25] = 0xE0;
    refused[27] = ORV_REPLY_WRITE_PROTECT;
    return {{"read_response", with_data},
            {"write_ack", ack},
            {"shortest", shortest},
            {"bad_preamble", bad_preamble},
            {"write_protected", refused}};
}

// Replies for the NIR target: config (flags, chunk, value, spectrum capacity), reply.
Bytes nir_input(uint8_t flags, uint8_t chunk, uint16_t value, uint16_t capacity,
                const Bytes &reply) {
    Bytes in{flags,
             chunk,
             static_cast<uint8_t>(value >> 8),
             static_cast<uint8_t>(value),
             static_cast<uint8_t>(capacity >> 8),
             static_cast<uint8_t>(capacity)};
    in.insert(in.end(), reply.begin(), reply.end());
    return in;
}

// The spectrum frame of n samples in one of its forms: header bytes kept
// (8, 4 or 0), trailer kept or not.
Bytes frame_form(int n, int header, bool trailer) {
    Bytes f = fuzz::nir_spectrum_frame(n);
    if (!trailer) f.resize(f.size() - 4);
    f.erase(f.begin() + header, f.begin() + 8);
    return f;
}

std::vector<std::pair<const char *, Bytes>> nir_seeds() {
    const int n = 24;
    const uint16_t count = n - 1;  // the value byte decodes to 1 + value
    const auto spectrum = [&](uint8_t flags, uint8_t chunk, int header, bool trailer) {
        return nir_input(flags, chunk, count, 2047,
                         fuzz::nir_reply(frame_form(n, header, trailer)));
    };
    return {
        {"version_reply", nir_input(0, 0, 63, 0, fuzz::nir_reply({'S', 'E', 'E', 'D'}))},
        {"empty_ack", nir_input(0, 1, 0, 0, fuzz::nir_reply({}))},
        {"nak", nir_input(0, 0, 15, 0, Bytes{0x15, 0x00, 0x00})},
        {"frame_long_header", spectrum(1, 0, 8, true)},
        {"frame_long_header_no_trailer", spectrum(1, 5, 8, false)},
        {"frame_short_header", spectrum(1, 7, 4, true)},
        {"frame_short_header_no_trailer", spectrum(1, 0, 4, false)},
        {"frame_trailer_only", spectrum(1, 3, 0, true)},
        {"frame_bare", spectrum(3, 0, 0, false)},
    };
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus dir>\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    int failures = 0;
    auto save = [&](const std::string &path, const Bytes &bytes) {
        if (!write_file(path, bytes)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            ++failures;
        }
    };
    for (const SessionSeed &seed : session_seeds())
        save(dir + "/exchange/" + seed.name, record_session(seed));
    for (const auto &[name, bytes] : packet_seeds()) save(dir + "/packet/" + name, bytes);
    for (const auto &[name, bytes] : nir_seeds()) save(dir + "/nir_reply/" + name, bytes);
    return failures == 0 ? 0 : 1;
}
