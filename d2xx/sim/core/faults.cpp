#include "faults.h"

#include <algorithm>

namespace orvsim {

FaultTable::FaultTable(std::vector<FaultSpec> faults)
    : specs_(std::move(faults)), seen_(specs_.size(), 0) {}

const FaultSpec *FaultTable::fire(const std::vector<bool> &matches) {
    const FaultSpec *fired = nullptr;
    for (size_t i = 0; i < specs_.size(); ++i) {
        if (!matches[i]) continue;
        uint32_t n = ++seen_[i];
        const FaultSpec &f = specs_[i];
        bool fires = f.occurrence == 0 || (n >= f.occurrence && n - f.occurrence < f.times);
        if (fires && !fired) fired = &f;
    }
    return fired;
}

const FaultSpec *FaultTable::match_register(uint8_t reg, uint32_t address, bool is_write) {
    std::vector<bool> matches(specs_.size());
    for (size_t i = 0; i < specs_.size(); ++i) {
        const FaultSpec &f = specs_[i];
        bool access_ok = f.access == FaultSpec::Access::Any ||
                         (f.access == FaultSpec::Access::Write) == is_write;
        matches[i] = (f.any_register || f.reg == reg) && (f.any_address || f.address == address) &&
                     access_ok;
    }
    return fire(matches);
}

const FaultSpec *FaultTable::match_command(const Bytes &command) {
    std::vector<bool> matches(specs_.size());
    for (size_t i = 0; i < specs_.size(); ++i) {
        const Bytes &p = specs_[i].command_prefix;
        matches[i] = p.size() <= command.size() && std::equal(p.begin(), p.end(), command.begin());
    }
    return fire(matches);
}

bool fault_suppresses_request(const FaultSpec &fault) {
    return fault.kind == FaultKind::WriteError || fault.kind == FaultKind::ShortWrite ||
           fault.kind == FaultKind::ReplyCode;
}

bool apply_common_fault(const FaultSpec &fault, std::optional<Reply> &reply, WriteResult &result,
                        size_t request_len) {
    switch (fault.kind) {
    case FaultKind::NoAnswer: reply.reset(); return true;
    case FaultKind::Delay:
        if (reply) reply->delay_ms += fault.ms;
        return true;
    case FaultKind::ReadError:
        reply.reset();
        result.fail_next_read = true;
        result.unplug = result.unplug || fault.persistent;
        return true;
    case FaultKind::WriteError:
        reply.reset();
        result.failed = true;
        return true;
    case FaultKind::ShortWrite: {
        reply.reset();
        result.short_write = true;
        uint32_t half = static_cast<uint32_t>(request_len / 2);
        result.written = std::min<uint32_t>(fault.count_given ? fault.count : half,
                                            static_cast<uint32_t>(request_len));
        return true;
    }
    case FaultKind::Raw:
        if (!reply) reply.emplace();
        reply->bytes = fault.bytes;
        return true;
    default: return false;
    }
}

}  // namespace orvsim
