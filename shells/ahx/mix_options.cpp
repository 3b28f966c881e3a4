#include "shells/ahx/mix_options.h"

#include <optional>

#include "shells/ahx/command_line.h"

namespace tools {

namespace {

// "2,4" into `channels`; false for anything but channels 1..4 between commas.
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

OptionMatch matchMixOption(Args args, size_t& i, bool stereoOptions, MixOptions& options,
                           std::string& error) {
    std::string_view value;
    bool missing = false;
    for (const bool mute : {true, false}) {
        const char* name = mute ? "--mute" : "--solo";
        if (!matchOption(args, i, name, value, missing)) continue;
        if (missing || !parseChannelList(value, mute ? options.muted : options.soloed)) {
            error = std::string(name) + " needs channels from 1 to 4, such as 2,4";
            return OptionMatch::bad;
        }
        return OptionMatch::taken;
    }
    if (!stereoOptions) return OptionMatch::none;
    if (args[i] == "--stereo") {
        options.stereo = true;
        return OptionMatch::taken;
    }
    if (matchOption(args, i, "--separation", value, missing)) {
        const std::optional<int64_t> p = parseInteger(value, 0, 100);
        if (missing || !p) {
            error = "--separation needs a number from 0 (mono) to 100 (hard left and right)";
            return OptionMatch::bad;
        }
        options.separation = int32_t(*p);
        options.separationGiven = true;
        return OptionMatch::taken;
    }
    return OptionMatch::none;
}

std::string checkMixOptions(const MixOptions& options) {
    if (options.separationGiven && !options.stereo) return "--separation goes with --stereo";
    if (!options.anyHeard()) return "--mute and --solo leave no channel to hear";
    return {};
}

}  // namespace tools
