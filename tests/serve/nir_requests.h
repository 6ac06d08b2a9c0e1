// NIR_LEGACY frames the bridge tests send and expect, built with the
// simulator's own framing.
#pragma once

#include <string>

#include "nir_instrument.h"

// The version command ("56" and its CRC-16).
inline orvsim::Bytes version_request() { return orvsim::nir_frame(0x56, {}); }

inline orvsim::Bytes version_answer(const std::string &text) {
    return orvsim::nir_frame(0x06, orvsim::Bytes(text.begin(), text.end()));
}
