// The request patterns every device command is built from: one UVVIS_ORV
// register read or write, one NIR_LEGACY command with its reply, the getter
// and setter shapes of the exports (checks first, see link/call_checks.h),
// and the completion poll of the multi-step operations. Each command is a few
// lines on top of these; every one works on the device it is handed.
// Library-internal.
#pragma once

#include <cstdint>

#include "commands/reply_decoder.h"
#include "link/call_checks.h"
#include "link/device_state.h"
#include "link/timeouts.h"
#include "wire/register_values.h"
#include "wire/registers.h"

// ---------------------------------------------------------------- waits

// How long a read waits for its reply after the request went out, and
// whether it prints its timing line (UVVIS_ORV).
struct reply_wait {
    uint32_t deadline_ms = ORV_REGISTER_READ_TIMEOUT_MS;
    bool trace = false;
};

// The spectrum read timeout on both protocols, from the integration time and
// average number the device remembers: ceil(integration ms) * averages (0
// counts as 1) + 1000, at most 120000.
uint64_t spectrum_read_timeout_ms(const orv_device &device);

// The wait of a spectrum read: spectrum_read_timeout_ms, with the timing
// line when the environment variable ORV_TRACE_TIMING exists (even empty).
reply_wait spectrum_wait(const orv_device &device);

// ---------------------------------------------------------------- UVVIS_ORV

// A register read of the field's words; the reply must carry at least
// min_bytes data bytes (ORV_ERR_TRANSPORT otherwise). A negative min_bytes
// means four bytes per word asked for. The reply may take `wait`.
struct reg_read {
    reg_read(reg_field where, int min_reply_bytes = -1, reply_wait reply = {})
        : at(where), min_bytes(min_reply_bytes), wait(reply) {}
    reg_field at;
    int min_bytes;
    reply_wait wait;
};

// One register read into a scratch buffer of four bytes per word asked for
// (so a reply carrying more data than asked cannot overrun it), the length
// check, then decode(data, received). Errors of the exchange are passed on;
// decode is not called then. No preconditions are checked.
int read_register(orv_device &device, const reg_read &read, reply_decoder decode);

// One register write of len payload bytes (padded to whole words by the
// packet builder). The result of the exchange, unchanged.
int write_register(orv_device &device, reg_field at, const uint8_t *data, int len);
int write_register(orv_device &device, reg_field at, const payload &value);

// The positional form of one exchange, kept for its name: a read (is_query
// != 0) of len words or a write of len data bytes, into out_data as
// uvvis_exchange (link/uvvis_exchange.h). A read of the spectrum register
// waits spectrum_wait(device), every other ORV_REGISTER_READ_TIMEOUT_MS.
int send_and_recv(const orv_device &device, uint8_t reg, uint32_t addr, const uint8_t *data,
                  int len, uint8_t *out_data, int out_capacity, int *out_len, int is_query);

// ---------------------------------------------------------------- NIR_LEGACY

// The command shapes that carry a reply: "3Fh code", "code" alone, or the
// spectrum command (reply length known from `count`; code not used).
enum class nir_shape { query, get, spectrum };

// A NIR command with reply data: at most `capacity` reply bytes are taken,
// at least min_bytes must arrive (ORV_ERR_TRANSPORT otherwise).
struct nir_read {
    nir_shape shape;
    uint8_t code;
    int capacity;
    int min_bytes;
    uint16_t count = 0;        // wavelengths of a spectrum
    uint32_t deadline_ms = 0;  // how long a spectrum's least frame may take
};

// Sends the command, receives into a scratch buffer of `capacity` bytes,
// checks the length, then decode(data, received). Errors are passed on.
int read_nir(orv_device &device, const nir_read &read, reply_decoder decode);

// A NIR command without reply data: up to 8 command bytes and the idle gap
// that ends the (empty) reply.
struct nir_command {
    uint8_t bytes[8] = {};
    int len = 0;
    int idle_gap_ms = 0;
};
int send_nir_command(orv_device &device, const nir_command &command);

// The positional form of the spectrum command, kept for its name: 53h for a
// spectrum of `count` wavelengths as nir_spectrum_exchange
// (link/nir_exchange.h), within spectrum_wait(device).
int nir_spectrum_command(const orv_device &device, uint16_t count, uint8_t *out, int *out_len,
                         int capacity);

// ---------------------------------------------------------------- commands

// A getter that exists on UVVIS_ORV only; late_args_ok are its outputs,
// tested after the protocol.
int get_uvvis(orv_device &device, bool late_args_ok, const reg_read &read, reply_decoder decode);

// A getter on both protocols; args_ok are its outputs, tested before the
// protocol. Each protocol has its request and its decoder.
int get_dual(orv_device &device, bool args_ok, const reg_read &uvvis, reply_decoder decode_uvvis,
             const nir_read &nir, reply_decoder decode_nir);

// A setter that exists on UVVIS_ORV only.
int set_uvvis(orv_device &device, reg_field at, const payload &value);

// A setter on both protocols.
int set_dual(orv_device &device, reg_field at, const payload &value, const nir_command &nir);

// ---------------------------------------------------------------- helpers

// Completion poll of the handshakes (registers.h): reads the 2-word control
// register until its status byte (byte 1) says done (ORV_OK) or failed
// (ORV_ERR_TRANSPORT); otherwise pauses pause_ms and tries again, at most
// `limit` reads (ORV_ERR_TIMEOUT). Exchange errors and replies shorter than
// 8 bytes end it (the error, or ORV_ERR_TRANSPORT).
int poll_until_done(orv_device &device, reg_field control, int limit, unsigned pause_ms);
