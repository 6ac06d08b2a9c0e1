#include "provider_fixture.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "environment.h"
#include "provider_list.h"

extern char **environ;

namespace ttytest {

namespace fs = std::filesystem;

void TtyProvider::SetUp() {
    std::string pattern = (fs::temp_directory_path() / "orv-tty-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder = pattern;
    // Readable by the probe when it runs as another user.
    chmod(folder.c_str(), 0755);
    tree = std::make_unique<orvtty::tree::SysfsTree>(folder / "tree");
    for (const auto &[name, value] : tree->environment()) setenv(name.c_str(), value.c_str(), 1);
    unsetenv(orvtty::DEBUG_VARIABLE);
}

void TtyProvider::TearDown() {
    for (FT_HANDLE handle : opened) FT_Close(handle);
    opened.clear();
    peers.clear();
    tree.reset();
    unsetenv(orvtty::SYSFS_ROOT_VARIABLE);
    unsetenv(orvtty::DEV_ROOT_VARIABLE);
    unsetenv(orvtty::DEBUG_VARIABLE);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

PtyPeer &TtyProvider::plug(SysfsBridge b) {
    peers.push_back(std::make_unique<PtyPeer>());
    b.node = peers.back()->tty_path();
    tree->add(b);
    return *peers.back();
}

FT_HANDLE TtyProvider::open_device(int index) {
    FT_HANDLE handle = nullptr;
    EXPECT_EQ(FT_Open(index, &handle), FT_STATUS{FT_OK}) << "index " << index;
    if (handle) opened.push_back(handle);
    return handle;
}

std::vector<FT_DEVICE_LIST_INFO_NODE> TtyProvider::list() { return orvtest::provider_list(); }

int TtyProvider::provider_fd(const PtyPeer &peer, int except) const {
    for (const auto &entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const int fd = std::stoi(entry.path().filename().string());
        if (fd != except && fs::read_symlink(entry.path(), error) == peer.tty_path()) return fd;
    }
    return -1;
}

bool TtyProvider::wait_for_input(const PtyPeer &peer, std::chrono::milliseconds wait) const {
    pollfd p{provider_fd(peer), POLLIN, 0};
    return p.fd >= 0 && poll(&p, 1, static_cast<int>(wait.count())) == 1;
}

ProbeResult TtyProvider::run_probe(int index, std::optional<uid_t> uid, bool debug) {
    const std::string err_path = (folder / "probe.err").string();
    std::vector<std::string> args = {ORV_TTY_PROBE, std::to_string(index)};
    if (uid) args.push_back(std::to_string(*uid));
    std::vector<char *> argv;
    for (std::string &arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    if (debug) setenv(orvtty::DEBUG_VARIABLE, "1", 1);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    unsetenv(orvtty::DEBUG_VARIABLE);

    ProbeResult result;
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << argv[0];
        return result;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
    std::ifstream err(err_path);
    std::ostringstream text;
    text << err.rdbuf();
    result.stderr_text = text.str();
    return result;
}

void OpenBridge::SetUp() {
    TtyProvider::SetUp();
    peer = &plug(SysfsBridge{});
    handle = open_device(0);
    ASSERT_NE(handle, nullptr);
}

}  // namespace ttytest
