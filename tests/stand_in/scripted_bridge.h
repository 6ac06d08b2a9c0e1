// A D2XX provider for the fuzz targets (and for tests of D2XX failures the
// simulated provider never shows): one bridge whose instrument answers every
// request with bytes chosen by the fuzzer. It implements the eleven
// D2XX calls liborv makes (ftd2xx.h) and runs on the virtual clock.
//
// Each request written (FT_Write) takes the next answer from an AnswerSource.
// FT_Read hands the answer out in chunks; once it is used up a read returns
// 0 bytes after its read timeout (virtual), as a silent instrument would.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fuzz {

// Mode byte of an answer.
inline constexpr uint8_t ANSWER_FAULT_MASK = 0x03;
inline constexpr uint8_t FAULT_NONE = 0;         // answer, then silence
inline constexpr uint8_t FAULT_READ_ERROR = 1;   // answer, then FT_Read fails
inline constexpr uint8_t FAULT_WRITE_ERROR = 2;  // FT_Write fails, nothing answered
inline constexpr uint8_t FAULT_SHORT_WRITE =
    3;                                          // FT_Write reports half the bytes, nothing answered
inline constexpr uint8_t ANSWER_PAUSES = 0x04;  // a read that times out between chunks
inline constexpr uint8_t ANSWER_OVERRUN_CLAIM = 0x08;  // first read claims one byte more than asked
inline constexpr uint8_t ANSWER_FIX_CHECKSUM = 0x10;   // CRC-32 / CRC-16 of the answer made right

// What the instrument sends back for one request.
struct Answer {
    uint8_t mode = FAULT_NONE;
    uint8_t chunk = 0;  // bytes per read; 0: as many as asked
    const uint8_t *bytes = nullptr;
    uint32_t len = 0;
};

class AnswerSource {
public:
    virtual ~AnswerSource() = default;
    // The answer to the request just written; false when there is none.
    virtual bool next(const uint8_t *request, uint32_t request_len, Answer &out) = 0;
};

// Answers read from a script of records: mode, chunk, length (2 bytes, high
// first), then that many answer bytes (fewer when the script ends first).
class ScriptedAnswers final : public AnswerSource {
public:
    ScriptedAnswers(const uint8_t *script, size_t len) : pos_(script), end_(script + len) {}
    bool next(const uint8_t *request, uint32_t request_len, Answer &out) override;

private:
    const uint8_t *pos_;
    const uint8_t *end_;
};

inline constexpr size_t ANSWER_RECORD_HEADER = 4;
// Appends one record in the script format (len must be below 65536).
void append_answer_record(std::vector<uint8_t> &script, const Answer &answer);

struct BridgeSetup {
    bool open_fails = false;    // FT_Open refuses the bridge
    bool config_fails = false;  // timeouts, latency, USB parameters, purge and reset fail
    bool close_fails = false;   // FT_Close reports an error (the handle is released all the same)
};

// Starts a fresh bridge (closed, nothing pending) answering from source,
// which must outlive the use of the bridge.
void scripted_bridge_reset(AnswerSource *source, const BridgeSetup &setup);

// Handles opened and not yet closed.
int scripted_bridge_open_handles();

}  // namespace fuzz
