#include "link.h"

#include <algorithm>
#include <cstring>

namespace orvsim {

size_t Link::Segment::ready_count(Clock::time_point now) const {
    if (now <= start) return 0;
    if (per_byte.count() <= 0) return data.size();
    auto n = static_cast<size_t>((now - start) / per_byte);
    return std::min(n, data.size());
}

Clock::time_point Link::Segment::ready_time(size_t count) const {
    return start + per_byte * static_cast<Clock::rep>(count);
}

void Link::push(Clock::time_point start, Clock::duration per_byte, Bytes data) {
    if (data.empty()) return;
    Segment s{start, per_byte, std::move(data)};
    busy_until_ = std::max(busy_until_, s.ready_time(s.data.size()));
    segments_.push_back(std::move(s));
}

Clock::time_point Link::schedule(const Reply &reply, Clock::time_point request_end,
                                 const LinkTiming &timing) {
    const double scale = timing.time_scale;
    Clock::time_point start = std::max(request_end, busy_until_) +
                              from_ms((timing.latency_ms + reply.work_ms) * scale + reply.delay_ms);
    Clock::duration per_byte = from_ms(1000.0 / timing.throughput_bytes_per_s * scale);
    const Bytes &b = reply.bytes;
    if (reply.split_at > 0 && reply.split_at < b.size()) {
        Bytes first(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(reply.split_at));
        Bytes rest(b.begin() + static_cast<std::ptrdiff_t>(reply.split_at), b.end());
        Clock::time_point second_start = start + per_byte * static_cast<Clock::rep>(first.size()) +
                                         from_ms(reply.split_pause_ms);
        push(start, per_byte, std::move(first));
        push(second_start, per_byte, std::move(rest));
    } else {
        push(start, per_byte, b);
    }
    return std::max(busy_until_, start);
}

size_t Link::readable(Clock::time_point now) const {
    size_t n = 0;
    for (const Segment &s : segments_) {
        size_t ready = std::max(s.ready_count(now), s.taken);
        n += ready - s.taken;
        if (ready < s.data.size()) break;  // later segments start later still
    }
    return n;
}

std::optional<Clock::time_point> Link::ready_time(size_t n) const {
    for (const Segment &s : segments_) {
        size_t remaining = s.data.size() - s.taken;
        if (n <= remaining) return s.ready_time(s.taken + n);
        n -= remaining;
    }
    return std::nullopt;
}

std::optional<Clock::time_point> Link::burst_end() const {
    if (segments_.empty()) return std::nullopt;
    const Segment &s = segments_.front();
    return s.ready_time(s.data.size());
}

size_t Link::take(uint8_t *out, size_t max, Clock::time_point now) {
    size_t copied = 0;
    while (copied < max && !segments_.empty()) {
        Segment &s = segments_.front();
        size_t ready = std::max(s.ready_count(now), s.taken);
        size_t n = std::min(ready - s.taken, max - copied);
        std::memcpy(out + copied, s.data.data() + s.taken, n);
        s.taken += n;
        copied += n;
        if (s.taken < s.data.size()) break;
        segments_.pop_front();
    }
    return copied;
}

void Link::purge(Clock::time_point now) {
    for (Segment &s : segments_) s.taken = std::max(s.taken, s.ready_count(now));
    while (!segments_.empty() && segments_.front().taken == segments_.front().data.size())
        segments_.pop_front();
}

void Link::clear(Clock::time_point now) {
    segments_.clear();
    busy_until_ = std::min(busy_until_, now);
}

}  // namespace orvsim
