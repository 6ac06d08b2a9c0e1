// The operating-system services of orv, one implementation file per system
// (platform_posix.cpp, platform_windows.cpp): environment, terminals,
// interrupts, standard streams, the random source and the live page's
// connections. Nothing else in the program calls the OS directly; the D2XX
// provider is liborv's to load.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

namespace orvcli::platform {

// Whether --provider can work here: on Linux liborv loads the D2XX provider
// named by ORV_D2XX_LIBRARY at run time; on Windows liborv.dll imports
// FTD2XX.dll when it is loaded, before orv could choose another.
#ifdef _WIN32
inline constexpr bool kProviderPathSupported = false;
#else
inline constexpr bool kProviderPathSupported = true;
#endif

// Sets an environment variable of the process, for this process's libraries too.
void set_environment(const char *name, const std::string &value);

// The name the user running the program logged in with; "" when unknown.
std::string user_name();

// The value of an environment variable, "" when it is not set.
std::string environment_value(const char *name);

// The recording D2XX provider that belongs to this program: beside it in the
// build tree (record/), else in the installed private folder; "" when neither
// exists (and always on Windows, where liborv.dll imports FTD2XX.dll).
std::string recorder_path();

// True when the stream is a terminal (a console on Windows).
bool is_terminal(std::FILE *stream);

// Runs handler (on a thread of its own) at every Ctrl-C or termination
// request from now on. Called once.
void on_interrupt(std::function<void()> handler);

// Standard output and error write '\n' unchanged, and a closed pipe is an
// ordinary write error instead of a signal.
void prepare_standard_streams();

// Fills out[0..size) from the system's random source (getrandom, RtlGenRandom);
// false when it fails, and then the bytes must not be used.
bool random_bytes(unsigned char *out, std::size_t size);

// Connections of the live page's server. A socket is what the server
// accepted: a descriptor, or on Windows a winsock SOCKET (an unsigned
// pointer-sized handle).
#ifdef _WIN32
using Socket = std::uintptr_t;
#else
using Socket = int;
#endif
enum class SocketReady { ready, timeout, failed };
// Waits until the socket can be read (or written), at most timeout_ms.
SocketReady wait_socket(Socket socket, bool for_writing, int timeout_ms);
// One recv or send: the byte count, 0 when the peer closed (receive), < 0 on
// an error. Neither waits when wait_socket said ready.
long receive_some(Socket socket, char *buffer, std::size_t size);
long send_some(Socket socket, const char *data, std::size_t size);
// Shuts the connection down both ways and closes the socket.
void close_connection(Socket socket);
// The numeric address and port of the peer (or of this end); "" and 0 when unknown.
void socket_address(Socket socket, bool peer, std::string &ip, int &port);

}  // namespace orvcli::platform
