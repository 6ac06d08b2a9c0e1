// The UVVIS_ORV exchange with an open device: one request packet out, one
// response packet back, checked. Library-internal.
#pragma once

#include <cstdint>

#include "link/device_state.h"
#include "link/timeouts.h"

// One UVVIS_ORV request: what to send, how much to expect back and how long
// to wait for it. The command that makes it knows what the register means;
// the exchange only moves the bytes.
struct uvvis_request {
    enum class kind : uint8_t { read, write };
    kind op;
    uint8_t reg;
    uint32_t addr;
    // A write's data bytes: at most ORV_MAX_WRITE_DATA, padded to whole words.
    const uint8_t *payload = nullptr;
    int payload_len = 0;
    // A read's reply size, in 32-bit words.
    int reply_words = 0;
    // How long the reply may take after the request went out.
    uint32_t deadline_ms = ORV_REGISTER_READ_TIMEOUT_MS;
    // Print one timing line of the exchange (write, header, body) on stdout.
    bool trace = false;
};

// Where a reply's data bytes go: at most `capacity` of them to `data` (when
// not null), their number to *len (when not null).
struct uvvis_reply {
    uint8_t *data = nullptr;
    int capacity = 0;
    int *len = nullptr;
};

// The exchange: a write that does not fit is ORV_ERR_INVALID_PARAM before
// anything is sent. On ORV_OK the reply's data bytes, cut to the capacity,
// are copied; the reply is written only on success. Another request's late
// answer is dropped and reading goes on until the deadline.
int uvvis_exchange(const orv_device &device, const uvvis_request &request,
                   const uvvis_reply &reply);
