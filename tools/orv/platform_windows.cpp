// Windows implementation of orv's platform layer.
// winsock2.h before windows.h, which would bring the old winsock otherwise.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

// After windows.h: RtlGenRandom (advapi32's SystemFunction036).
#include <ntsecapi.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdlib>

#include "platform.h"

namespace orvcli::platform {
namespace {

std::function<void()> g_interrupt_handler;

// Runs on a thread the system creates for the event.
BOOL WINAPI note_interrupt(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    g_interrupt_handler();
    return TRUE;
}

}  // namespace

void set_environment(const char *name, const std::string &value) {
    // Both copies: the process block (other modules) and the C runtime's (getenv).
    SetEnvironmentVariableA(name, value.c_str());
    _putenv_s(name, value.c_str());
}

std::string user_name() {
    char name[257];  // UNLEN + 1
    DWORD size = sizeof name;
    if (!GetUserNameA(name, &size) || size == 0) return "";
    return std::string(name, size - 1);  // size counts the terminating zero
}

std::string environment_value(const char *name) {
    const char *value = std::getenv(name);
    return value ? value : "";
}

std::string recorder_path() { return ""; }

bool is_terminal(std::FILE *stream) { return _isatty(_fileno(stream)) != 0; }

void on_interrupt(std::function<void()> handler) {
    g_interrupt_handler = std::move(handler);
    SetConsoleCtrlHandler(note_interrupt, TRUE);
}

void prepare_standard_streams() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

bool random_bytes(unsigned char *out, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ULONG chunk = static_cast<ULONG>(std::min<std::size_t>(size - done, 1u << 20));
        if (!RtlGenRandom(out + done, chunk)) return false;
        done += chunk;
    }
    return true;
}

// The live page's connections: the same calls as on POSIX through winsock
// (cpp-httplib starts winsock for the process).
SocketReady wait_socket(Socket socket, bool for_writing, int timeout_ms) {
    WSAPOLLFD entry{static_cast<SOCKET>(socket), static_cast<SHORT>(for_writing ? POLLOUT : POLLIN),
                    0};
    const int result = WSAPoll(&entry, 1, timeout_ms < 0 ? 0 : timeout_ms);
    if (result == 0) return SocketReady::timeout;
    if (result < 0) return SocketReady::failed;
    // A hang-up with nothing left to read is ready too: the next receive says 0.
    return SocketReady::ready;
}

long receive_some(Socket socket, char *buffer, std::size_t size) {
    const int chunk = static_cast<int>(std::min<std::size_t>(size, 1u << 30));
    return ::recv(static_cast<SOCKET>(socket), buffer, chunk, 0);
}

long send_some(Socket socket, const char *data, std::size_t size) {
    const int chunk = static_cast<int>(std::min<std::size_t>(size, 1u << 30));
    return ::send(static_cast<SOCKET>(socket), data, chunk, 0);
}

void close_connection(Socket socket) {
    ::shutdown(static_cast<SOCKET>(socket), SD_BOTH);
    ::closesocket(static_cast<SOCKET>(socket));
}

void socket_address(Socket socket, bool peer, std::string &ip, int &port) {
    ip.clear();
    port = 0;
    sockaddr_storage address{};
    int length = sizeof(address);
    auto *raw = reinterpret_cast<sockaddr *>(&address);
    const SOCKET handle = static_cast<SOCKET>(socket);
    if ((peer ? ::getpeername(handle, raw, &length) : ::getsockname(handle, raw, &length)) != 0)
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
