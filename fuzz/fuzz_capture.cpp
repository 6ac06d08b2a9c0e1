// Fuzz target: the capture reader on arbitrary text. It either refuses the
// text with a CaptureError naming a line that exists, or accepts it; what it
// accepts is written out again and must read back to the same capture.
#include <cstdint>
#include <string>

#include "capture.h"
#include "support/check.h"

namespace {

std::string written(const orvcapture::Capture &capture) {
    std::string text;
    orvcapture::append_header_line(text, capture.header);
    for (const orvcapture::Record &r : capture.calls) orvcapture::append_record_line(text, r);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    orvcapture::Capture capture;
    try {
        capture = orvcapture::read_capture_text(text);
    } catch (const orvcapture::CaptureError &e) {
        uint64_t lines = 1;
        for (const char c : text) lines += c == '\n';
        FUZZ_CHECK(e.line() >= 1 && e.line() <= lines);
        return 0;
    }
    const std::string once = written(capture);
    const std::string twice = written(orvcapture::read_capture_text(once));
    FUZZ_CHECK(once == twice);
    return 0;
}
