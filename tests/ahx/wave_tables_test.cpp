#include "ahx/wave_tables.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using ahx::kWaveSetSize;

const ahx::WaveTables& bank() {
    static const auto tables = std::make_unique<ahx::WaveTables>();
    return *tables;
}

std::vector<int> slice(int set, int offset, int length) {
    const int8_t* s = bank().waveSet(set) + offset;
    return std::vector<int>(s, s + length);
}

TEST(WaveTables, UnfilteredTrianglesAndSawtooths) {
    EXPECT_EQ(slice(31, 0, 4), (std::vector<int>{0, 127, 0, -128}));
    EXPECT_EQ(slice(31, 4, 8), (std::vector<int>{0, 64, 127, 64, 0, -64, -128, -64}));
    EXPECT_EQ(slice(31, 252, 4), (std::vector<int>{-128, -43, 42, 127}));
    EXPECT_EQ(slice(31, 256, 8), (std::vector<int>{-128, -92, -56, -20, 16, 52, 88, 124}));
    // The last sample of each sawtooth shows its integer step.
    const int lastSamples[6] = {127, 124, 127, 120, 124, 126};
    for (int i = 0; i < 6; ++i) {
        const int length = 4 << i;
        EXPECT_EQ(slice(31, 252 + ahx::waveLengthOffsets[i] + length - 1, 1)[0], lastSamples[i]) << length;
    }
    // Triangle 128 peaks at 127 a quarter in and bottoms out at -128 three quarters in.
    EXPECT_EQ(slice(31, 124 + 32, 1)[0], 127);
    EXPECT_EQ(slice(31, 124 + 96, 1)[0], -128);
}

TEST(WaveTables, SquaresWidenTwoSamplesAtATime) {
    for (int k : {0, 1, 15, 31}) {
        std::vector<int> square = slice(31, 504 + 128 * k, 128);
        const int low = 126 - 2 * k;
        for (int i = 0; i < 128; ++i) ASSERT_EQ(square[size_t(i)], i < low ? -128 : 127) << k << " " << i;
    }
}

TEST(WaveTables, NoiseStartsWithTheGeneratorsFirstOutputs) {
    EXPECT_EQ(slice(31, 4600, 16), (std::vector<int>{127, 127, -88, -30, 120, 62, 44, -110, 82, -43, -128,
                                                     -128, -85, -128, 127, 55}));
}

TEST(WaveTables, FilteredTrianglesMatchKnownValues) {
    EXPECT_EQ(slice(0, 0, 4), (std::vector<int>{2, 3, 4, 3}));
    EXPECT_EQ(slice(32, 0, 4), (std::vector<int>{0, 126, -14, -128}));
    EXPECT_EQ(slice(30, 0, 4), (std::vector<int>{-32, 123, 86, -70}));
    EXPECT_EQ(slice(62, 0, 4), (std::vector<int>{127, 127, -128, -128}));
    EXPECT_EQ(slice(0, 4, 8), (std::vector<int>{5, 5, 6, 8, 9, 9, 9, 7}));
}

// Filters one wave from rest, with the bank's precision rules, for comparison.
void filterFromRest(const int8_t* in, int length, double c, std::vector<int>& low, std::vector<int>& high) {
    auto clamp = [](double v) { return v > 127 ? 127.0 : v < -128 ? -128.0 : v; };
    double l = 0;
    float mid = 0;
    for (int j = 0; j < length; ++j) {
        const double h = clamp(in[j] - double(mid) - l);
        mid = float(clamp(double(mid) + c * h));
        l = clamp(l + c * double(mid));
    }
    for (int j = 0; j < length; ++j) {
        const float h = float(clamp(in[j] - double(mid) - l));
        mid = float(clamp(double(mid) + c * double(h)));
        l = clamp(l + c * double(mid));
        low.push_back(int8_t(int(l)));
        high.push_back(int8_t(int(h)));
    }
}

TEST(WaveTables, EachWaveIsFilteredByItselfFromRest) {
    // No filter state may carry from one wave into the next, and the noise
    // block is one wave of 1920 samples, not fifteen squares' worth.
    struct Wave {
        int offset, length;
    };
    for (Wave w : {Wave{0, 4}, Wave{504, 128}, Wave{504 + 31 * 128, 128}, Wave{4600, 1920}}) {
        for (int i : {0, 17, 30}) {
            std::vector<int> low, high;
            filterFromRest(bank().waveSet(31) + w.offset, w.length, (8 + 3 * i) * double(0.0125f), low, high);
            EXPECT_EQ(slice(i, w.offset, w.length), low) << "low-pass set " << i << " at " << w.offset;
            EXPECT_EQ(slice(32 + i, w.offset, w.length), high) << "high-pass set " << i << " at " << w.offset;
        }
    }
}

TEST(WaveTables, WholeBankIsUnchanged) {
    // A fingerprint of all 410760 samples: a change in the rounding of any
    // filter step shows up here even when the examples above still pass.
    uint32_t hash = 2166136261u;
    for (int8_t s : bank().samples) hash = (hash ^ uint8_t(s)) * 16777619u;
    EXPECT_EQ(hash, 2413220995u);
}

TEST(WaveTables, GenerationIsDeterministic) {
    auto again = std::make_unique<ahx::WaveTables>();
    EXPECT_EQ(0, std::memcmp(again->samples, bank().samples, ahx::kWaveTablesSize));
}

}  // namespace
