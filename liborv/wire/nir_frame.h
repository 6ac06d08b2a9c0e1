// The NIR_LEGACY frames. A command is its bytes closed by their CRC-16
// (CRC-16/MODBUS, high byte first); a reply is ACK (or NAK), data, CRC-16.
// The spectrum reply's data are the big-endian samples inside an optional
// header and trailer.
#pragma once

#include <cstdint>

inline constexpr uint8_t NIR_ACK = 0x06;
inline constexpr uint8_t NIR_NAK = 0x15;

// The longest command liborv sends, and the longest reply it accepts.
inline constexpr int NIR_MAX_COMMAND = 8190;
inline constexpr int NIR_MAX_FRAME = NIR_MAX_COMMAND + 2;
inline constexpr int NIR_REPLY_BUFFER = 16384;
// Reply bytes around the data: the ACK before, the CRC-16 after.
inline constexpr int NIR_REPLY_OVERHEAD = 3;

// Command codes.
inline constexpr uint8_t NIR_CMD_QUERY = 0x3F;  // '?' prefix of a query
inline constexpr uint8_t NIR_CMD_INTEGRATION = 0x69;
inline constexpr uint8_t NIR_CMD_AVERAGE = 0x41;
inline constexpr uint8_t NIR_CMD_LEVEL = 0x40;
inline constexpr uint8_t NIR_CMD_WRITE_PROTECT = 0xA5;
inline constexpr uint8_t NIR_CMD_RESET = 0x52;
inline constexpr uint8_t NIR_CMD_CALIBRATION = 0x78;
inline constexpr uint8_t NIR_CMD_TEMPERATURE = 0x74;
inline constexpr uint8_t NIR_CMD_VERSION = 0x56;
inline constexpr uint8_t NIR_CMD_MODEL = 0xBB;
inline constexpr uint8_t NIR_CMD_SPECTRUM = 0x53;  // "3Fh 53h" asks for the wavelength table
inline constexpr uint8_t NIR_CMD_FLASH = 0xAF;

// Writes cmd (1..NIR_MAX_COMMAND bytes, not checked here) and its CRC-16
// into frame (room for cmd_len + 2); returns the frame length.
int nir_build_frame(const uint8_t *cmd, int cmd_len, uint8_t *frame);

// Checks a complete reply of `received` bytes: ORV_ERR_TRANSPORT when it is
// too short to hold ACK and CRC, ORV_ERR_CRC_MISMATCH for a wrong CRC-16
// (checked before the ACK, so a NAK with a broken CRC reports the CRC),
// ORV_ERR_TRANSPORT for a NAK or any other first byte, else ORV_OK.
int nir_check_reply(const uint8_t *reply, int received);

// The data bytes of a spectrum reply for `count` wavelengths in its longest
// form, the samples inside a long header and the trailer (12 bytes), and in
// its shortest, the samples alone.
inline constexpr int nir_spectrum_reply_bytes(int count) { return (count + 6) * 2; }
inline constexpr int nir_spectrum_least_bytes(int count) { return count * 2; }

// Finds the samples in the data d (len bytes) of a spectrum reply for
// `count` (>= 1) wavelengths. The frame forms: a long header (AA 55 BB 44 CC
// 33 DD 22), a short one (its first four bytes) or none, then the samples,
// then the trailer DD DD AA AA or nothing; the lengths decide between the
// forms, and where two fit the bytes, the longer header wins. Returns the
// offset of the first sample byte, or -1 when no form holds exactly count
// samples.
int nir_spectrum_samples(const uint8_t *d, int len, int count);
