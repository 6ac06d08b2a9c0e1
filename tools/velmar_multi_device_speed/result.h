// A value or an error, for operations that fail with exactly one error kind.
#pragma once

#include <cassert>
#include <utility>
#include <variant>

#include "sdk_error.h"

namespace velmar {

// The success value of operations that return nothing.
struct Unit {};

template <class T, class E = SdkError>
class [[nodiscard]] Result {
public:
    Result(T success) : state_(std::in_place_index<0>, std::move(success)) {}
    Result(E failure) : state_(std::in_place_index<1>, std::move(failure)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T &value() & {
        assert(ok());
        return std::get<0>(state_);
    }
    const T &value() const & {
        assert(ok());
        return std::get<0>(state_);
    }
    T &&value() && {
        assert(ok());
        return std::get<0>(std::move(state_));
    }
    const E &error() const {
        assert(!ok());
        return std::get<1>(state_);
    }

private:
    std::variant<T, E> state_;
};

using Status = Result<Unit>;

}  // namespace velmar
