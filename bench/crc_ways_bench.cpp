// orv_crc_ways: each way of computing the two CRCs on its own, from liborv's
// internals: the slicing tables every CPU runs, and the carry-less folding
// liborv picks where the CPU has it. orv_bench measures the exports, which
// choose between them.
#include <benchmark/benchmark.h>

#include "crc_bench.h"
#include "wire/crc.h"

namespace {

template <crc_model M>
void BM_CrcTable(benchmark::State &state) {
    orvbench::measure_crc(state, [](const uint8_t *data, size_t n) {
        return crc_update_table<M>(params_of(M).initial, data, n);
    });
}

template <crc_model M>
void BM_CrcClmul(benchmark::State &state) {
    if (!crc_clmul_supported()) {
        state.SkipWithError("this CPU has no carry-less multiplication");
        return;
    }
    orvbench::measure_crc(state, [](const uint8_t *data, size_t n) {
        return crc_update_clmul<M>(params_of(M).initial, data, n);
    });
}

constexpr crc_model CRC32 = crc_model::crc32_iso_hdlc;
constexpr crc_model CRC16 = crc_model::crc16_modbus;

BENCHMARK_TEMPLATE(BM_CrcTable, CRC32)->Apply(orvbench::crc32_spans);
BENCHMARK_TEMPLATE(BM_CrcClmul, CRC32)->Apply(orvbench::crc32_spans);
BENCHMARK_TEMPLATE(BM_CrcTable, CRC16)->Apply(orvbench::crc16_spans);
BENCHMARK_TEMPLATE(BM_CrcClmul, CRC16)->Apply(orvbench::crc16_spans);

}  // namespace
