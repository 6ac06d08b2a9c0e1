// Sets of result codes, for checking that an export answered with one of the
// codes it documents.
#pragma once

#include <cstdint>

#include "orv.h"
#include "support/check.h"

namespace fuzz {

// One bit per result code: bit 0 ORV_OK, bit k the code -k.
constexpr uint32_t code_bit(int rc) { return rc <= 0 && rc >= -31 ? 1u << -rc : 0u; }

inline constexpr uint32_t OK = code_bit(ORV_OK);
inline constexpr uint32_t GENERIC = code_bit(ORV_ERR_GENERIC);
inline constexpr uint32_t TRANSPORT = code_bit(ORV_ERR_TRANSPORT);
inline constexpr uint32_t INVALID_PARAM = code_bit(ORV_ERR_INVALID_PARAM);
inline constexpr uint32_t OPEN_FAILED = code_bit(ORV_ERR_OPEN_FAILED);
inline constexpr uint32_t CRC_MISMATCH = code_bit(ORV_ERR_CRC_MISMATCH);
inline constexpr uint32_t INVALID_PACKET = code_bit(ORV_ERR_INVALID_PACKET);
inline constexpr uint32_t TIMEOUT = code_bit(ORV_ERR_TIMEOUT);
inline constexpr uint32_t WRITE_PROTECTED = code_bit(ORV_ERR_WRITE_PROTECTED);
inline constexpr uint32_t UNSUPPORTED = code_bit(ORV_ERR_UNSUPPORTED);

// What a failed exchange can report, per protocol: a UVVIS_ORV packet can be
// malformed or carry a refusing reply code; a NIR_LEGACY reply only fails by
// length, CRC-16, acknowledgement or silence.
inline constexpr uint32_t UVVIS_EXCHANGE_ERRORS =
    TRANSPORT | TIMEOUT | CRC_MISMATCH | INVALID_PACKET | WRITE_PROTECTED;
inline constexpr uint32_t NIR_EXCHANGE_ERRORS = TRANSPORT | TIMEOUT | CRC_MISMATCH;

inline void expect_code(int rc, uint32_t allowed) { FUZZ_CHECK((code_bit(rc) & allowed) != 0); }

}  // namespace fuzz
