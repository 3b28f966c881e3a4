// Loudness as musicians level songs by: known signals must read as EBU R128
// defines them, and `ahx info --loudness` must measure each channel alone.
#include "shells/ahx/loudness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "ahx_tool_fixture.h"

namespace {

using namespace ahx_tool_test;

TEST(LoudnessMeter, KnownSignalsReadAsR128DefinesThem) {
    // A 997 Hz sine at half of full scale reads 6.02 dB below the -3.01 LUFS
    // of a full-scale one; the K-weighting ignores the offset, which the DC
    // figure reports instead, and the true peak includes it.
    constexpr int kRate = 44100;
    constexpr double kAmplitude = 16384, kOffset = 328;
    std::vector<int16_t> sine(10 * kRate);
    for (size_t i = 0; i < sine.size(); ++i) {
        sine[i] = int16_t(
            std::lround(kOffset + kAmplitude * std::sin(2 * std::numbers::pi * 997 * double(i) / kRate)));
    }
    tools::LoudnessMeter meter(kRate);
    for (size_t i = 0; i < sine.size(); i += 1000)
        meter.add(sine.data() + i, std::min<size_t>(1000, sine.size() - i));
    const tools::LoudnessFigures f = meter.figures();
    EXPECT_NEAR(f.integrated, -9.03, 0.1);
    EXPECT_NEAR(f.range, 0, 0.1);
    EXPECT_NEAR(f.truePeak, 20 * std::log10((kAmplitude + kOffset) / 32768), 0.15);
    EXPECT_NEAR(f.dcOffset, 20 * std::log10(kOffset / 32768), 0.05);
    EXPECT_EQ(f.frames, int64_t(sine.size()));
    EXPECT_EQ(f.clipped, 0);
    EXPECT_FALSE(f.silent);

    const std::vector<int16_t> clamped = {32767, -32768, 0, 32766, -32767};
    tools::LoudnessMeter clampedMeter(kRate);
    clampedMeter.add(clamped.data(), clamped.size());
    EXPECT_EQ(clampedMeter.figures().clipped, 2);

    const std::vector<int16_t> zeros(kRate);
    tools::LoudnessMeter silence(kRate);
    silence.add(zeros.data(), zeros.size());
    const tools::LoudnessFigures s = silence.figures();
    EXPECT_TRUE(s.silent);
    EXPECT_TRUE(std::isinf(s.integrated) && s.integrated < 0);
    EXPECT_TRUE(std::isinf(s.truePeak) && s.truePeak < 0);
    EXPECT_TRUE(std::isinf(s.dcOffset) && s.dcOffset < 0);
}

// The integrated loudness in the row of `name` ("mix", "channel 3") of the
// info output; NAN when the row says something else, such as "silent".
double integratedOf(const std::string& out, const std::string& name, std::string& row) {
    for (const std::string& line : lines(out)) {
        if (line.rfind("  " + name + " ", 0) != 0) continue;
        row = line;
        double value = NAN;
        std::sscanf(line.c_str() + 2 + name.size(), " %lf LUFS", &value);
        return value;
    }
    row = "";
    return NAN;
}

TEST_F(AhxTool, LoudnessMeasuresTheMixAndEachChannelAlone) {
    // Channels 1 and 3 hold the same triangle note, the third at half the
    // volume; 2 and 4 stay silent. In phase, the mix is 1.5 times channel 1.
    std::ostringstream text;
    text << "title \"levels\"\nrevision 1\nspeed-multiplier 1\nrestart 0\ntrack-length 16\ntrack-0 stored\n\n"
            "positions\n";
    for (int p = 0; p < 8; ++p) text << "    " << p << "  1 +0  0 +0  2 +0  0 +0\n";
    text << "\ntrack 0 empty\n";
    for (int t = 1; t <= 2; ++t) {
        text << "\ntrack " << t << "\n";
        for (int s = 0; s < 16; ++s) {
            if (s == 0) {
                text << "    0 C-3 0" << t << " " << (t == 1 ? "F06" : "000") << "\n";
            } else {
                text << "    " << s << " --- -- 000\n";
            }
        }
    }
    for (int i = 1; i <= 2; ++i) {
        text << "\ninstrument " << i << " \"held\"\n    volume " << (i == 1 ? 64 : 32)
             << "\n    wave-length 3\n    attack 1 64\n    decay 1 64\n    sustain 0\n    release 1 64\n"
                "    filter 0 0 0\n    square 0 0 0\n    vibrato 0 0 0\n    hard-cut 0\n    playlist 1\n"
                "        0 tri +0 000 000\n";
    }
    writeBytes("levels.ahxt", text.str());

    Result r = run("info " + path("levels.ahxt") + " --loudness");
    ASSERT_EQ(r.code, 0) << r.err;
    std::string mixRow, firstRow, thirdRow, row;
    const double mix = integratedOf(r.out, "mix", mixRow);
    const double first = integratedOf(r.out, "channel 1", firstRow);
    const double third = integratedOf(r.out, "channel 3", thirdRow);
    ASSERT_FALSE(std::isnan(mix) || std::isnan(first) || std::isnan(third)) << r.out;
    EXPECT_NEAR(first - third, 6.02, 0.2) << r.out;
    EXPECT_NEAR(mix - first, 20 * std::log10(1.5), 0.2) << r.out;
    EXPECT_LT(first, -10) << r.out;
    for (const char* silent : {"channel 2", "channel 4"}) {
        integratedOf(r.out, silent, row);
        EXPECT_NE(row.find("silent"), std::string::npos) << silent << ":\n" << r.out;
    }
    EXPECT_NE(r.out.find("clipped:          none"), std::string::npos) << r.out;

    // Without the option, info renders nothing and prints no loudness.
    Result plain = run("info " + path("levels.ahxt"));
    ASSERT_EQ(plain.code, 0) << plain.err;
    EXPECT_EQ(plain.out.find("LUFS"), std::string::npos) << plain.out;
}

}  // namespace
