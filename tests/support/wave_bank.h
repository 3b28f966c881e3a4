// The waveform bank every test plays through. Building it takes a while, so
// a test program builds it once; it is never freed, as playback threads may
// still read it while the program ends.
#pragma once

#include "ahx/wave_tables.h"

namespace test_support {

inline const ahx::WaveTables& sharedBank() {
    static const auto* bank = new ahx::WaveTables;
    return *bank;
}

}  // namespace test_support
