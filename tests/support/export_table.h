// Every device export of liborv as a uniform call: it writes its outputs
// into one caller block, so a test can check that a failed call left the
// block exactly as it was. Used by the tests that drive all exports through
// one kind of failure.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace hardening {

// The caller block: room for the largest output (a 2048-value table).
inline constexpr std::size_t kBlockBytes = 2048 * sizeof(double);

struct ExportCall {
    const char *name;
    bool uvvis_only;
    bool reads;  // a getter: its output lives in the block
    std::function<int(void *block)> call;
};

// Every export that talks to the instrument, in header order. Capacities
// cover the largest table, so no call fails for lack of room.
const std::vector<ExportCall> &device_exports();

// A block of kBlockBytes filled with one byte, aligned for doubles.
class Block {
public:
    Block();
    void *data() { return words_.data(); }
    bool untouched() const;

private:
    std::vector<uint64_t> words_;
};

}  // namespace hardening
