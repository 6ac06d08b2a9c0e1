// The handles this process has open: which tty each stands for, and which
// device nodes are taken. Held only while a handle is looked up, never while
// a read or write waits.
#ifndef ORV_TTY_HANDLE_TABLE_H
#define ORV_TTY_HANDLE_TABLE_H

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "ftd2xx.h"
#include "tty_port.h"

namespace orvtty {

struct OpenDevice {
    std::shared_ptr<TtyPort> port;
    std::string key;       // the resolved device node
    std::string port_dir;  // the usb-serial port folder in sysfs
};

class HandleTable {
public:
    // Takes `key` for an open in progress; false when this process has it
    // open or is opening it.
    bool claim(const std::string &key);
    // Gives a claim back after a failed open.
    void unclaim(const std::string &key);
    // A new handle for a claimed key. Handles are never reused, so a stale
    // one is refused rather than reaching another device.
    FT_HANDLE add(OpenDevice device);
    std::optional<OpenDevice> find(FT_HANDLE handle) const;
    // Removes the handle and frees its key.
    std::optional<OpenDevice> take(FT_HANDLE handle);
    // The handle that has `key` open, or null.
    FT_HANDLE handle_of(const std::string &key) const;

private:
    mutable std::mutex mutex_;
    std::map<uintptr_t, OpenDevice> open_;
    std::map<std::string, uintptr_t> taken_;  // key -> handle, 0 while opening
    uintptr_t next_ = 0x7e7700;
};

HandleTable &handle_table();

}  // namespace orvtty

#endif
