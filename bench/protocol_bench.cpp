// The packet code alone: CRC-32 throughput, decoding of a full spectrum
// response (28-byte header, 4096 data bytes, CRC: 4128 bytes), and the
// CRC-16 that checks every NIR_LEGACY reply.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "orv.h"

namespace {

constexpr int kHeaderSize = 28;
constexpr int kSpectrumDataBytes = 4096;
constexpr int kSpectrumPacketSize = kHeaderSize + kSpectrumDataBytes + 4;
constexpr int kCrcFirstByte = 8;  // the CRC covers everything after the preamble

void put_be16(uint8_t *p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

void put_be32(uint8_t *p, uint32_t v) {
    put_be16(p, v >> 16);
    put_be16(p + 2, v);
}

// A well-formed ACK answer to a read of the spectrum register, with a
// varying sample pattern and a correct CRC.
std::vector<uint8_t> spectrum_response() {
    std::vector<uint8_t> packet(kSpectrumPacketSize, 0);
    uint8_t *p = packet.data();
    for (int i = 0; i < 7; ++i) p[i] = 0xAA;
    p[7] = 0xAB;
    p[8] = 0x01;               // version
    put_be16(p + 9, 0x0002);   // target address
    put_be16(p + 11, 0x0001);  // source address
    p[13] = 0xE0;              // response with data
    put_be16(p + 17, kSpectrumDataBytes / 4);
    p[19] = 1;  // packets
    p[21] = ORV_REG_SPECTRUM;
    p[27] = ORV_REPLY_ACK;
    for (int i = 0; i < kSpectrumDataBytes; ++i)
        p[kHeaderSize + i] = static_cast<uint8_t>(i * 37 + 11);
    const int covered = kSpectrumPacketSize - kCrcFirstByte - 4;
    put_be32(p + kSpectrumPacketSize - 4,
             static_cast<uint32_t>(orv_crc32(p + kCrcFirstByte, covered)));
    return packet;
}

void BM_Crc32(benchmark::State &state) {
    std::vector<uint8_t> data(static_cast<size_t>(state.range(0)));
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 131 + 7);
    for (auto _ : state) {
        benchmark::DoNotOptimize(orv_crc32(data.data(), static_cast<int>(data.size())));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
// A request's CRC span, a spectrum response's, and the largest packet's.
BENCHMARK(BM_Crc32)
    ->Arg(24)
    ->Arg(kSpectrumPacketSize - kCrcFirstByte - 4)
    ->Arg(16384 - kCrcFirstByte - 4);

// The NIR check covers the ACK and the data: 4109 bytes for 2048 samples in
// the long frame with trailer, 525 for the 256 of the usual NIR instrument.
void BM_Crc16Legacy(benchmark::State &state) {
    std::vector<uint8_t> data(static_cast<size_t>(state.range(0)));
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 131 + 7);
    for (auto _ : state) {
        benchmark::DoNotOptimize(orv_crc16_legacy(data.data(), static_cast<int>(data.size())));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Crc16Legacy)->Arg(1 + (256 + 6) * 2)->Arg(1 + (2048 + 6) * 2);

void BM_ParseSpectrumResponse(benchmark::State &state) {
    const std::vector<uint8_t> packet = spectrum_response();
    auto parsed = std::make_unique<orv_parsed_packet>();
    if (orv_parse_response(packet.data(), kSpectrumPacketSize, parsed.get()) != ORV_OK ||
        parsed->crc_ok != 1 || parsed->data_size != kSpectrumDataBytes) {
        state.SkipWithError("the spectrum response does not decode");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            orv_parse_response(packet.data(), kSpectrumPacketSize, parsed.get()));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kSpectrumPacketSize);
}
BENCHMARK(BM_ParseSpectrumResponse);

}  // namespace
