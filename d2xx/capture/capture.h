// A capture: every D2XX call of a session as the recording provider saw it,
// one JSON object per line (docs/capture.md). The recorder writes it, the
// simulated provider replays it, `orv capture` summarises and anonymizes it.
// This is the one home of the format: its name, version, keys and limits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvcapture {

inline constexpr const char *kFormatName = "orv-d2xx-capture";
inline constexpr int kFormatVersion = 1;
// Longest line a reader takes: a 64 KiB transfer in hex with room to spare.
inline constexpr size_t kMaxLineBytes = size_t{1} << 20;
// Most calls in one capture, and most devices in one list.
inline constexpr uint64_t kMaxCalls = uint64_t{1} << 26;
inline constexpr uint32_t kMaxDevices = 1024;

enum class Call {
    CreateDeviceInfoList,
    GetDeviceInfoList,
    Open,
    Close,
    Read,
    Write,
    ResetDevice,
    Purge,
    SetTimeouts,
    SetLatencyTimer,
    SetUSBParameters,
};

// "FT_Read" for Call::Read; nullopt for a name that is no D2XX call of ours.
const char *call_name(Call call);
std::optional<Call> call_from_name(const std::string &name);

// One node of a recorded device list; texts are raw bytes.
struct Node {
    uint32_t flags = 0;
    uint32_t type = 0;
    uint32_t id = 0;
    uint32_t loc_id = 0;
    std::string serial;
    std::string description;
};

// One call. Which fields a call carries (the others stay at their defaults):
//   FT_CreateDeviceInfoList  count
//   FT_GetDeviceInfoList     capacity, count, devices
//   FT_Open                  index, dev (on success)
//   FT_Read                  dev, req, done, data (the bytes returned)
//   FT_Write                 dev, req, done, data (the bytes offered)
//   FT_Purge                 dev, mask
//   FT_SetTimeouts           dev, read_ms, write_ms
//   FT_SetLatencyTimer       dev, latency_ms
//   FT_SetUSBParameters      dev, in_size, out_size
//   FT_Close, FT_ResetDevice dev
// `count` and `capacity` are absent when the program passed a null pointer.
// `dev` is the list position the handle was opened at, -1 for a handle no
// recorded FT_Open returned.
struct Record {
    uint64_t n = 0;       // call number, from 1
    uint64_t t_us = 0;    // monotonic microseconds since the capture began, at the call
    uint64_t dur_us = 0;  // how long the call took
    Call call = Call::CreateDeviceInfoList;
    uint32_t status = 0;
    int dev = -1;
    int64_t index = 0;
    std::optional<uint32_t> count;
    std::optional<uint32_t> capacity;
    std::vector<Node> devices;
    uint32_t req = 0;
    uint32_t done = 0;
    std::vector<uint8_t> data;
    uint32_t mask = 0;
    uint32_t read_ms = 0;
    uint32_t write_ms = 0;
    uint32_t latency_ms = 0;
    uint32_t in_size = 0;
    uint32_t out_size = 0;
};

struct Header {
    int version = kFormatVersion;
    std::string provider;  // the provider the recorder forwarded to
};

struct Capture {
    Header header;
    std::vector<Record> calls;
};

// A capture refused: "line 12: FT_Read: done 40 is more than req 28".
class CaptureError : public std::runtime_error {
public:
    CaptureError(uint64_t line_number, const std::string &reason);
    uint64_t line() const { return line_; }

private:
    uint64_t line_;
};

// The header line and the line of one call, each ending in '\n'. `out` is
// appended to, so a caller can reuse one buffer.
void append_header_line(std::string &out, const Header &header);
void append_record_line(std::string &out, const Record &record);

// Reads a whole capture; throws CaptureError for the first line that is
// not what the format says (also a last line without its end, a line
// longer than kMaxLineBytes and a call numbered out of turn).
Capture read_capture(std::istream &in);
Capture read_capture_text(const std::string &text);
// The same from a file; an unreadable file is CaptureError at line 0.
Capture read_capture_file(const std::string &path);

}  // namespace orvcapture
