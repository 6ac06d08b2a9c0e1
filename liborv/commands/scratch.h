// Per-call scratch buffers of the commands. Library-internal.
#pragma once

#include <cstddef>
#include <memory>
#include <new>

// A zero-filled scratch array of n elements for one call, or null when it
// cannot be allocated (the caller reports ORV_ERR_INVALID_PARAM).
template <class T>
std::unique_ptr<T[]> make_scratch(std::size_t n) {
    return std::unique_ptr<T[]>(new (std::nothrow) T[n == 0 ? 1 : n]());
}
