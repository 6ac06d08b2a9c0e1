// CRC-32 and CRC-16: the exports against the catalogue check values and the
// edge inputs, and every way of computing the registers (tables, carry-less
// multiplication, the choice between them) against the bit-by-bit reference
// on every length up to a few strides, every alignment and long buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "crc_reference.h"
#include "orv.h"
#include "wire/crc.h"

namespace {

const uint8_t *bytes(const char *s) { return reinterpret_cast<const uint8_t *>(s); }
int len(const char *s) { return static_cast<int>(std::strlen(s)); }

TEST(Crc32, MatchesCatalogueValues) {
    EXPECT_EQ(static_cast<uint32_t>(orv_crc32(bytes("123456789"), 9)), 0xCBF43926u);
    const char *fox = "The quick brown fox jumps over the lazy dog";
    EXPECT_EQ(static_cast<uint32_t>(orv_crc32(bytes(fox), len(fox))), 0x414FA339u);
    const uint8_t zero = 0;
    EXPECT_EQ(static_cast<uint32_t>(orv_crc32(&zero, 1)), 0xD202EF8Du);
    // Long enough for the folding path: 1 MiB of zeros (as zlib computes it).
    const std::vector<uint8_t> zeros(1 << 20, 0);
    EXPECT_EQ(static_cast<uint32_t>(orv_crc32(zeros.data(), static_cast<int>(zeros.size()))),
              0xA738EA1Cu);
}

TEST(Crc32, EmptyNegativeOrNullInputGivesZero) {
    EXPECT_EQ(orv_crc32(bytes("123"), 0), 0);
    EXPECT_EQ(orv_crc32(bytes("123"), -5), 0);
    EXPECT_EQ(orv_crc32(nullptr, 16), 0);
}

TEST(Crc16Legacy, MatchesModbusCheckValue) {
    EXPECT_EQ(orv_crc16_legacy(bytes("123456789"), 9), 0x4B37);
}

TEST(Crc16Legacy, EmptyNegativeOrNullInputGivesInitialValue) {
    EXPECT_EQ(orv_crc16_legacy(bytes("1"), 0), 0xFFFF);
    EXPECT_EQ(orv_crc16_legacy(bytes("1"), -1), 0xFFFF);
    EXPECT_EQ(orv_crc16_legacy(nullptr, 4), 0xFFFF);
}

// The exports are the models' CRCs (initial register, final XOR) on
// lengths on both sides of the switch to folding.
TEST(CrcExports, AreTheReferenceCrcs) {
    std::mt19937 rng(7);
    std::vector<uint8_t> data(20000);
    for (auto &b : data) b = static_cast<uint8_t>(rng());
    for (size_t n : {1u, 9u, 63u, 64u, 65u, 525u, 4109u, 4116u, 16372u, 20000u}) {
        SCOPED_TRACE(n);
        const int len_n = static_cast<int>(n);
        EXPECT_EQ(static_cast<uint32_t>(orv_crc32(data.data(), len_n)),
                  crc_of_reference<crc_model::crc32_iso_hdlc>(data.data(), n));
        EXPECT_EQ(static_cast<uint32_t>(orv_crc16_legacy(data.data(), len_n)),
                  crc_of_reference<crc_model::crc16_modbus>(data.data(), n));
    }
}

using update_fn = uint32_t (*)(uint32_t, const uint8_t *, size_t);

struct CrcWay {
    std::string name;
    update_fn fast;
    update_fn reference;
    uint32_t register_mask;
    bool needs_clmul;
};

void PrintTo(const CrcWay &way, std::ostream *os) { *os << way.name; }

template <crc_model M>
std::vector<CrcWay> ways_of(const std::string &model) {
    const uint32_t mask = params_of(M).width == 32 ? 0xFFFFFFFFu : 0xFFFFu;
    return {{model + "_table", &crc_update_table<M>, &crc_update_reference<M>, mask, false},
            {model + "_clmul", &crc_update_clmul<M>, &crc_update_reference<M>, mask, true},
            {model + "_chosen", &crc_update<M>, &crc_update_reference<M>, mask, false}};
}

std::vector<CrcWay> all_ways() {
    auto ways = ways_of<crc_model::crc32_iso_hdlc>("crc32");
    auto crc16 = ways_of<crc_model::crc16_modbus>("crc16");
    ways.insert(ways.end(), crc16.begin(), crc16.end());
    return ways;
}

class CrcWays : public testing::TestWithParam<CrcWay> {
protected:
    void SetUp() override {
        if (GetParam().needs_clmul && !crc_clmul_supported())
            GTEST_SKIP() << "this CPU has no carry-less multiplication";
    }

