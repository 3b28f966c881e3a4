#pragma once

// Names the calling thread, so that debuggers and process lists tell the
// playback thread from the others. Best effort: a system that cannot name
// threads leaves the name as it was. Names longer than 15 characters may be cut.
namespace audio {

void nameCurrentThread(const char* name);

}  // namespace audio
