// What the checksum benchmarks share: the byte spans they run over, their
// data and the measuring loop.
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvbench {

// CRC-32: a request's span (bytes 8..27), a spectrum response's (28-byte
// header and 4096 data bytes: 4116) and the largest packet's (16372).
inline constexpr int kCrc32Spans[] = {24, 4116, 16372};
// CRC-16: the checked part of a NIR spectrum reply (ACK and frame) of 256
// and of 2048 samples.
inline constexpr int kCrc16Spans[] = {1 + (256 + 6) * 2, 1 + (2048 + 6) * 2};

inline void crc32_spans(benchmark::internal::Benchmark *b) {
    for (int n : kCrc32Spans) b->Arg(n);
}

inline void crc16_spans(benchmark::internal::Benchmark *b) {
    for (int n : kCrc16Spans) b->Arg(n);
}

// crc(data, n) over state.range(0) bytes of a fixed varying pattern, in bytes
// per second.
template <class Crc>
void measure_crc(benchmark::State &state, Crc crc) {
    std::vector<uint8_t> data(static_cast<std::size_t>(state.range(0)));
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 131 + 7);
    for (auto _ : state) benchmark::DoNotOptimize(crc(data.data(), data.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

}  // namespace orvbench
