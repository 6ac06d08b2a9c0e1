// Windows implementation of orv's platform layer.
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

}  // namespace orvcli::platform
