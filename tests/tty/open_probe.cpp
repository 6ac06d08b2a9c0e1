// tty_open_probe INDEX [UID]: the tty provider from another process. Lists
// the devices, opens INDEX and closes it again; exits with FT_Open's status.
// With UID (run as root) it first becomes that user.
#include <grp.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "ftd2xx.h"

int main(int argc, char **argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: tty_open_probe INDEX [UID]\n");
        return 100;
    }
    alarm(30);  // a probe that hangs fails its test instead of stalling it
    if (argc == 3) {
        const auto uid = static_cast<uid_t>(std::strtoul(argv[2], nullptr, 10));
        if (setgroups(0, nullptr) != 0 || setgid(uid) != 0 || setuid(uid) != 0) return 101;
    }
    DWORD count = 0;
    if (FT_CreateDeviceInfoList(&count) != FT_OK) return 102;
    FT_HANDLE handle = nullptr;
    const FT_STATUS status = FT_Open(std::atoi(argv[1]), &handle);
    if (status == FT_OK) FT_Close(handle);
    return static_cast<int>(status);
}
