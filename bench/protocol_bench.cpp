// The packet code alone: CRC-32 throughput, decoding of a full spectrum
// response (28-byte header, 4096 data bytes, CRC: 4128 bytes), and the
// CRC-16 that checks every NIR_LEGACY reply.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "crc_bench.h"
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
    orvbench::measure_crc(
        state, [](const uint8_t *data, size_t n) { return orv_crc32(data, static_cast<int>(n)); });
}
BENCHMARK(BM_Crc32)->Apply(orvbench::crc32_spans);

// The NIR check covers the ACK and the data.
void BM_Crc16Legacy(benchmark::State &state) {
    orvbench::measure_crc(state, [](const uint8_t *data, size_t n) {
        return orv_crc16_legacy(data, static_cast<int>(n));
    });
}
BENCHMARK(BM_Crc16Legacy)->Apply(orvbench::crc16_spans);

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
