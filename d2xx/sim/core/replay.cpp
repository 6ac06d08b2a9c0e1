#include "replay.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "capture.h"
#include "config.h"
#include "uvvis_packet.h"

namespace orvsim {
namespace {

using orvcapture::Call;
using orvcapture::Record;

// Link timing of a replayed bridge: no modelled latency, no transfer time;
// the script alone says when bytes arrive.
LinkTiming replay_link() {
    LinkTiming timing;
    timing.latency_ms = 0;
    timing.throughput_bytes_per_s = 1e12;
    timing.time_scale = 1;
    return timing;
}

double ms_between(uint64_t from_us, uint64_t to_us) {
    return to_us > from_us ? static_cast<double>(to_us - from_us) / 1000.0 : 0.0;
}

// The scripts of every device written to, by list position.
std::map<int, ReplayScript> scripts_of(const orvcapture::Capture &capture, const std::string &name,
                                       ReplayTiming timing) {
    std::map<int, ReplayScript> scripts;
    std::map<int, uint64_t> write_end_us;
    for (const Record &r : capture.calls) {
        if (r.dev < 0) continue;
        if (r.call == Call::Open && r.status == 0) {
            ReplayScript &s = scripts[r.dev];
            s.capture = name;
            s.device = r.dev;
            s.timing = timing;
        } else if (r.call == Call::Write) {
            ReplayScript &s = scripts[r.dev];
            s.exchanges.push_back({r.n, Bytes(r.data.begin(), r.data.end()), r.status, r.done, {}});
            write_end_us[r.dev] = r.t_us + r.dur_us;
        } else if (r.call == Call::Read && scripts.count(r.dev) &&
                   !scripts[r.dev].exchanges.empty() && (r.done > 0 || r.status != 0)) {
            // Bytes read before the first request of a device answer nothing
            // a replay can ask for; they are left out.
            ReplayExchange &x = scripts[r.dev].exchanges.back();
            x.reply.push_back({ms_between(write_end_us[r.dev], r.t_us + r.dur_us),
                               Bytes(r.data.begin(), r.data.end()), r.status});
        }
    }
    return scripts;
}

// The device list the capture saw: its fullest successful listing.
std::vector<orvcapture::Node> listed_nodes(const orvcapture::Capture &capture) {
    const std::vector<orvcapture::Node> *best = nullptr;
    for (const Record &r : capture.calls) {
        if (r.call == Call::GetDeviceInfoList && r.status == 0 &&
            (!best || r.devices.size() > best->size()))
            best = &r.devices;
    }
    return best ? *best : std::vector<orvcapture::Node>{};
}

class ReplayInstrument : public Instrument {
public:
    explicit ReplayInstrument(std::shared_ptr<const ReplayScript> script)
        : script_(std::move(script)) {}

    void receive(const uint8_t *data, size_t len, WriteResult &result) override {
        if (dead_) return;
        const Bytes request(data, data + len);
        if (next_ >= script_->exchanges.size()) {
            give_up(result, "request " + std::to_string(next_ + 1) + " to device " +
                                std::to_string(script_->device) +
                                " comes after the capture's last one\n  actual:   " +
                                describe_request(request));
            return;
        }
        const ReplayExchange &x = script_->exchanges[next_];
        if (request != x.request) {
            const auto differ =
                std::mismatch(request.begin(), request.end(), x.request.begin(), x.request.end());
            const auto at = static_cast<size_t>(differ.first - request.begin());
            give_up(result, "call " + std::to_string(x.call) + " (FT_Write to device " +
                                std::to_string(script_->device) + ") differs at byte " +
                                std::to_string(at) +
                                "\n  expected: " + describe_request(x.request) +
                                "\n  actual:   " + describe_request(request));
            return;
        }
        ++next_;
        if (x.status != 0) {
            result.failed = true;
            return;
        }
        if (x.done < len) {
            result.short_write = true;
            result.written = x.done;
        }
        double previous_ms = 0;
        for (const ReplayChunk &chunk : x.reply) {
            if (chunk.status != 0) {
                result.fail_next_read = true;
                break;
            }
            Reply reply;
            reply.bytes = chunk.data;
            if (script_->timing == ReplayTiming::Recorded) {
                reply.delay_ms = std::max(0.0, chunk.after_ms - previous_ms);
                previous_ms = std::max(previous_ms, chunk.after_ms);
            }
            result.replies.push_back(std::move(reply));
        }
    }

private:
    // A dead instrument from now on: the difference is told once.
    void give_up(WriteResult &result, const std::string &what) {
        dead_ = true;
        std::fprintf(stderr, "orvsim: replay of %s: %s\n", script_->capture.c_str(), what.c_str());
        result.refusals.push_back(
            {0, "why=replay call=" + std::to_string(next_ < script_->exchanges.size()
                                                        ? script_->exchanges[next_].call
                                                        : 0)});
    }

