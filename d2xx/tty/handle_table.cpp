#include "handle_table.h"

namespace orvtty {

namespace {

constexpr uintptr_t HANDLE_STEP = 0x10;

FT_HANDLE as_handle(uintptr_t value) { return reinterpret_cast<FT_HANDLE>(value); }

}  // namespace

bool HandleTable::claim(const std::string &key) {
    std::lock_guard<std::mutex> lock(mutex_);
    return taken_.emplace(key, 0).second;
}

void HandleTable::unclaim(const std::string &key) {
    std::lock_guard<std::mutex> lock(mutex_);
    taken_.erase(key);
}

FT_HANDLE HandleTable::add(OpenDevice device) {
    std::lock_guard<std::mutex> lock(mutex_);
    const uintptr_t handle = next_ += HANDLE_STEP;
    const std::string key = device.key;
    open_.emplace(handle, std::move(device));
    taken_[key] = handle;
    return as_handle(handle);
}

std::optional<OpenDevice> HandleTable::find(FT_HANDLE handle) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = open_.find(reinterpret_cast<uintptr_t>(handle));
    if (it == open_.end()) return std::nullopt;
    return it->second;
}

std::optional<OpenDevice> HandleTable::take(FT_HANDLE handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = open_.find(reinterpret_cast<uintptr_t>(handle));
    if (it == open_.end()) return std::nullopt;
    OpenDevice device = std::move(it->second);
    open_.erase(it);
    taken_.erase(device.key);
    return device;
}

FT_HANDLE HandleTable::handle_of(const std::string &key) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = taken_.find(key);
    return it == taken_.end() ? nullptr : as_handle(it->second);
}

HandleTable &handle_table() {
    static HandleTable table;
    return table;
}

}  // namespace orvtty
