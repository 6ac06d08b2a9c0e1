#include "flash.h"

#include <algorithm>

namespace orvsim {

Bytes FlashMemory::read(uint32_t address, size_t n) const {
    if (address >= cells_.size()) return {};
    size_t end = std::min(cells_.size(), static_cast<size_t>(address) + n);
    return Bytes(cells_.begin() + address, cells_.begin() + static_cast<std::ptrdiff_t>(end));
}

bool FlashMemory::write(uint32_t address, const Bytes &block) {
    if (static_cast<size_t>(address) + block.size() > cells_.size()) return false;
    std::copy(block.begin(), block.end(), cells_.begin() + address);
    return true;
}

void Handshake::start(uint8_t op, uint16_t parameter, bool succeeds) {
    op_ = op;
    parameter_ = parameter;
    busy_left_ = busy_polls_;
    final_status_ = succeeds ? kDone : kFailed;
}

Bytes Handshake::poll() {
    uint8_t status = 0;  // idle: no request yet
    if (op_ != 0) {
        if (busy_left_ > 0) {
            --busy_left_;
            status = kBusy;
        } else {
            status = final_status_;
        }
    }
    Bytes out{op_, status};
    append_be16(out, parameter_);
    out.resize(8, 0);
    return out;
}

}  // namespace orvsim
