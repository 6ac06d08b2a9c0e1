// The NIR_LEGACY byte-command protocol: command frames closed by a CRC-16,
// replies of ACK + data + CRC-16 that end at a known length or when the line
// stays quiet. Library-internal.
#pragma once

#include <cstdint>

inline constexpr uint8_t NIR_ACK = 0x06;
inline constexpr uint8_t NIR_NAK = 0x15;
inline constexpr int NIR_MAX_COMMAND = 8190;
inline constexpr int NIR_REPLY_BUFFER = 16384;
inline constexpr unsigned NIR_SET_IDLE_GAP_MS = 300;
inline constexpr unsigned NIR_GET_IDLE_GAP_MS = 500;
inline constexpr unsigned NIR_FLASH_IDLE_GAP_MS = 1000;

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
inline constexpr uint8_t NIR_CMD_SPECTRUM = 0x53;
inline constexpr uint8_t NIR_CMD_FLASH = 0xAF;

// Sends cmd (1..8190 bytes) + CRC-16 and receives the reply: exactly
// expected_payload + 3 bytes within timeout_ms when expected_payload >= 0,
// otherwise until the line is quiet for timeout_ms. Validates length, CRC and
// ACK; copies min(data length, capacity) reply data bytes to out and stores
// that count in *out_len (nothing copied when out_len is null).
int nir_send_command_with_expected_payload(const uint8_t *cmd, int cmd_len, uint8_t *out,
                                           int *out_len, int capacity, int timeout_ms,
                                           int expected_payload);
// Reply of unknown length; timeout_ms is the idle gap that ends it.
int nir_send_command(const uint8_t *cmd, int cmd_len, uint8_t *out, int *out_len, int capacity,
                     int timeout_ms);
// code + be32(value); no reply data; idle gap 300 ms.
int nir_write_u32_command(uint8_t code, int32_t value);
// 3Fh code; idle gap 500 ms.
int nir_query_command(uint8_t code, uint8_t *out, int *out_len, int capacity);
// code alone; idle gap 500 ms.
int nir_get_command(uint8_t code, uint8_t *out, int *out_len, int capacity);
// 53h with (count + 6) * 2 reply data bytes expected; spectrum read timeout.
int nir_query_spectrum(uint8_t *out, int *out_len, int capacity);

// Collects bytes until idle_gap_ms pass without any (50 ms reads, 5 ms pauses)
// or capacity is reached. ORV_OK with >= 1 byte, else ORV_ERR_TIMEOUT.
int nir_read_available(uint8_t *buf, int capacity, int *out_count, unsigned idle_gap_ms);
// Reads exactly count bytes with the given read timeout.
int nir_read_exact_response(uint8_t *buf, int count, int *out_count, unsigned read_timeout_ms);