    std::shared_ptr<const ReplayScript> script_;
    size_t next_ = 0;
    bool dead_ = false;
};

std::string uvvis_summary(const Bytes &b) {
    if (b.size() < uvvis::kHeaderSize ||
        !std::equal(std::begin(uvvis::kPreamble), std::end(uvvis::kPreamble), b.begin()))
        return "";
    const uint8_t srv = b[13];
    const char *kind = srv == uvvis::kSrvRead                                       ? "read"
                       : srv == uvvis::kSrvWriteAck || srv == uvvis::kSrvWriteNoAck ? "write"
                                                                                    : "service";
    char text[128];
    std::snprintf(text, sizeof text, "UVVIS_ORV %s (SRV %02Xh) %02Xh/%06Xh FileLen %u DataLen %u",
                  kind, srv, b[21], read_be24(b.data() + 22), read_be16(b.data() + 15),
                  read_be16(b.data() + 17));
    return text;
}

}  // namespace

std::string describe_request(const Bytes &request) {
    std::string text = to_hex(request.data(), request.size());
    if (request.empty()) return "(nothing)";
    std::string meaning = uvvis_summary(request);
    if (meaning.empty() && request.size() > 2 && request.size() <= 16) {
        meaning = "NIR_LEGACY " + to_hex(request.data(), request.size() - 2) + " + CRC " +
                  to_hex(request.data() + request.size() - 2, 2);
    }
    return meaning.empty() ? text : text + " (" + meaning + ")";
}

void add_replay_bridges(Scenario &scenario, const orvcapture::Capture &capture,
                        const std::string &name, ReplayTiming timing) {
    const std::vector<orvcapture::Node> nodes = listed_nodes(capture);
    std::map<int, ReplayScript> scripts = scripts_of(capture, name, timing);
    size_t count = nodes.size();
    if (!scripts.empty()) count = std::max(count, static_cast<size_t>(scripts.rbegin()->first) + 1);
    for (size_t i = 0; i < count; ++i) {
        BridgeConfig b;
        if (i < nodes.size()) {
            const orvcapture::Node &node = nodes[i];
            b.serial = node.serial;
            b.description = node.description;
            b.flags = node.flags & ~1u;  // "opened" is the replay's to say
            b.type = node.type;
            b.id = node.id;
            b.loc_id = node.loc_id;
        } else {
            b.serial = "REPLAY" + std::to_string(i);
            b.loc_id = 0x1001 + static_cast<uint32_t>(i);
        }
        b.timing = replay_link();
        const auto script = scripts.find(static_cast<int>(i));
        if (script != scripts.end()) {
            b.has_instrument = true;
            b.instrument.replay = std::make_shared<const ReplayScript>(std::move(script->second));
        }
        scenario.bridges.push_back(std::move(b));
    }
}

std::unique_ptr<Instrument> make_replay_instrument(std::shared_ptr<const ReplayScript> script) {
    return std::make_unique<ReplayInstrument>(std::move(script));
}

}  // namespace orvsim
