// The `ahx` tool run as a user would: songs written by the test into a
// folder of its own, the tool started through the shell, and its output
// files, printed lines and exit code read back.
#pragma once

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "ahx/player.h"
#include "ahx/song_image.h"
#include "audio/memory_output.h"
#include "support/synthetic_songs.h"
#include "support/wave_bank.h"

namespace ahx_tool_test {

namespace fs = std::filesystem;

struct Result {
    int code;
    std::string out;
    std::string err;
};

inline std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

class AhxTool : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new fs::path(fs::temp_directory_path() / ("ahx_cli_test_" + std::to_string(::getpid())));
        fs::create_directories(*dir_);
        writeSong("busy.ahx", synthetic::busySong(5));
        writeSong("empty.ahx", synthetic::emptySong(4, 2));
        ahx::Song stops = synthetic::emptySong(4, 2);
        stops.tracks[0][2].command = 0xF;  // F00 on the third step
        writeSong("stops.ahx", stops);
        writeBytes("garbage.ahx", "this is no song at all");
        writeBytes("revision.ahx", std::string("THX\x05", 4) + std::string(40, '\0'));
        const std::vector<uint8_t> busy = ahx::writeSongImage(ahx::imageOf(synthetic::busySong(5)));
        writeBytes("truncated.ahx", std::string(busy.begin(), busy.begin() + long(busy.size() / 2)));
        fs::create_directories(*dir_ / "folder.ahx");
    }

    static void TearDownTestSuite() {
        std::error_code ignored;
        fs::remove_all(*dir_, ignored);
        delete dir_;
    }

    static void writeSong(const std::string& name, const ahx::Song& song) {
        const std::vector<uint8_t> bytes = ahx::writeSongImage(ahx::imageOf(song));
        ASSERT_FALSE(bytes.empty()) << name;
        writeBytes(name, std::string(bytes.begin(), bytes.end()));
    }

    static void writeBytes(const std::string& name, const std::string& bytes) {
        std::ofstream(*dir_ / name, std::ios::binary) << bytes;
    }

    static std::string path(const std::string& name) { return (*dir_ / name).string(); }

    // Standard output goes to `stdoutPath` when given; `environment` is put
    // before the command ("NAME=VALUE ").
    static Result run(const std::string& arguments, const std::string& stdoutPath = "",
                      const std::string& environment = "") {
        const std::string out = stdoutPath.empty() ? path("stdout.txt") : stdoutPath;
        const std::string err = path("stderr.txt");
        const std::string command =
            environment + std::string(AHX_TOOL) + " " + arguments + " >" + out + " 2>" + err + " </dev/null";
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, stdoutPath.empty() ? readText(out) : "",
                readText(err)};
    }

    // The samples a fresh program plays for the song file `name`.
    static std::vector<int16_t> expectedSamples(const std::string& name, int64_t count) {
        const std::string bytes = readText(path(name));
        auto player = std::make_unique<ahx::Player>();
        player->bindWaveTables(&test_support::sharedBank());
        EXPECT_EQ(ahx::loadSong(player->song, reinterpret_cast<const uint8_t*>(bytes.data()),
                                int32_t(bytes.size())),
                  1);
        player->startSubsong(0);
        audio::MemoryOutput out;
        EXPECT_EQ(out.setup(44100, 16, 2, 1.0f), 1);
        EXPECT_EQ(out.play(player.get()), 1);
        std::vector<int16_t> samples(static_cast<size_t>(count));
        out.renderPcm16(samples.data(), count);
        return samples;
    }

    static std::vector<int16_t> readSound(const std::string& name, SF_INFO& info) {
        info = {};
        SNDFILE* file = sf_open(path(name).c_str(), SFM_READ, &info);
        EXPECT_NE(file, nullptr) << name;
        if (file == nullptr) return {};
        std::vector<int16_t> samples(static_cast<size_t>(info.frames * info.channels));
        EXPECT_EQ(sf_read_short(file, samples.data(), sf_count_t(samples.size())),
                  sf_count_t(samples.size()));
        sf_close(file);
        return samples;
    }

    static inline fs::path* dir_ = nullptr;
};

}  // namespace ahx_tool_test
