// The locks of the library and how a call holds one: every export holds the
// lock of the device it works on (device_state.h) for the whole call, so
// calls on one device never mix their exchanges and calls on different
// devices never wait for each other. Library-internal.
#pragma once

#include <mutex>

#include "link/device_state.h"

// Runs call() with `lock` held and returns its result. A lock the C++ library
// cannot take is reported with an exception, which must not leave the
// library: `unlockable` is returned instead.
template <class Lock, class Result, class Call>
Result locked_call(Lock &lock, Result unlockable, Call &&call) noexcept {
    try {
        std::lock_guard<Lock> hold(lock);
        return call();
    } catch (...) {
        return unlockable;
    }
}

// Runs call(device) with the device's lock held (ORV_ERR_GENERIC when it
// cannot be taken).
template <class Call>
int with_device_lock(orv_device &device, Call &&call) noexcept {
    return locked_call(device.lock, int{ORV_ERR_GENERIC}, [&] { return call(device); });
}

// A process-wide export: the built-in device, under its lock.
template <class Call>
int on_builtin_device(Call &&call) noexcept {
    return with_device_lock(builtin_device(), call);
}

// A handle twin: a null handle is ORV_ERR_NOT_OPEN.
template <class Call>
int on_handle(orv_device *handle, Call &&call) noexcept {
    if (handle == nullptr) return ORV_ERR_NOT_OPEN;
    return with_device_lock(*handle, call);
}
