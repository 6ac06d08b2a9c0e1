#include "sysfs_tree.h"

#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "environment.h"

namespace fs = std::filesystem;

namespace orvtty::tree {

namespace {

const char *const USB_HOST = "devices/pci0000:00/0000:00:14.0";

std::string hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", value & 0xffffu);
    return text;
}

void write_file(const fs::path &path, const std::string &text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text << '\n';
    if (!out) throw std::runtime_error("fake sysfs: cannot write " + path.string());
}

// A relative link, as sysfs has them, so the tree resolves inside its root.
void link_to(const fs::path &target, const fs::path &link) {
    fs::create_symlink(fs::relative(target, link.parent_path()), link);
}

fs::path usb_dir(const fs::path &sys, const SysfsBridge &b) {
    const std::string bus = std::to_string(b.busnum);
    return sys / USB_HOST / ("usb" + bus) / (bus + "-" + b.devpath);
}

fs::path interface_dir(const fs::path &sys, const SysfsBridge &b) {
    const fs::path usb = usb_dir(sys, b);
    return usb / (usb.filename().string() + ":1." + std::to_string(b.interface));
}

bool valid_name(const std::string &name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

}  // namespace

SysfsTree::SysfsTree(fs::path root) : root_(std::move(root)) {
    if (fs::exists(root_) && !(fs::is_directory(root_) && fs::is_empty(root_))) {
        throw std::runtime_error("fake sysfs: " + root_.string() + " exists and is not empty");
    }
    fs::create_directories(sysfs_root() / "class/tty");
    fs::create_directories(dev_root());
}

SysfsTree::~SysfsTree() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

void SysfsTree::add(const SysfsBridge &b) {
    if (!valid_name(b.tty) || !valid_name(b.driver) || b.devpath.empty()) {
        throw std::invalid_argument("fake sysfs: bad tty, driver or devpath for '" + b.tty + "'");
    }
    if (bridges_.count(b.tty) ||
        fs::exists(fs::symlink_status(sysfs_root() / "class/tty" / b.tty))) {
        throw std::invalid_argument("fake sysfs: tty '" + b.tty + "' exists already");
    }
    const fs::path sys = sysfs_root();
    try {
        const fs::path usb = usb_dir(sys, b);
        const fs::path interface = interface_dir(sys, b);
        const fs::path port = interface / b.tty;
        const fs::path class_device = port / "tty" / b.tty;
        const fs::path driver = sys / "bus/usb-serial/drivers" / b.driver;
        fs::create_directories(class_device);
        fs::create_directories(driver);
        write_file(usb / "idVendor", hex4(b.vid));
        write_file(usb / "idProduct", hex4(b.pid));
        write_file(usb / "bcdDevice", hex4(b.bcd_device));
        write_file(usb / "busnum", std::to_string(b.busnum));
        write_file(usb / "devpath", b.devpath);
        write_file(usb / "speed", std::to_string(b.speed_mbps));
        if (b.serial) write_file(usb / "serial", *b.serial);
        if (b.product) write_file(usb / "product", *b.product);
        char number[4];
        std::snprintf(number, sizeof number, "%02x", b.interface & 0xffu);
        write_file(interface / "bInterfaceNumber", number);
        write_file(port / "latency_timer", "16");
        link_to(driver, port / "driver");
        link_to(port, class_device / "device");
        link_to(class_device, sys / "class/tty" / b.tty);
        fs::create_symlink(b.node, dev_root() / b.tty);
    } catch (...) {
        remove_pieces(b);
        throw;
    }
    bridges_.emplace(b.tty, b);
}

void SysfsTree::add_virtual_tty(const std::string &name) {
    if (!valid_name(name)) throw std::invalid_argument("fake sysfs: bad tty name '" + name + "'");
    const fs::path device = sysfs_root() / "devices/virtual/tty" / name;
    fs::create_directories(device);
    write_file(device / "dev", "4:1");
    link_to(device, sysfs_root() / "class/tty" / name);
}

void SysfsTree::remove(const std::string &tty) {
    remove_pieces(bridge(tty));
    bridges_.erase(tty);
}

void SysfsTree::remove_pieces(const SysfsBridge &b) {
    std::error_code ignored;
    const fs::path sys = sysfs_root();
    fs::remove(sys / "class/tty" / b.tty, ignored);
    fs::remove(dev_root() / b.tty, ignored);
    fs::remove_all(interface_dir(sys, b), ignored);
    // The USB device goes with its last interface.
    const fs::path usb = usb_dir(sys, b);
    bool interfaces_left = false;
    for (const auto &entry : fs::directory_iterator(usb, ignored)) {
        interfaces_left = interfaces_left || entry.is_directory(ignored);
    }
    if (!interfaces_left) fs::remove_all(usb, ignored);
}

const SysfsBridge &SysfsTree::bridge(const std::string &tty) const {
    const auto it = bridges_.find(tty);
    if (it == bridges_.end()) throw std::invalid_argument("fake sysfs: no tty '" + tty + "'");
    return it->second;
}

fs::path SysfsTree::usb_device_dir(const std::string &tty) const {
    return usb_dir(sysfs_root(), bridge(tty));
}

fs::path SysfsTree::port_dir(const std::string &tty) const {
    return interface_dir(sysfs_root(), bridge(tty)) / tty;
}

std::vector<std::pair<std::string, std::string>> SysfsTree::environment() const {
    return {{SYSFS_ROOT_VARIABLE, sysfs_root().string()}, {DEV_ROOT_VARIABLE, dev_root().string()}};
}

}  // namespace orvtty::tree
