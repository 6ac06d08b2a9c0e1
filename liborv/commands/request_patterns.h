// The request patterns every device command is built from: the checks made
// before anything is sent, one UVVIS_ORV register read or write, one
// NIR_LEGACY command with its reply, the completion poll of the multi-step
// operations, and per-call scratch buffers. Each export is a few lines on top
// of these. Library-internal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>

#include "orv.h"

// Which protocols an export exists for. "uvvis_only" exports return
// ORV_ERR_UNSUPPORTED on a NIR_LEGACY device (an unknown protocol counts as
// UVVIS_ORV).
enum class protocols { both, uvvis_only };

// What an export tests before anything is sent, in this order: a device is
// open (ORV_ERR_NOT_OPEN), the pointer and size arguments that come before
// the protocol test (ORV_ERR_INVALID_PARAM), the protocol
// (ORV_ERR_UNSUPPORTED), and the arguments that are tested only after the
// protocol (ORV_ERR_INVALID_PARAM), so that an export of the other protocol
// reports ORV_ERR_UNSUPPORTED whatever its arguments.
struct call_checks {
    bool args_ok = true;
    protocols supported = protocols::both;
    bool late_args_ok = true;
};
int check_call(const call_checks &checks);

// Hands a reply's data bytes to the code that decodes them. Holds a reference
// to a callable taking (const uint8_t *data, int len) and returning either
// nothing or a result code. The callable must outlive the call it is passed to.
class reply_decoder {
public:
    template <class F, class = std::enable_if_t<!std::is_same_v<std::decay_t<F>, reply_decoder>>>
    reply_decoder(F &&f)  // NOLINT: implicit on purpose, lambdas are passed directly
        : target_(const_cast<void *>(static_cast<const void *>(std::addressof(f)))),
          call_(&invoke<std::remove_reference_t<F>>) {}

    int operator()(const uint8_t *data, int len) const { return call_(target_, data, len); }

private:
    template <class F>
    static int invoke(void *target, const uint8_t *data, int len) {
        F &f = *static_cast<F *>(target);
        if constexpr (std::is_void_v<std::invoke_result_t<F &, const uint8_t *, int>>) {
            f(data, len);
            return ORV_OK;
        } else {
            return f(data, len);
        }
    }

    void *target_;
    int (*call_)(void *, const uint8_t *, int);
};

// ---------------------------------------------------------------- UVVIS_ORV

// A register location: the register byte and the 24-bit address within it.
struct reg_addr {
    uint8_t reg;
    uint32_t addr;
};

// A register read: `words` 32-bit words; the reply must carry at least
// min_bytes data bytes (ORV_ERR_TRANSPORT otherwise). A negative min_bytes
// means four bytes per word asked for.
struct reg_read {
    reg_read(reg_addr where, int word_count, int min_reply_bytes = -1)
        : at(where), words(word_count), min_bytes(min_reply_bytes) {}
    reg_addr at;
    int words;
    int min_bytes;
};

// One register read into a scratch buffer of four bytes per word asked for
// (so a reply carrying more data than asked cannot overrun it), the length
// check, then decode(data, received). Errors of the exchange are passed on;
// decode is not called then. No preconditions are checked.
int read_register(const reg_read &read, reply_decoder decode);

// One register write of len payload bytes (padded to whole words by the
// packet builder). The result of the exchange, unchanged.
int write_register(reg_addr at, const uint8_t *data, int len);

// A register payload of up to 12 bytes, built by the helpers below.
struct payload {
    uint8_t bytes[12] = {};
    int len = 0;
};
payload word_u8(uint8_t value);                      // 00 00 00 value ("byte in word")
payload word_u16(uint16_t value);                    // 00 00 high low ("half in word")
payload word_u32(uint32_t value);                    // big-endian 32-bit value
payload words_u32(uint32_t first, uint32_t second);  // two big-endian words
// Request word of the flash and external-spectrum handshakes: operation, DDh,
// the 16-bit address or parameter, then a 32-bit tail (0 or a CRC-32).
payload handshake_request(uint8_t operation, uint16_t parameter, uint32_t tail);

// ---------------------------------------------------------------- NIR_LEGACY

// The command shapes that carry a reply: "3Fh code", "code" alone, or the
// spectrum command (reply length known in advance; code not used).
enum class nir_shape { query, get, spectrum };

// A NIR command with reply data: at most `capacity` reply bytes are taken,
// at least min_bytes must arrive (ORV_ERR_TRANSPORT otherwise).
struct nir_read {
    nir_shape shape;
    uint8_t code;
    int capacity;
    int min_bytes;
};

// Sends the command, receives into a scratch buffer of `capacity` bytes,
// checks the length, then decode(data, received). Errors are passed on.
int read_nir(const nir_read &read, reply_decoder decode);

// A NIR command without reply data: up to 8 command bytes and the idle gap
// that ends the (empty) reply.
struct nir_frame {
    uint8_t bytes[8] = {};
    int len = 0;
    int idle_gap_ms = 0;
};
int send_nir_frame(const nir_frame &frame);

// ---------------------------------------------------------------- exports

// A getter that exists on UVVIS_ORV only; late_args_ok are its outputs,
// tested after the protocol.
int get_uvvis(bool late_args_ok, const reg_read &read, reply_decoder decode);

// A getter on both protocols; args_ok are its outputs, tested before the
// protocol. Each protocol has its request and its decoder.
int get_dual(bool args_ok, const reg_read &uvvis, reply_decoder decode_uvvis, const nir_read &nir,
             reply_decoder decode_nir);

// A setter that exists on UVVIS_ORV only.
int set_uvvis(reg_addr at, const payload &value);

// A setter on both protocols.
int set_dual(reg_addr at, const payload &value, const nir_frame &nir);

// ---------------------------------------------------------------- helpers

// Completion poll of the multi-step operations: reads the 2-word control
// register until its status byte (byte 1) says done (AAh: ORV_OK) or failed
// (EEh: ORV_ERR_TRANSPORT); otherwise pauses pause_ms and tries again, at
// most `limit` reads (ORV_ERR_TIMEOUT). Exchange errors and replies shorter
// than 8 bytes end it (the error, or ORV_ERR_TRANSPORT).
int poll_until_done(reg_addr control, int limit, unsigned pause_ms);

// A zero-filled scratch array of n elements for one call, or null when it
// cannot be allocated (the caller reports ORV_ERR_INVALID_PARAM).
template <class T>
std::unique_ptr<T[]> make_scratch(std::size_t n) {
    return std::unique_ptr<T[]>(new (std::nothrow) T[n == 0 ? 1 : n]());
}
