// What the USB device's release number (bcdDevice) says about the FTDI chip:
// its D2XX type number and whether it has several channels.
#ifndef ORV_TTY_CHIP_H
#define ORV_TTY_CHIP_H

#include <cstdint>
#include <optional>

namespace orvtty {

// The D2XX FT_DEVICE numbers.
enum ChipType : uint32_t {
    CHIP_BM = 0,
    CHIP_AM = 1,
    CHIP_100AX = 2,
    CHIP_UNKNOWN = 3,
    CHIP_2232C = 4,
    CHIP_232R = 5,
    CHIP_2232H = 6,
    CHIP_4232H = 7,
    CHIP_232H = 8,
    CHIP_X_SERIES = 9,
};

// CHIP_UNKNOWN for a missing or unlisted release number.
ChipType chip_type(std::optional<uint32_t> bcd_device);

// Chips with more than one channel: each channel is its own USB interface,
// tty and D2XX device, told apart by a letter (A, B, ...).
bool has_channels(ChipType type);

}  // namespace orvtty

#endif
