// A small model instrument that answers requests correctly, for writing seed
// corpora: recorded answers of a real session are valid inputs that reach
// every step of it, from which the fuzzer starts mutating.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "scripted_bridge.h"

namespace fuzz {

struct SeedInstrumentSetup {
    bool nir = false;  // NIR_LEGACY instead of UVVIS_ORV
    int pixels = 32;
    int busy_polls = 0;  // "busy" answers of a control register before "done"
    uint8_t chunk = 0;   // bytes per read of every answer (0: as asked)
};

class SeedInstrument final : public AnswerSource {
public:
    explicit SeedInstrument(const SeedInstrumentSetup &setup) : setup_(setup) {}
    // Answers a request of its own protocol; stays silent (an empty answer)
    // for the other protocol's.
    bool next(const uint8_t *request, uint32_t len, Answer &out) override;

private:
    std::vector<uint8_t> uvvis_answer(const uint8_t *request);
    std::vector<uint8_t> uvvis_register(uint8_t reg, uint32_t addr, int words);
    std::vector<uint8_t> nir_answer(const uint8_t *command, uint32_t len);

    SeedInstrumentSetup setup_;
    std::map<uint32_t, int> busy_left_;  // per control register
    std::vector<uint8_t> answer_;
};

// Passes every request on to the model and writes each answer down as a
// script record, so the script replays the session.
class RecordingSource final : public AnswerSource {
public:
    RecordingSource(AnswerSource &model, std::vector<uint8_t> &script)
        : model_(model), script_(script) {}
    bool next(const uint8_t *request, uint32_t len, Answer &out) override;

private:
    AnswerSource &model_;
    std::vector<uint8_t> &script_;
};

// A UVVIS_ORV response packet (ANS reply ACh) carrying data, with its CRC-32.
std::vector<uint8_t> uvvis_response(uint8_t srv, uint8_t reg, uint32_t addr, uint16_t file_len,
                                    const std::vector<uint8_t> &data);
// A NIR_LEGACY reply: ACK, data, CRC-16 high byte first.
std::vector<uint8_t> nir_reply(const std::vector<uint8_t> &data);
// The NIR spectrum frame: long header, big-endian samples, trailer.
std::vector<uint8_t> nir_spectrum_frame(int samples);

}  // namespace fuzz
