#include "served_bridge.h"

#include <array>
#include <cstdio>

#include "pacing.h"

namespace orvserve {
namespace {

// Up to this much is taken from the tty at a time.
constexpr size_t kReadChunk = 65536;

std::string ms_text(double ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", ms);
    return text;
}

}  // namespace

ServedBridge::ServedBridge(const orvsim::BridgeConfig &config, int index, platform::Pty pty,
                           orvsim::Transcript &transcript)
    : index_(index), timing_(config.timing), pty_(std::move(pty)), transcript_(transcript) {
    if (config.has_instrument) instrument_ = orvsim::make_instrument(config.instrument);
}

bool ServedBridge::take_requests(orvsim::Clock::time_point now) {
    std::array<uint8_t, kReadChunk> buffer;
    while (plugged() && !unplug_requested_) {
        const platform::Transfer got = platform::read_some(master(), buffer.data(), buffer.size());
        if (got.failed) return false;
        if (got.bytes == 0) return true;
        handle(buffer.data(), got.bytes, now);
    }
    return true;
}

// One read from the tty is one write of the host, as long as the server
// keeps up: a NIR_LEGACY instrument takes it as one command frame.
void ServedBridge::handle(const uint8_t *data, size_t len, orvsim::Clock::time_point now) {
    const std::string dev = "dev=" + std::to_string(index_);
    if (transcript_.active())
        transcript_.line(
            "request", 0,
            dev + " len=" + std::to_string(len) + " data=" + orvsim::to_hex(data, len));
    if (!instrument_) return;
    orvsim::WriteResult result;
    instrument_->receive(data, len, result);
    for (const orvsim::Refusal &r : result.refusals)
        transcript_.line("refused", r.code, dev + " " + r.fields);
    for (const orvsim::Reply &reply : result.replies) {
        const orvsim::Clock::time_point last = link_.schedule(reply, now, timing_);
        if (transcript_.active())
            transcript_.line("answer", 0,
                             dev + " bytes=" + std::to_string(reply.bytes.size()) +
                                 " work_ms=" + ms_text(reply.work_ms * timing_.time_scale) +
                                 " modeled_ms=" + ms_text(orvsim::to_ms(last - now)));
    }
    unplug_requested_ = unplug_requested_ || result.unplug;
}

bool ServedBridge::send_due(orvsim::Clock::time_point now) {
    if (!plugged()) return true;
    const size_t queued = pending_.size();
    pending_.resize(queued + link_.readable(now));
    pending_.resize(queued + link_.take(pending_.data() + queued, pending_.size() - queued, now));
    while (!pending_.empty()) {
        const platform::Transfer put =
            platform::write_some(master(), pending_.data(), pending_.size());
        if (put.failed) return false;
        if (put.bytes == 0) break;  // the host is not reading: wait for room
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(put.bytes));
    }
    return true;
}

std::optional<orvsim::Clock::time_point> ServedBridge::next_wake(
    orvsim::Clock::time_point now) const {
    if (!plugged() || wants_write()) return std::nullopt;  // waits for room instead
    return orvserve::next_wake(link_, now);
}

void ServedBridge::opened(orvsim::Clock::time_point now) {
    if (openers_++ > 0 || !plugged()) return;
    link_.purge(now);
    pending_.clear();
    platform::drop_received(pty_.holder.get());
    if (instrument_) instrument_->clear_input();
    transcript_.line("opened", 0, "dev=" + std::to_string(index_));
}

void ServedBridge::closed() {
    if (openers_ > 0) --openers_;
}

void ServedBridge::unplug() {
    if (!plugged()) return;
    pty_.master.reset();
    pty_.holder.reset();
    link_.clear(orvsim::Clock::now());
    pending_.clear();
    transcript_.line("unplugged", 0, "dev=" + std::to_string(index_));
}

}  // namespace orvserve
