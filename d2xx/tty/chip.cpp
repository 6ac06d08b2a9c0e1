#include "chip.h"

namespace orvtty {

ChipType chip_type(std::optional<uint32_t> bcd_device) {
    if (!bcd_device) return CHIP_UNKNOWN;
    switch (*bcd_device) {
    case 0x0200: return CHIP_AM;
    case 0x0400: return CHIP_BM;
    case 0x0500: return CHIP_2232C;
    case 0x0600: return CHIP_232R;
    case 0x0700: return CHIP_2232H;
    case 0x0800: return CHIP_4232H;
    case 0x0900: return CHIP_232H;
    case 0x1000: return CHIP_X_SERIES;
    default: return CHIP_UNKNOWN;
    }
}

bool has_channels(ChipType type) {
    return type == CHIP_2232C || type == CHIP_2232H || type == CHIP_4232H;
}

}  // namespace orvtty
