// Caller buffers with canaries: every buffer handed to liborv sits between
// two guard zones of known bytes in a heap block of exactly that size, so a
// write past either end is caught by the guards (inside the block) or by
// AddressSanitizer (beyond it). The payload starts out filled with a known
// byte, which tells whether a call wrote to it at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "support/check.h"

namespace fuzz {

inline constexpr size_t GUARD_BYTES = 64;  // a multiple of every payload's alignment
inline constexpr uint8_t GUARD_FILL = 0xA5;
inline constexpr uint8_t PAYLOAD_FILL = 0xCD;

class GuardedBlock {
public:
    explicit GuardedBlock(size_t payload_bytes)
        : size_(payload_bytes), block_(new uint8_t[GUARD_BYTES + payload_bytes + GUARD_BYTES]) {
        std::memset(block_.get(), GUARD_FILL, GUARD_BYTES);
        std::memset(payload(), PAYLOAD_FILL, size_);
        std::memset(payload() + size_, GUARD_FILL, GUARD_BYTES);
    }
    GuardedBlock(const GuardedBlock &) = delete;
    GuardedBlock &operator=(const GuardedBlock &) = delete;

    uint8_t *payload() { return block_.get() + GUARD_BYTES; }
    const uint8_t *payload() const { return block_.get() + GUARD_BYTES; }
    size_t size() const { return size_; }

    bool guards_intact() const {
        return all_equal(block_.get(), GUARD_BYTES, GUARD_FILL) &&
               all_equal(payload() + size_, GUARD_BYTES, GUARD_FILL);
    }
    bool untouched() const { return all_equal(payload(), size_, PAYLOAD_FILL); }

private:
    // Every byte equals value: the first does, and each equals its successor.
    static bool all_equal(const uint8_t *p, size_t n, uint8_t value) {
        return n == 0 || (p[0] == value && std::memcmp(p, p + 1, n - 1) == 0);
    }

    size_t size_;
    std::unique_ptr<uint8_t[]> block_;
};

// n elements of a trivially copyable T inside a guarded block.
template <class T>
class Guarded {
public:
    explicit Guarded(size_t n) : count_(n), block_(n * sizeof(T)) {}
    T *get() { return reinterpret_cast<T *>(block_.payload()); }
    const T *get() const { return reinterpret_cast<const T *>(block_.payload()); }
    T &operator[](size_t i) { return get()[i]; }
    size_t count() const { return count_; }
    const GuardedBlock &block() const { return block_; }
    bool untouched() const { return block_.untouched(); }

private:
    size_t count_;
    GuardedBlock block_;
};

// The buffers of one session; after every call all of them are checked.
class GuardSet {
public:
    template <class T>
    Guarded<T> &add(size_t n) {
        auto *g = new Guarded<T>(n);
        owned_.emplace_back(g, [](void *p) { delete static_cast<Guarded<T> *>(p); });
        blocks_.push_back(&g->block());
        return *g;
    }
    void check_all() const {
        for (const GuardedBlock *b : blocks_) FUZZ_CHECK(b->guards_intact());
    }

private:
    std::vector<std::unique_ptr<void, void (*)(void *)>> owned_;
    std::vector<const GuardedBlock *> blocks_;
};

}  // namespace fuzz
