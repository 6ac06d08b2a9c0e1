#include "device_list.h"

namespace orvtty {

size_t DeviceList::refresh() {
    std::vector<ListedBridge> fresh = list_bridges(roots_from_environment());
    std::lock_guard<std::mutex> lock(mutex_);
    bridges_ = std::move(fresh);
    listed_ = true;
    return bridges_.size();
}

std::vector<ListedBridge> DeviceList::entries() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (listed_) return bridges_;
    }
    refresh();
    std::lock_guard<std::mutex> lock(mutex_);
    return bridges_;
}

DeviceList &device_list() {
    static DeviceList list;
    return list;
}

}  // namespace orvtty
