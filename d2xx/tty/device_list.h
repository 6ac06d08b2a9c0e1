// The device list of the last FT_CreateDeviceInfoList, which
// FT_GetDeviceInfoList hands out. (FT_Open lists anew, as D2XX does: its
// index counts the bridges present when it is called.)
#ifndef ORV_TTY_DEVICE_LIST_H
#define ORV_TTY_DEVICE_LIST_H

#include <mutex>
#include <vector>

#include "sysfs_listing.h"

namespace orvtty {

class DeviceList {
public:
    // Lists the bridges anew (roots from the environment); returns how many.
    size_t refresh();
    // The entries; listed first when nothing has been listed yet.
    std::vector<ListedBridge> entries();

private:
    std::mutex mutex_;
    bool listed_ = false;
    std::vector<ListedBridge> bridges_;
};

DeviceList &device_list();

}  // namespace orvtty

#endif
