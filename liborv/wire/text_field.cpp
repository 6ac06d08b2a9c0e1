// Copying fixed-width text fields into caller buffers (see text_field.h).
#include "wire/text_field.h"

#include <cstring>

void copy_text_field(char *dst, int32_t dst_size, const uint8_t *src, int32_t n) {
    if (dst == nullptr || dst_size < 1) return;
    int32_t count = n < 0 || src == nullptr ? 0 : (n < dst_size - 1 ? n : dst_size - 1);
    if (count > 0) std::memcpy(dst, src, static_cast<size_t>(count));
    dst[count] = '\0';
}

void copy_text(char *dst, int32_t dst_size, const char *text) {
    copy_text_field(dst, dst_size, reinterpret_cast<const uint8_t *>(text),
                    static_cast<int32_t>(std::strlen(text)));
}
