// The options that choose what of a song is heard and how: --stereo and
// --separation (render, play), --mute and --solo (render, play, trace).
// Channels are counted from 1 on the command line and from 0 inside.
#pragma once

#include <cstdint>
#include <string>

#include "shells/ahx/command_line.h"

namespace tools {

// Headphones carry no sound from one side to the other ear, as loudspeakers
// in a room do; the Amiga's hard left and right there is tiring and odd.
// At 50 a voice still reaches the far ear a third as loud (about 10 dB
// down): each stays clearly on its side, and nothing sits in one ear alone.
inline constexpr int32_t kDefaultSeparation = 50;

struct MixOptions {
    bool stereo = false;
    int32_t separation = kDefaultSeparation;
    bool separationGiven = false;
    bool muted[4] = {};
    bool soloed[4] = {};

    // Channel v is heard: not muted, and soloed when any channel is.
    bool heard(int v) const;
    void heardChannels(bool (&heard)[4]) const;
    bool anyHeard() const;
};

// Adds --mute and --solo to `line`, and with `stereoOptions` --stereo and
// --separation, read into `options`.
void addMixOptions(CommandLine& line, MixOptions& options, bool stereoOptions);

// After all arguments: the usage error of options that do not go together,
// or an empty string.
std::string checkMixOptions(const MixOptions& options);

}  // namespace tools
