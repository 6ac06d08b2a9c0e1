// Host overhead of one full spectrum read on an instrument whose
// link takes no modelled time: through the D2XX provider alone (the
// simulator's own cost), through liborv, and through the benchmark program's
// binding (export look-up, buffers, conversion to doubles). liborv's share is
// the difference between the first two.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bench_instruments.h"
#include "device_ops.h"
#include "orv.h"
#include "orvsim.h"
#include "platform.h"
#include "sdk.h"

namespace {

using orvbench::Instrument;

constexpr DWORD kHeaderBytes = 28;
constexpr ULONG kDefaultTimeoutMs = 5000;
// Read timeout of a spectrum at 1 us x 1 scan, as liborv sets it.
constexpr ULONG kSpectrumReadTimeoutMs = 1001;
constexpr size_t kMaxReply = 16384;

// The instant scenario is loaded once per process (loading closes every
// handle); each benchmark then opens its instrument and closes it again.
bool prepare(benchmark::State &state, Instrument instrument) {
    static const bool loaded = orvbench::load_instant_scenario();
    if (!loaded) {
        state.SkipWithError("the instant scenario does not load");
        return false;
    }
    if (orvsim_loaded_module_count() != 1) {
        state.SkipWithError("more than one copy of the D2XX provider is loaded");
        return false;
    }
    if (orvbench::open_for_reads(instrument) != ORV_OK) {
        state.SkipWithError("the instrument does not open");
        return false;
    }
    state.SetLabel(orvbench::label(instrument));
    return true;
}

void BM_SpectrumRead_Liborv(benchmark::State &state, Instrument instrument) {
    if (!prepare(state, instrument)) return;
    std::vector<uint16_t> samples(orvbench::pixels(instrument));
    for (auto _ : state) {
        if (orv_get_full_spectrum_data(samples.data(), static_cast<int32_t>(samples.size())) !=
            ORV_OK) {
            state.SkipWithError("spectrum read failed");
            break;
        }
        benchmark::DoNotOptimize(samples.data());
    }
    orv_close_device();
}

// The binding's library handle: liborv beside this program (the same copy
// the program links, so the device opened through liborv is the one read).
const std::optional<velmar::VelmarSdk> &binding_sdk() {
    static const std::optional<velmar::VelmarSdk> sdk = []() -> std::optional<velmar::VelmarSdk> {
        auto exe = velmar::platform::executable_path();
        if (!exe) return std::nullopt;
        const std::string dir = exe->substr(0, exe->find_last_of('/') + 1);
        auto loaded = velmar::VelmarSdk::load_from({dir + velmar::platform::kSdkLibraryName});
        if (!loaded) return std::nullopt;
        return std::move(loaded).value();
    }();
    return sdk;
}

void BM_SpectrumRead_Binding(benchmark::State &state, Instrument instrument) {
    const auto &sdk = binding_sdk();
    if (!sdk) {
        state.SkipWithError("liborv cannot be loaded beside this program");
        return;
    }
    if (!prepare(state, instrument)) return;
    for (auto _ : state) {
        auto spectrum = velmar::read_spectrum(*sdk, orvbench::pixels(instrument));
        if (!spectrum) {
            state.SkipWithError("spectrum read failed");
            break;
        }
        benchmark::DoNotOptimize(spectrum.value().data());
    }
    orv_close_device();
}

// The provider's side of the same read: the D2XX calls liborv makes for it
// (purge, write the request, set the read timeout, read the header and the
// rest, or the whole NIR reply, restore the timeouts) with the request liborv
// sent, without any of liborv's work around them.
struct ProviderExchange {
    FT_HANDLE handle = nullptr;
    std::vector<uint8_t> request;
    DWORD reply_bytes = 0;
};

// Captures liborv's spectrum request, hands the bridge over from liborv to a
// handle of our own and measures the reply length with one exchange.
std::optional<ProviderExchange> take_over_bridge(Instrument instrument) {
    const int bridge = orvbench::bridge_index(instrument);
    std::vector<uint16_t> samples(orvbench::pixels(instrument));
    if (orv_get_full_spectrum_data(samples.data(), static_cast<int32_t>(samples.size())) != ORV_OK)
        return std::nullopt;
    ProviderExchange x;
    x.request.resize(kMaxReply);
    const int len = orvsim_last_write(bridge, x.request.data(), static_cast<int>(x.request.size()));
    if (len <= 0 || static_cast<size_t>(len) > x.request.size()) return std::nullopt;
    x.request.resize(static_cast<size_t>(len));
    orv_close_device();

    if (FT_Open(bridge, &x.handle) != FT_OK) return std::nullopt;
    DWORD written = 0;
    std::vector<uint8_t> reply(kMaxReply);
    // Asking for more than comes makes the read return at its timeout with
    // the whole reply.
    FT_SetTimeouts(x.handle, 100, kDefaultTimeoutMs);
    FT_Purge(x.handle, FT_PURGE_RX | FT_PURGE_TX);
    if (FT_Write(x.handle, x.request.data(), static_cast<DWORD>(x.request.size()), &written) !=
            FT_OK ||
        FT_Read(x.handle, reply.data(), static_cast<DWORD>(reply.size()), &x.reply_bytes) !=
            FT_OK ||
        x.reply_bytes <= kHeaderBytes) {
        FT_Close(x.handle);
        return std::nullopt;
    }
    return x;
}

void BM_SpectrumRead_ProviderOnly(benchmark::State &state, Instrument instrument) {
    if (!prepare(state, instrument)) return;
    auto exchange = take_over_bridge(instrument);
    if (!exchange) {
        orv_close_device();
        state.SkipWithError("the provider exchange cannot be set up");
        return;
    }
    FT_HANDLE h = exchange->handle;
    std::vector<uint8_t> reply(kMaxReply);
    const bool header_first = instrument == Instrument::uvvis;
    for (auto _ : state) {
        DWORD written = 0;
        DWORD got = 0;
        DWORD total = 0;
        FT_Purge(h, FT_PURGE_RX | FT_PURGE_TX);
        FT_Write(h, exchange->request.data(), static_cast<DWORD>(exchange->request.size()),
                 &written);
        FT_SetTimeouts(h, kSpectrumReadTimeoutMs, kDefaultTimeoutMs);
        if (header_first) {
            FT_Read(h, reply.data(), kHeaderBytes, &got);
            total = got;
        }
        FT_Read(h, reply.data() + total, exchange->reply_bytes - total, &got);
        total += got;
        FT_SetTimeouts(h, kDefaultTimeoutMs, kDefaultTimeoutMs);
        if (written != exchange->request.size() || total != exchange->reply_bytes) {
            state.SkipWithError("provider exchange incomplete");
            break;
        }
        benchmark::DoNotOptimize(reply.data());
    }
    FT_Close(h);
}

#define ORV_READ_BENCHMARK(fn, instrument)                    \
    BENCHMARK_CAPTURE(fn, instrument, Instrument::instrument) \
        ->Unit(benchmark::kMicrosecond)                       \
        ->UseRealTime()

ORV_READ_BENCHMARK(BM_SpectrumRead_ProviderOnly, uvvis);
ORV_READ_BENCHMARK(BM_SpectrumRead_Liborv, uvvis);
ORV_READ_BENCHMARK(BM_SpectrumRead_Binding, uvvis);
ORV_READ_BENCHMARK(BM_SpectrumRead_ProviderOnly, nir);
ORV_READ_BENCHMARK(BM_SpectrumRead_Liborv, nir);
ORV_READ_BENCHMARK(BM_SpectrumRead_Binding, nir);
ORV_READ_BENCHMARK(BM_SpectrumRead_ProviderOnly, nir_256);
ORV_READ_BENCHMARK(BM_SpectrumRead_Liborv, nir_256);
ORV_READ_BENCHMARK(BM_SpectrumRead_Binding, nir_256);

}  // namespace