    std::vector<uint8_t> random_bytes(size_t n, unsigned seed) {
        std::mt19937 rng(seed);
        std::vector<uint8_t> v(n);
        for (auto &b : v) b = static_cast<uint8_t>(rng());
        return v;
    }
};

// Every length 0..1024 (sixteen 64-byte strides and every remainder of
// block and stride) at each of the 16 alignments, from a random register:
// the reference register of each prefix is one byte step from the last.
TEST_P(CrcWays, EveryLengthAndAlignmentMatchesTheReference) {
    const CrcWay &way = GetParam();
    constexpr size_t MAX_LEN = 1024;
    const std::vector<uint8_t> buf = random_bytes(MAX_LEN + 16, 1);
    std::mt19937 rng(2);
    for (size_t offset = 0; offset < 16; ++offset) {
        const uint8_t *data = buf.data() + offset;
        const uint32_t start = static_cast<uint32_t>(rng()) & way.register_mask;
        uint32_t expected = start;
        for (size_t n = 0; n <= MAX_LEN; ++n) {
            if (n > 0) expected = way.reference(expected, data + n - 1, 1);
            const uint32_t got = way.fast(start, data, n);
            if (got != expected) {
                ADD_FAILURE() << way.name << ": length " << n << ", offset " << offset
                              << ", register " << std::hex << start << ": " << got
                              << " != " << expected;
                return;
            }
        }
    }
}

// Long buffers at random lengths and alignments, and the sizes the
// protocols check: whole spectrum replies and the largest packet.
TEST_P(CrcWays, LongBuffersMatchTheReference) {
    const CrcWay &way = GetParam();
    const std::vector<uint8_t> buf = random_bytes(70000, 3);
    std::mt19937 rng(4);
    std::vector<size_t> lengths = {525, 4109, 4116, 16372, 65536, 69984};
    for (int i = 0; i < 24; ++i) lengths.push_back(1025 + rng() % 68000);
    for (size_t n : lengths) {
        const size_t offset = rng() % (buf.size() - n + 1);
        const uint32_t start = static_cast<uint32_t>(rng()) & way.register_mask;
        const uint8_t *data = buf.data() + offset;
        EXPECT_EQ(way.fast(start, data, n), way.reference(start, data, n))
            << way.name << ": length " << n << ", offset " << offset;
    }
}

// Runs of zeros and of ones, where a register XORed in at the wrong place or
// a lost fold term cannot hide behind random data.
TEST_P(CrcWays, UniformBuffersMatchTheReference) {
    const CrcWay &way = GetParam();
    for (uint8_t fill : {0x00, 0xFF}) {
        const std::vector<uint8_t> buf(5000, fill);
        for (uint32_t start : {0u, way.register_mask}) {
            for (size_t n : {64u, 127u, 128u, 4096u, 5000u})
                EXPECT_EQ(way.fast(start, buf.data(), n), way.reference(start, buf.data(), n))
                    << way.name << ": fill " << int{fill} << ", register " << start << ", length "
                    << n;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Crc, CrcWays, testing::ValuesIn(all_ways()),
                         [](const testing::TestParamInfo<CrcWay> &way) { return way.param.name; });

}  // namespace
