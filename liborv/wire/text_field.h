// The fixed-width text fields of the wire (model, serial numbers, versions)
// and of the D2XX device records, copied into a caller's buffer.
#pragma once

#include <cstdint>

// Bounded, always terminated copy of at most n bytes of src (which may hold
// zero bytes) into dst of size dst_size (>= 1): copies min(n, size - 1).
// Nothing happens when dst is null or dst_size < 1.
void copy_text_field(char *dst, int32_t dst_size, const uint8_t *src, int32_t n);

// copy_text_field of a terminated text.
void copy_text(char *dst, int32_t dst_size, const char *text);
