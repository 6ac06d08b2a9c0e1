// The session of the exchange fuzz target and the checks its calls share.
// Internal to the fuzz targets; the entry point is exchange_session.h.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "exchange_session.h"
#include "orv.h"
#include "support/guarded.h"
#include "support/result_codes.h"

// orv_<name>(args...) on the built-in device, or orv_device_<name>(handle,
// args...) when the session drives a handle.
#define SESSION_CALL(name, ...)                                             \
    (config_.handle ? orv_device_##name(handle_ __VA_OPT__(, ) __VA_ARGS__) \
                    : orv_##name(__VA_ARGS__))

namespace fuzz {

// A text field holds its terminating zero.
inline bool terminated(const char *field, size_t width) {
    return std::memchr(field, '\0', width) != nullptr;
}

// What one session has learnt so far, and the checks every call shares.
class Session {
public:
    explicit Session(const SessionConfig &config) : config_(config) {}

    void run();

private:
    // Every caller buffer is intact after every call, and rc is allowed.
    void expect(const char *call, int rc, uint32_t allowed) {
        if (trace_) std::fprintf(stderr, "%-28s %d\n", call, rc);
        guards_.check_all();
        expect_code(rc, allowed);
    }
    // A getter with one output: allowed codes, and a failure leaves the output as it was.
    template <class T>
    void expect_getter(const char *call, int rc, uint32_t allowed, const Guarded<T> &out) {
        expect(call, rc, allowed);
        if (rc != ORV_OK) FUZZ_CHECK(out.untouched());
    }
    bool nir() const { return protocol_ == ORV_PROTOCOL_NIR_LEGACY; }
    // A UVVIS-only export on a NIR_LEGACY device: refused, output untouched.
    template <class T>
    bool refused_on_nir(const char *call, int rc, const Guarded<T> &out) {
        if (!nir()) return false;
        expect(call, rc, UNSUPPORTED);
        FUZZ_CHECK(out.untouched());
        return true;
    }
    // An export that returns a byte count (0..most) or an exchange error.
    template <class T>
    void expect_byte_count(const char *call, int rc, int32_t most, const Guarded<T> &out) {
        if (rc < 0) {
            expect_getter(call, rc, exchange_errors_, out);
            return;
        }
        if (trace_) std::fprintf(stderr, "%-28s %d\n", call, rc);
        guards_.check_all();
        FUZZ_CHECK(rc <= most);
    }
    // A getter of UVVIS_ORV only (short replies are ORV_ERR_TRANSPORT too).
    template <class T>
    void expect_uvvis_getter(const char *call, int rc, const Guarded<T> &out) {
        if (!refused_on_nir(call, rc, out)) expect_getter(call, rc, OK | exchange_errors_, out);
    }

    // The fixed run (session_core.cpp).
    bool open();
    // The session's device still answers; the built-in one is open only when
    // it is the session's.
    void expect_still_open();
    void close();
    void device_info();
    void wavelengths();
    void spectrum();
    void selection();
    void flash_read();
    void external_spectrum();
    void stored_settings();
    // The optional groups (session_groups.cpp).
    void identity();
    void acquisition();
    void maintenance();
    // A setter: ORV_ERR_UNSUPPORTED on NIR_LEGACY when it is UVVIS_ORV only.
    void expect_setter(const char *call, int rc, bool uvvis_only) {
        expect(call, rc, uvvis_only && nir() ? UNSUPPORTED : OK | exchange_errors_);
    }
    // A text getter's buffer: refused below min_size, else terminated on success.
    void expect_text(const char *call, int rc, uint32_t allowed, int32_t min_size,
                     const Guarded<char> &text);

    const SessionConfig &config_;
    const bool trace_ = std::getenv("ORV_FUZZ_TRACE") != nullptr;
    GuardSet guards_;
    orv_device *handle_ = nullptr;
    int32_t protocol_ = ORV_PROTOCOL_UNKNOWN;
    uint32_t exchange_errors_ = 0;
    bool selected_ = false;
    bool range_known_ = false;
    double range_low_ = 0.0;
    double range_high_ = 0.0;
};

}  // namespace fuzz
