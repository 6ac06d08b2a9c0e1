// The recording provider's state: the real provider it forwards to, the
// capture it writes, and which list position each open handle stands for.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "capture.h"
#include "ftd2xx.h"

namespace orvrecord {

// The environment variables the recorder reads (at its first call).
inline constexpr const char *kCaptureVariable = "ORV_RECORD_FILE";
inline constexpr const char *kProviderVariable = "ORV_RECORD_PROVIDER";
// The capture's stdio buffer: many lines (a spectrum read's is some 8 KiB)
// go to the file in one write.
inline constexpr size_t kCaptureBufferBytes = size_t{256} << 10;

// The calls of the real provider (ORV_D2XX_CALLS of ftd2xx.h).
struct Provider {
#define ORV_RECORD_MEMBER(name) decltype(&::name) name = nullptr;
    ORV_D2XX_CALLS(ORV_RECORD_MEMBER)
#undef ORV_RECORD_MEMBER
};

class Recorder {
public:
    static Recorder &instance();
    ~Recorder();

    // The real provider, loaded at the first call; null when there is none
    // (every call then answers FT_DEVICE_NOT_FOUND).
    const Provider *provider();
    // Whether calls are written: a capture file is named and still writable.
    bool recording();

    uint64_t now_us() const;
    // Writes one call: numbers it, fills in `dev` from `handle` (unless the
    // record names it already) and appends its line. A failed write is told
    // once and ends the recording; the call itself is never affected.
    void write(orvcapture::Record &record, FT_HANDLE handle);
    // FT_Open returned `handle` for list position `index`.
    void opened(FT_HANDLE handle, int index);
    void closed(FT_HANDLE handle);

private:
    Recorder();
    void start();  // loads the provider and opens the capture, once
    void load_provider();
    void open_capture();
    void stop(const std::string &why);

    std::once_flag started_;
    std::atomic<bool> recording_{false};  // capture_ is open (read without the lock)
    std::mutex mutex_;                    // guards everything below
    Provider provider_;
    bool have_provider_ = false;
    void *library_ = nullptr;
    std::string provider_file_;
    std::FILE *capture_ = nullptr;
    std::vector<char> buffer_;  // capture_'s buffer, outlives it
    std::string capture_path_;
    std::string line_;
    uint64_t calls_ = 0;
    std::unordered_map<FT_HANDLE, int> devices_;
    const std::chrono::steady_clock::time_point began_;
};

// One line on standard error, starting "orv-record: ".
void report(const std::string &text);

}  // namespace orvrecord
