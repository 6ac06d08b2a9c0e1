#include "text.h"

#include <cstring>
#include <optional>

namespace velmar {
namespace {

struct Decoded {
    char32_t code_point;
    std::size_t length;
};

// Decodes one well-formed UTF-8 sequence at the start of `bytes`.
std::optional<Decoded> decode_one(std::string_view bytes) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return Decoded{lead, 1};

    std::size_t length;
    char32_t value;
    char32_t minimum;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, minimum = 0x10000;
    } else {
        return std::nullopt;  // continuation byte or invalid lead byte
    }
    if (bytes.size() < length) return std::nullopt;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return std::nullopt;
        value = (value << 6) | (byte(i) & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return std::nullopt;
    return Decoded{value, length};
}

bool is_white_space(char32_t c) {
    switch (c) {
    case 0x09:
    case 0x0A:
    case 0x0B:
    case 0x0C:
    case 0x0D:
    case 0x20:
    case 0x85:
    case 0xA0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000: return true;
    default: return c >= 0x2000 && c <= 0x200A;
    }
}

// Length of the white-space character at the start of `text`, or 0.
std::size_t leading_space_length(std::string_view text) {
    auto decoded = decode_one(text);
    return decoded && is_white_space(decoded->code_point) ? decoded->length : 0;
}

// Length of the white-space character at the end of `text`, or 0.
std::size_t trailing_space_length(std::string_view text) {
    std::size_t start = text.size();
    // Step back over at most three continuation bytes to the lead byte.
    while (start > 0 && text.size() - start < 4) {
        --start;
        if ((static_cast<unsigned char>(text[start]) & 0xC0) != 0x80) break;
    }
    auto decoded = decode_one(text.substr(start));
    if (!decoded || decoded->length != text.size() - start) return 0;
    return is_white_space(decoded->code_point) ? decoded->length : 0;
}

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool is_valid_utf8(std::string_view bytes) {
    while (!bytes.empty()) {
        auto decoded = decode_one(bytes);
        if (!decoded) return false;
        bytes.remove_prefix(decoded->length);
    }
    return true;
}

Result<std::string> text_from_buffer(const void *buffer, std::size_t capacity) {
    if (capacity == 0) return std::string();
    const char *bytes = static_cast<const char *>(buffer);
    const void *terminator = std::memchr(bytes, '\0', capacity);
    const std::size_t length =
        terminator != nullptr
            ? static_cast<std::size_t>(static_cast<const char *>(terminator) - bytes)
            : capacity;
    std::string_view text(bytes, length);
    if (!is_valid_utf8(text)) return SdkError::TransportError;
    return std::string(text);
}

std::string_view trim_white_space(std::string_view text) {
    while (std::size_t n = leading_space_length(text)) text.remove_prefix(n);
    while (std::size_t n = trailing_space_length(text)) text.remove_suffix(n);
    return text;
}

bool equals_ignore_ascii_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
    }
    return true;
}

}  // namespace velmar
