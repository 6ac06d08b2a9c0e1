// Fuzz target: whole sessions with an instrument whose answers are the
// fuzzer's bytes. Input: the session configuration (exchange_session.h), then
// answer records (support/scripted_bridge.h), one per request written.
#include <cstdint>
#include <cstdio>

#include "exchange_session.h"
#include "scripted_bridge.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // Packet diagnostics and traces are not what is tested here.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) return 1;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const fuzz::SessionConfig config = fuzz::SessionConfig::decode(data, size);
    fuzz::ScriptedAnswers answers(data, size);
    fuzz::scripted_bridge_reset(&answers, {.open_fails = config.open_fails});
    fuzz::run_session(config);
    return 0;
}
