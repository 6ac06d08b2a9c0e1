// Peak resident memory from /proc/self/status (VmHWM, in KiB). getrusage's
// ru_maxrss would not do: Linux carries the high-water mark of the process
// image that ran before exec over into it, so a program started from a large
// parent (a Python script) reports the parent's size.
#include <cstdio>
#include <cstring>

#include "peak_rss.h"

namespace orvbench {

long peak_rss_kib() {
    std::FILE *status = std::fopen("/proc/self/status", "r");
    if (status == nullptr) return -1;
    long kib = -1;
    char line[256];
    while (std::fgets(line, sizeof line, status) != nullptr) {
        if (std::strncmp(line, "VmHWM:", 6) == 0) {
            if (std::sscanf(line + 6, "%ld", &kib) != 1) kib = -1;
            break;
        }
    }
    std::fclose(status);
    return kib;
}

}  // namespace orvbench
