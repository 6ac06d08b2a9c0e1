// Text taken from fixed-size byte fields: terminator search, UTF-8 check,
// white-space trimming and ASCII case-insensitive comparison.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "result.h"

namespace velmar {

// True when the bytes are well-formed UTF-8 (no overlong forms, no
// surrogates, nothing above U+10FFFF).
bool is_valid_utf8(std::string_view bytes);

// The bytes before the first NUL (all `capacity` bytes when there is none) as
// owned text; TransportError when they are not UTF-8. Nothing is trimmed.
Result<std::string> text_from_buffer(const void *buffer, std::size_t capacity);

// The text without the characters of the Unicode White_Space set at either end.
std::string_view trim_white_space(std::string_view text);

// Byte-wise equality ignoring the case of ASCII letters.
bool equals_ignore_ascii_case(std::string_view a, std::string_view b);

}  // namespace velmar
