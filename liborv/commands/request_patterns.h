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
#include "wire/register_values.h"
#include "wire/registers.h"

// ---------------------------------------------------------------- UVVIS_ORV

// A register read of the field's words; the reply must carry at least
// min_bytes data bytes (ORV_ERR_TRANSPORT otherwise). A negative min_bytes
// means four bytes per word asked for.
struct reg_read {
    reg_read(reg_field where, int min_reply_bytes = -1) : at(where), min_bytes(min_reply_bytes) {}
    reg_field at;
    int min_bytes;
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
    uint16_t count = 0;  // wavelengths of a spectrum
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
