// Tests of the tty provider: a fake sysfs tree in a temporary folder with
// bridges on ptys, the provider pointed at it, and a probe program that
// opens a device from another process.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ftd2xx.h"
#include "pty_peer.h"
#include "sysfs_tree.h"

namespace ttytest {

using orvtty::tree::SysfsBridge;
using Clock = std::chrono::steady_clock;

inline double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct ProbeResult {
    int exit_status = -1;  // the FT_Open status, or -1 when it did not exit normally
    std::string stderr_text;
};

class TtyProvider : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A bridge on a new pty (b.node is set to it); returns the pty's peer.
    PtyPeer &plug(SysfsBridge b);
    // FT_Open that must succeed; the handle is closed after the test.
    FT_HANDLE open_device(int index);
    // FT_CreateDeviceInfoList and FT_GetDeviceInfoList.
    std::vector<FT_DEVICE_LIST_INFO_NODE> list();
    // The descriptor the provider holds on the peer's tty (not `except`, the
    // test's own), or -1.
    int provider_fd(const PtyPeer &peer, int except = -1) const;
    // Waits until the provider's descriptor has input (without taking it).
    bool wait_for_input(const PtyPeer &peer, std::chrono::milliseconds wait) const;
    // Runs the probe program: lists, opens `index`, closes, exits with the
    // FT_Open status; as another user when `uid` is given (needs root).
    ProbeResult run_probe(int index, std::optional<uid_t> uid, bool debug);

    std::filesystem::path folder;
    std::unique_ptr<orvtty::tree::SysfsTree> tree;
    std::vector<std::unique_ptr<PtyPeer>> peers;
    std::vector<FT_HANDLE> opened;
};

// One bridge on a pty, open as `handle`.
class OpenBridge : public TtyProvider {
protected:
    void SetUp() override;

    PtyPeer *peer = nullptr;
    FT_HANDLE handle = nullptr;
};

}  // namespace ttytest
