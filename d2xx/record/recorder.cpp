#include "recorder.h"

#include "platform.h"

namespace orvrecord {
namespace {

// A function of this library only, to tell it from the provider it loads.
void this_module() {}

}  // namespace

void report(const std::string &text) { std::fprintf(stderr, "orv-record: %s\n", text.c_str()); }

Recorder &Recorder::instance() {
    static Recorder recorder;
    return recorder;
}

Recorder::Recorder() : began_(std::chrono::steady_clock::now()) {}

Recorder::~Recorder() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (capture_) std::fclose(capture_);
    capture_ = nullptr;
    // The real provider stays loaded: a thread of the program may still be
    // inside one of its calls while the process ends.
}

uint64_t Recorder::now_us() const {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                     std::chrono::steady_clock::now() - began_)
                                     .count());
}

void Recorder::start() {
    std::call_once(started_, [this] {
        std::lock_guard<std::mutex> lock(mutex_);
        platform::keep_loaded();
        load_provider();
        open_capture();
    });
}

const Provider *Recorder::provider() {
    start();
    return have_provider_ ? &provider_ : nullptr;
}

bool Recorder::recording() {
    start();
    return recording_.load(std::memory_order_relaxed);
}

void Recorder::load_provider() {
    const std::optional<std::string> named = platform::env_get(kProviderVariable);
    const std::string name =
        named && !named->empty() ? *named : std::string(platform::default_provider_name());
    std::string error;
    library_ = platform::load_library(name, error);
    if (!library_) {
        report("no provider to forward to: " + name + ": " + error + " (name it with " +
               kProviderVariable + "); every call fails");
        return;
    }
    Provider found;
    std::string missing;
#define ORV_RECORD_FIND(call)                                                                      \
    found.call = reinterpret_cast<decltype(found.call)>(platform::find_function(library_, #call)); \
    if (!found.call && missing.empty()) missing = #call;
    ORV_D2XX_CALLS(ORV_RECORD_FIND)
#undef ORV_RECORD_FIND
    // The loader's search may find this very library (same file name, or
    // already loaded under that name): forwarding to it would never end.
    // Compared by module, not by &::FT_Open: in a program that links a
    // provider itself, that name resolves to the program's provider.
    const auto module_of = [](auto function) {
        return platform::module_of(reinterpret_cast<platform::library_function>(function));
    };
    const bool itself = found.FT_Open && module_of(found.FT_Open) == module_of(&this_module);
    if (!missing.empty() || itself) {
        report("no provider to forward to: " + name +
               (itself ? std::string(" is this recorder itself") : " lacks " + missing) +
               " (name the real one with " + kProviderVariable + "); every call fails");
        if (!itself) platform::unload_library(library_);
        library_ = nullptr;
        return;
    }
    provider_ = found;
    have_provider_ = true;
    provider_file_ = platform::file_of(reinterpret_cast<platform::library_function>(found.FT_Open));
    if (provider_file_.empty()) provider_file_ = name;
}

void Recorder::open_capture() {
    const std::optional<std::string> path = platform::env_get(kCaptureVariable);
    if (!path || path->empty()) {
        report(std::string(kCaptureVariable) + " names no capture file; calls are not recorded");
        return;
    }
    capture_path_ = *path;
    std::string error;
    capture_ = platform::open_capture(capture_path_, error);
    if (!capture_) {
        report("capture " + capture_path_ + ": cannot be opened for writing (" + error +
               "); calls are not recorded");
        return;
    }
    // Without a buffer of its own the file keeps stdio's default one.
    try {
        buffer_.resize(kCaptureBufferBytes);
        std::setvbuf(capture_, buffer_.data(), _IOFBF, buffer_.size());
    } catch (...) {}
    recording_ = true;
    line_.clear();
    orvcapture::Header header;
    header.provider = provider_file_;
    orvcapture::append_header_line(line_, header);
    if (std::fwrite(line_.data(), 1, line_.size(), capture_) != line_.size())
        stop("cannot be written");
}

void Recorder::stop(const std::string &why) {
    report("capture " + capture_path_ + ": " + why + "; the rest of the session is not recorded");
    recording_ = false;
    std::fclose(capture_);
    capture_ = nullptr;
}

void Recorder::write(orvcapture::Record &record, FT_HANDLE handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!capture_) return;
    if (record.call != orvcapture::Call::Open) {
        const auto it = devices_.find(handle);
        record.dev = it == devices_.end() ? -1 : it->second;
    }
    record.n = ++calls_;
    line_.clear();
    orvcapture::append_record_line(line_, record);
    if (std::fwrite(line_.data(), 1, line_.size(), capture_) != line_.size()) {
        stop("cannot be written");
        return;
    }
    // A closed handle ends a session: what it did is on disk even if the
    // program never ends cleanly.
    if (record.call == orvcapture::Call::Close && std::fflush(capture_) != 0)
        stop("cannot be written");
}

void Recorder::opened(FT_HANDLE handle, int index) {
    std::lock_guard<std::mutex> lock(mutex_);
    devices_[handle] = index;
}

void Recorder::closed(FT_HANDLE handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    devices_.erase(handle);
}

}  // namespace orvrecord
