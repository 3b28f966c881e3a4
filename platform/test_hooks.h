// Probes and fault injection of the Linux layer, for tests of the code above
// it: failures the real system gives only rarely, made to happen on demand.
#pragma once

#include <cstdint>

namespace platform {

struct HWAVEOUT__;

// The next `count` successful GlobalAlloc calls go through, the one after
// fails (null, ERROR_NOT_ENOUGH_MEMORY); a negative count ends the injection.
void failGlobalAllocAfter(int32_t count);
// Global memory blocks allocated and not yet freed.
int32_t liveGlobalAllocations();

// The next `count` waveOutWrite calls fail with MMSYSERR_NOMEM and queue nothing.
void failWaveOutWrites(int32_t count);
// Devices opened and not yet closed.
int32_t openWaveOutCount();
// While held, every device's worker waits before it hands a piece to its
// sink, as if the sink were stuck in a write.
void holdWaveOutSinks(bool hold);
// Calls `hook` with the handle each time a waveOut call has found its device
// open, before it uses it; null ends it.
void afterWaveOutHandleCheck(void (*hook)(HWAVEOUT__*));

}  // namespace platform
