// Hands a reply's data bytes to the code that decodes them. Library-internal.
#pragma once

#include <cstdint>
#include <memory>
#include <type_traits>

#include "orv.h"

// Holds a reference to a callable taking (const uint8_t *data, int len) and
// returning either nothing or a result code. The callable must outlive the
// call it is passed to.
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
