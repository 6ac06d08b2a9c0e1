// Fault injection: which exchange a fault hits, and the effects that both
// instrument protocols share.
#pragma once

#include <optional>
#include <vector>

#include "config.h"
#include "instrument.h"

namespace orvsim {

class FaultTable {
public:
    explicit FaultTable(std::vector<FaultSpec> faults);

    // Counts the exchange against every fault that matches it and returns the
    // first one that fires, or null.
    const FaultSpec *match_register(uint8_t reg, uint32_t address, bool is_write);
    const FaultSpec *match_command(const Bytes &command);

private:
    const FaultSpec *fire(const std::vector<bool> &matches);
    std::vector<FaultSpec> specs_;
    std::vector<uint32_t> seen_;
};

// True for faults whose request never takes effect in the instrument.
bool fault_suppresses_request(const FaultSpec &fault);

// Applies the effects shared by both protocols to the answer (which may be
// dropped) and to the host's view of the write. Returns false when the kind
// is protocol-specific and was left for the caller.
bool apply_common_fault(const FaultSpec &fault, std::optional<Reply> &reply, WriteResult &result,
                        size_t request_len);

}  // namespace orvsim
