// The NIR_LEGACY command exchange with an open device: a command frame out,
// the reply collected (to a known length, or until the line stays quiet) and
// checked. Library-internal.
#pragma once

#include <cstdint>

#include "ftd2xx.h"
#include "link/device_state.h"

// The reply data bytes a command of known reply size expects: at least
// `least`, at most `most` (the same for an exact size).
struct nir_reply_size {
    int least;
    int most;
};

// Sends cmd (1..NIR_MAX_COMMAND bytes) + CRC-16 and receives the reply of
// known size: size.least + 3 bytes within timeout_ms, then, when size.most is
// larger, up to the rest of size.most + 3 until the line stays quiet for
// NIR_REPLY_TAIL_GAP_MS. A size that does not fit NIR_REPLY_BUFFER is
// ORV_ERR_INVALID_PARAM, after the command went out. Validates length, CRC
// and ACK; copies min(data length, capacity) reply data bytes to out and
// stores that count in *out_len (nothing copied when out_len is null).
int nir_send_command_with_known_size(const orv_device &device, const uint8_t *cmd, int cmd_len,
                                     uint8_t *out, int *out_len, int capacity, int timeout_ms,
                                     nir_reply_size size);
// Reply of unknown length; timeout_ms is the idle gap that ends it.
int nir_send_command(const orv_device &device, const uint8_t *cmd, int cmd_len, uint8_t *out,
                     int *out_len, int capacity, int timeout_ms);
// 3Fh code; idle gap NIR_GET_IDLE_GAP_MS.
int nir_query_command(const orv_device &device, uint8_t code, uint8_t *out, int *out_len,
                      int capacity);
// code alone; idle gap NIR_GET_IDLE_GAP_MS.
int nir_get_command(const orv_device &device, uint8_t code, uint8_t *out, int *out_len,
                    int capacity);
// 53h for a spectrum of `count` wavelengths: from nir_spectrum_least_bytes
// to nir_spectrum_reply_bytes(count) reply data bytes, whatever frame form
// the instrument sends, the least of them within timeout_ms (the command
// knows how long its spectrum takes).
int nir_spectrum_exchange(const orv_device &device, uint16_t count, uint32_t timeout_ms,
                          uint8_t *out, int *out_len, int capacity);

// Collects bytes until idle_gap_ms pass without any (short reads and pauses,
// see timeouts.h) or capacity is reached. ORV_OK with >= 1 byte, else
// ORV_ERR_TIMEOUT.
int nir_read_available(FT_HANDLE bridge, uint8_t *buf, int capacity, int *out_count,
                       unsigned idle_gap_ms);
