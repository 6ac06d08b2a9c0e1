// A fake sysfs tree and device folder for the tty provider, with the layout
// the kernel gives FTDI bridges served by ftdi_sio:
//
//   sys/class/tty/<tty>                  -> ../../devices/.../<tty>/tty/<tty>
//   sys/devices/.../usb<bus>/<bus>-<devpath>             the USB device:
//       idVendor idProduct bcdDevice serial product busnum devpath speed
//   .../<bus>-<devpath>:1.<interface>                   bInterfaceNumber
//   .../<bus>-<devpath>:1.<interface>/<tty>             the usb-serial port:
//       driver -> .../bus/usb-serial/drivers/<driver>, latency_timer
//   .../<tty>/tty/<tty>/device           -> ../../<tty>
//   dev/<tty>                            -> the node (a pty, a real tty)
//
// Tests use it with ptys; a program serving simulated instruments on ptys
// writes the same tree so the provider lists them. Point the provider at it
// with environment().
#ifndef ORV_TTY_SYSFS_TREE_H
#define ORV_TTY_SYSFS_TREE_H

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace orvtty::tree {

struct SysfsBridge {
    std::string tty = "ttyUSB0";
    std::string node;  // what dev/<tty> links to, e.g. a pty's /dev/pts/3
    std::optional<std::string> serial = "FT000001";  // nothing: no attribute
    std::optional<std::string> product = "FT232R USB UART";
    uint16_t vid = 0x0403;
    uint16_t pid = 0x6001;
    uint16_t bcd_device = 0x0600;
    unsigned busnum = 1;
    std::string devpath = "1";  // port path below the root hub, "1.4.2"
    unsigned interface = 0;
    std::string driver = "ftdi_sio";
    unsigned speed_mbps = 12;
};

class SysfsTree {
public:
    // Builds in `root`, which must not exist or be an empty folder; creates
    // root/sys and root/dev. Throws std::runtime_error otherwise.
    explicit SysfsTree(std::filesystem::path root);
    // Removes root and everything below it.
    ~SysfsTree();
    SysfsTree(const SysfsTree &) = delete;
    SysfsTree &operator=(const SysfsTree &) = delete;

    // Adds a bridge's tty (several channels of one chip: same busnum and
    // devpath, other interface). Throws std::invalid_argument for a bad or
    // repeated tty name and leaves nothing of the bridge behind on failure.
    void add(const SysfsBridge &bridge);
    // A tty without a device, like a virtual console.
    void add_virtual_tty(const std::string &name);
    // Unplugs a bridge's tty: its class entry, dev link and interface go, and
    // the USB device when no interface of it is left.
    void remove(const std::string &tty);

    std::filesystem::path sysfs_root() const { return root_ / "sys"; }
    std::filesystem::path dev_root() const { return root_ / "dev"; }
    std::filesystem::path usb_device_dir(const std::string &tty) const;
    std::filesystem::path port_dir(const std::string &tty) const;
    // The variables that point the provider here: {name, value} pairs.
    std::vector<std::pair<std::string, std::string>> environment() const;

private:
    const SysfsBridge &bridge(const std::string &tty) const;
    void remove_pieces(const SysfsBridge &b);

    std::filesystem::path root_;
    std::map<std::string, SysfsBridge> bridges_;
};

}  // namespace orvtty::tree

#endif
