// The UVVIS_ORV register map: every register field liborv reads or writes
// (register byte, 24-bit address, width in 32-bit words), the widths of the
// text fields and tables, and the codes written to or read from the command
// registers. The register bytes themselves are public (ORV_REG_* in orv.h).
#pragma once

#include <cstdint>

#include "orv.h"

// A register field: where it is and how many 32-bit words it holds.
struct reg_field {
    uint8_t reg;
    uint32_t addr;
    int words = 1;
};

namespace registers {

// The largest wavelength table (one single per word) and spectrum (two
// 16-bit samples per word); both are always asked for in full.
inline constexpr int MAX_WAVELENGTHS = 2048;
inline constexpr int TABLE_WORDS = MAX_WAVELENGTHS;
inline constexpr int SPECTRUM_WORDS = MAX_WAVELENGTHS / 2;
// At most 1024 bytes of flash per read.
inline constexpr int FLASH_READ_MAX_WORDS = 256;

// Live parameters and device commands (C1h).
inline constexpr reg_field INTEGRATION{ORV_REG_PARAMS, 0x00};
inline constexpr reg_field XENON_PULSE{ORV_REG_PARAMS, 0x01, 2};
inline constexpr reg_field XENON_MODE{ORV_REG_PARAMS, 0x03};
inline constexpr reg_field AVERAGE{ORV_REG_PARAMS, 0x10};
inline constexpr reg_field LEVEL{ORV_REG_PARAMS, 0x11};
inline constexpr reg_field WRITE_PROTECT{ORV_REG_PARAMS, 0x12};
inline constexpr reg_field RESET{ORV_REG_PARAMS, 0x13};
inline constexpr reg_field CALIBRATION{ORV_REG_PARAMS, 0x20, 8};  // four doubles
inline constexpr reg_field TEMPERATURE{ORV_REG_PARAMS, 0x40};
inline constexpr reg_field HARDWARE_VERSION{ORV_REG_PARAMS, 0x41, 2};
inline constexpr reg_field USB_BAUD_RATE{ORV_REG_PARAMS, 0x43};
inline constexpr reg_field DETECTOR_SERIAL{ORV_REG_PARAMS, 0x44, 2};  // 8 bytes of text
inline constexpr reg_field MODEL{ORV_REG_PARAMS, 0x46, 4};            // 16 bytes of text
inline constexpr reg_field FLASH_CONTROL{ORV_REG_PARAMS, 0x4A, 2};
inline constexpr reg_field EXTERNAL_CONTROL{ORV_REG_PARAMS, 0x4C, 2};
inline constexpr reg_field USB_STATUS{ORV_REG_PARAMS, 0x50};
inline constexpr reg_field TRIGGER{ORV_REG_PARAMS, 0x51};
inline constexpr reg_field CAPTURE_STATUS{ORV_REG_PARAMS, 0x52, 2};
inline constexpr reg_field DAC{ORV_REG_PARAMS, 0x64};

// Stored settings and factory data (C2h).
inline constexpr reg_field STORED_INTEGRATION{ORV_REG_STORED, 0x00};
inline constexpr reg_field STORED_AVERAGE{ORV_REG_STORED, 0x01};
inline constexpr reg_field STORED_SMOOTHING{ORV_REG_STORED, 0x02};
inline constexpr reg_field SLIT_WIDTH{ORV_REG_STORED, 0x03};
inline constexpr reg_field SERIAL_NUMBER{ORV_REG_STORED, 0x04, 3};  // 12 bytes of text
inline constexpr reg_field WAVELENGTH_COUNT{ORV_REG_STORED, 0x0B};
inline constexpr reg_field WAVELENGTH_RANGE{ORV_REG_STORED, 0x0D, 4};  // two doubles

// Tables and blocks. The wavelength register is addressed by table position.
inline constexpr reg_field WAVELENGTH_TABLE{ORV_REG_WAVELENGTHS, 0, TABLE_WORDS};
inline constexpr reg_field SPECTRUM{ORV_REG_SPECTRUM, 0, SPECTRUM_WORDS};
inline constexpr reg_field FLASH_DATA{ORV_REG_FLASH_DATA, 0, FLASH_READ_MAX_WORDS};

// Bytes a field holds.
inline constexpr int field_bytes(reg_field field) { return 4 * field.words; }

// Codes of the command registers. GATE_OPEN, written to WRITE_PROTECT,
// opens the flash write-protect gate and reads back while it is open.
inline constexpr uint8_t RESET_VALUE = 0xAA;    // written to RESET
inline constexpr uint8_t GATE_OPEN = 0xEA;      // WRITE_PROTECT
inline constexpr uint8_t USB_STATUS_OK = 0xAA;  // USB_STATUS when the link is good
inline constexpr int DAC_SHIFT = 20;            // the 12-bit DAC value sits in bits 31..20

// The handshakes through FLASH_CONTROL and EXTERNAL_CONTROL: a request word
// (operation, HANDSHAKE_MARK, 16-bit address or parameter, 32-bit tail),
// then polls until the status byte (byte 1) reads done or failed.
inline constexpr uint8_t HANDSHAKE_MARK = 0xDD;
inline constexpr uint8_t FLASH_READ_REQUEST = 0xC0;
inline constexpr uint8_t FLASH_COMMIT = 0xCF;  // tail: CRC-32 of the block
inline constexpr uint8_t EXTERNAL_START = 0xC0;
inline constexpr uint8_t STATUS_DONE = 0xAA;
inline constexpr uint8_t STATUS_FAILED = 0xEE;

}  // namespace registers
