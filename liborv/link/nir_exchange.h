// The NIR_LEGACY command exchange with an open device: a command frame out,
// the reply collected (to a known length, or until the line stays quiet) and
// checked. Library-internal.
#pragma once

#include <cstdint>

#include "ftd2xx.h"
#include "link/device_state.h"

// Sends cmd (1..NIR_MAX_COMMAND bytes) + CRC-16 and receives the reply:
// exactly expected_payload + 3 bytes within timeout_ms when expected_payload
// >= 0, otherwise until the line is quiet for timeout_ms. Validates length,
// CRC and ACK; copies min(data length, capacity) reply data bytes to out and
// stores that count in *out_len (nothing copied when out_len is null).
int nir_send_command_with_expected_payload(const orv_device &device, const uint8_t *cmd,
                                           int cmd_len, uint8_t *out, int *out_len, int capacity,
                                           int timeout_ms, int expected_payload);
// Reply of unknown length; timeout_ms is the idle gap that ends it.
int nir_send_command(const orv_device &device, const uint8_t *cmd, int cmd_len, uint8_t *out,
                     int *out_len, int capacity, int timeout_ms);
// 3Fh code; idle gap NIR_GET_IDLE_GAP_MS.
int nir_query_command(const orv_device &device, uint8_t code, uint8_t *out, int *out_len,
                      int capacity);
// code alone; idle gap NIR_GET_IDLE_GAP_MS.
int nir_get_command(const orv_device &device, uint8_t code, uint8_t *out, int *out_len,
                    int capacity);
// 53h for a spectrum of `count` wavelengths: nir_spectrum_reply_bytes(count)
// reply data bytes expected within the spectrum read timeout.
int nir_spectrum_command(const orv_device &device, uint16_t count, uint8_t *out, int *out_len,
                         int capacity);

// Collects bytes until idle_gap_ms pass without any (short reads and pauses,
// see timeouts.h) or capacity is reached. ORV_OK with >= 1 byte, else
// ORV_ERR_TIMEOUT.
int nir_read_available(FT_HANDLE bridge, uint8_t *buf, int capacity, int *out_count,
                       unsigned idle_gap_ms);
// Reads exactly count bytes with the given read timeout.
int nir_read_exact_response(FT_HANDLE bridge, uint8_t *buf, int count, int *out_count,
                            unsigned read_timeout_ms);
