#include "shells/ahx/mix_options.h"

#include <optional>

#include "shells/ahx/command_line.h"

namespace tools {

namespace {

// "2,4" into `channels`; false for anything but channels 1..4 between
// commas. Ours, as CLI11's lists pass over an empty item ("2,,3").
bool parseChannelList(std::string_view text, bool (&channels)[4]) {
    if (text.empty()) return false;
    for (;;) {
        const size_t comma = text.find(',');
        const std::optional<int64_t> channel = parseInteger(text.substr(0, comma), 1, 4);
        if (!channel) return false;
        channels[*channel - 1] = true;
        if (comma == std::string_view::npos) return true;
        text.remove_prefix(comma + 1);
    }
}

}  // namespace

bool MixOptions::heard(int v) const {
    const bool anySolo = soloed[0] || soloed[1] || soloed[2] || soloed[3];
    return !muted[v] && (!anySolo || soloed[v]);
}

void MixOptions::heardChannels(bool (&out)[4]) const {
    for (int v = 0; v < 4; ++v) out[v] = heard(v);
}

bool MixOptions::anyHeard() const {
    return heard(0) || heard(1) || heard(2) || heard(3);
}

void addMixOptions(CommandLine& line, MixOptions& options, bool stereoOptions) {
    for (const bool mute : {true, false}) {
        const std::string name = mute ? "--mute" : "--solo";
        bool(&channels)[4] = mute ? options.muted : options.soloed;
        line.value(
            name, [&channels](const std::string& text) { return parseChannelList(text, channels); },
            name + " needs channels from 1 to 4, such as 2,4");
    }
    if (!stereoOptions) return;
    line.flag("--stereo", options.stereo);
    line.value(
        "--separation",
        [&options](const std::string& text) {
            const std::optional<int64_t> p = parseInteger(text, 0, 100);
            if (!p) return false;
            options.separation = int32_t(*p);
            options.separationGiven = true;
            return true;
        },
        "--separation needs a number from 0 (mono) to 100 (hard left and right)");
}

std::string checkMixOptions(const MixOptions& options) {
    if (options.separationGiven && !options.stereo) return "--separation goes with --stereo";
    if (!options.anyHeard()) return "--mute and --solo leave no channel to hear";
    return {};
}

}  // namespace tools
