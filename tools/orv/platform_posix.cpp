// POSIX implementation of orv's platform layer.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
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

}  // namespace orvcli::platform
