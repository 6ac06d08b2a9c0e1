// POSIX implementation of orv's platform layer.
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform.h"

namespace orvcli::platform {
namespace {

int g_interrupt_pipe[2] = {-1, -1};

// Async-signal-safe: only write(2). The thread of on_interrupt does the rest.
extern "C" void note_interrupt(int) {
    const char byte = 1;
    const ssize_t written = write(g_interrupt_pipe[1], &byte, 1);
    (void)written;
}

}  // namespace

void set_environment(const char *name, const std::string &value) {
    ::setenv(name, value.c_str(), 1);
}

std::string user_name() {
    passwd entry{};
    passwd *found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found &&
        found->pw_name)
        return found->pw_name;
    const char *name = std::getenv("USER");
    return name ? name : "";
}

std::string environment_value(const char *name) {
    const char *value = std::getenv(name);
    return value ? value : "";
}

std::string recorder_path() {
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return "";
    const std::filesystem::path folder =
        std::filesystem::path(std::string(self, length)).parent_path();
    // The build tree's bin/record/, then the installed <libdir>/orv/record/.
    for (const char *relative : {"record", ORV_RECORDER_FROM_BINDIR}) {
        const std::filesystem::path candidate = folder / relative / "libftd2xx.so";
        std::error_code error;
        if (std::filesystem::is_regular_file(candidate, error)) return candidate.lexically_normal();
    }
    return "";
}

bool is_terminal(std::FILE *stream) { return ::isatty(::fileno(stream)) == 1; }

void on_interrupt(std::function<void()> handler) {
    static std::function<void()> stored;
    stored = std::move(handler);
    if (::pipe(g_interrupt_pipe) != 0) return;  // no handler: Ctrl-C ends the process
    for (int fd : g_interrupt_pipe) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    std::thread([] {
        char byte = 0;
        while (::read(g_interrupt_pipe[0], &byte, 1) == 1) stored();
    }).detach();
    struct sigaction action {};
    action.sa_handler = note_interrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

void prepare_standard_streams() { ::signal(SIGPIPE, SIG_IGN); }

bool random_bytes(unsigned char *out, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::getrandom(out + done, size - done, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

SocketReady wait_socket(Socket socket, bool for_writing, int timeout_ms) {
    pollfd entry{socket, static_cast<short>(for_writing ? POLLOUT : POLLIN), 0};
    const int result = ::poll(&entry, 1, timeout_ms < 0 ? 0 : timeout_ms);
    if (result == 0) return SocketReady::timeout;
    if (result < 0) return errno == EINTR ? SocketReady::timeout : SocketReady::failed;
    // A hang-up with nothing left to read is ready too: the next receive says 0.
    return SocketReady::ready;
}

long receive_some(Socket socket, char *buffer, std::size_t size) {
    return static_cast<long>(::recv(socket, buffer, size, 0));
}

long send_some(Socket socket, const char *data, std::size_t size) {
    return static_cast<long>(::send(socket, data, size, MSG_NOSIGNAL));
}

void close_connection(Socket socket) {
    ::shutdown(socket, SHUT_RDWR);
    ::close(socket);
}

void socket_address(Socket socket, bool peer, std::string &ip, int &port) {
    ip.clear();
    port = 0;
    sockaddr_storage address{};
    socklen_t length = sizeof(address);
    auto *raw = reinterpret_cast<sockaddr *>(&address);
    if ((peer ? ::getpeername(socket, raw, &length) : ::getsockname(socket, raw, &length)) != 0)
        return;
    char host[NI_MAXHOST] = {};
    char service[NI_MAXSERV] = {};
    if (::getnameinfo(raw, length, host, sizeof(host), service, sizeof(service),
                      NI_NUMERICHOST | NI_NUMERICSERV) != 0)
        return;
    ip = host;
    port = std::atoi(service);
}

}  // namespace orvcli::platform
