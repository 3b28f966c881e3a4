#include "ahx/wave_tables.h"

namespace ahx {
namespace {

int8_t low8(int32_t v) {
    return int8_t(uint8_t(uint32_t(v) & 0xFF));
}

void makeSawtooth(int8_t* out, int32_t length) {
    const int32_t step = 256 / (length - 1);
    for (int32_t j = 0; j < length; ++j) out[j] = low8(-128 + j * step);
}

void makeTriangle(int8_t* out, int32_t length) {
    const int32_t q = length / 4;
    const int32_t d = 128 / q;
    int32_t n = 0;
    for (int32_t i = 0; i < q; ++i) out[n++] = low8(i * d);
    out[n++] = 127;
    for (int32_t i = 1; i < q; ++i) out[n++] = low8(128 - i * d);
    for (int32_t i = 0; i < length / 2; ++i) out[n++] = out[i] == 127 ? int8_t(-128) : low8(-out[i]);
}

void makeSquares(int8_t* out) {
    for (int32_t k = 0; k < 32; ++k) {
        int8_t* square = out + k * kSquareWaveSize;
        const int32_t low = 126 - 2 * k;
        for (int32_t i = 0; i < kSquareWaveSize; ++i) square[i] = i < low ? int8_t(-128) : int8_t(127);
    }
}

void makeNoise(int8_t* out) {
    uint32_t state = 0x41595321;
    auto rotr = [](uint32_t v, int n) { return (v >> n) | (v << (32 - n)); };
    for (int32_t i = 0; i < kNoiseWaveSize; ++i) {
        uint8_t s = uint8_t(state & 0xFF);
        if (state & 0x100) s = (state & 0x8000) ? 0x80 : 0x7F;
        out[i] = int8_t(s);

        state = rotr(state, 5);
        state ^= 0x9A;
        uint32_t b = state & 0xFFFF;
        state = rotr(state, 32 - 2);
        uint32_t a = state & 0xFFFF;
        b = (b + a) & 0xFFFF;
        a ^= b;
        state = (state & 0xFFFF0000u) | a;
        state = rotr(state, 3);
    }
}

double clampSample(double v) {
    return v > 127.0 ? 127.0 : (v < -128.0 ? -128.0 : v);
}

// One wave through the state-variable filter: a settling run from rest, then
// the output run. The precision of each quantity is part of the sound: mid
// is always single precision, high only in the output run.
void filterWave(const int8_t* in, int8_t* lowOut, int8_t* highOut, int32_t length, double c) {
    double low = 0.0;
    float mid = 0.0f;
    for (int32_t j = 0; j < length; ++j) {
        const double high = clampSample(double(in[j]) - double(mid) - low);
        mid = float(clampSample(double(mid) + c * high));
        low = clampSample(low + c * double(mid));
    }
    for (int32_t j = 0; j < length; ++j) {
        const float high = float(clampSample(double(in[j]) - double(mid) - low));
        mid = float(clampSample(double(mid) + c * double(high)));
        low = clampSample(low + c * double(mid));
        lowOut[j] = int8_t(int32_t(low));
        highOut[j] = int8_t(int32_t(high));
    }
}

}  // namespace

WaveTables::WaveTables() : samples{} {
    int8_t* unfiltered = samples + size_t(kUnfilteredSet) * kWaveSetSize;
    for (int i = 0; i < 6; ++i)
        makeSawtooth(unfiltered + kSawtoothWavesOffset + waveLengthOffsets[i], 4 << i);
    for (int i = 0; i < 6; ++i)
        makeTriangle(unfiltered + kTriangleWavesOffset + waveLengthOffsets[i], 4 << i);
    makeSquares(unfiltered + kSquareWavesOffset);
    makeNoise(unfiltered + kNoiseWaveOffset);

    // The 45 waves filtered one by one, in layout order.
    struct Wave {
        int32_t offset, length;
    };
    Wave waves[45];
    int n = 0;
    for (int i = 0; i < 6; ++i) waves[n++] = {kTriangleWavesOffset + waveLengthOffsets[i], 4 << i};
    for (int i = 0; i < 6; ++i) waves[n++] = {kSawtoothWavesOffset + waveLengthOffsets[i], 4 << i};
    for (int k = 0; k < 32; ++k) waves[n++] = {kSquareWavesOffset + k * kSquareWaveSize, kSquareWaveSize};
    waves[n++] = {kNoiseWaveOffset, kNoiseWaveSize};

    const double coefficientUnit = double(0.0125f);
    for (int i = 0; i < 31; ++i) {
        const double c = double(8 + 3 * i) * coefficientUnit;
        int8_t* lowSet = samples + size_t(i) * kWaveSetSize;
        int8_t* highSet = samples + size_t(kUnfilteredSet + 1 + i) * kWaveSetSize;
        for (const Wave& w : waves) {
            filterWave(unfiltered + w.offset, lowSet + w.offset, highSet + w.offset, w.length, c);
        }
    }
}

}  // namespace ahx
