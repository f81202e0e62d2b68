// The WAV writer: what sox reads from its files, a header that is right at every moment of a
// recording, and files that cannot be created or fill the disk part-way.
#include "capture/wav_writer.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace orvet {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The file holds the 44-byte PCM mono 44,100 Hz 16-bit header declaring `samples`, then them.
void ExpectWav(const std::string& path, const std::vector<int16_t>& samples) {
    const uint32_t size = uint32_t(samples.size() * 2);
    std::vector<uint8_t> expected = {'R', 'I', 'F',  'F',  0,   0,   0,    0,    'W', 'A', 'V',
                                     'E', 'f', 'm',  't',  ' ', 16,  0,    0,    0,   1,   0,
                                     1,   0,   0x44, 0xAC, 0,   0,   0x88, 0x58, 1,   0,   2,
                                     0,   16,  0,    'd',  'a', 't', 'a',  0,    0,   0,   0};
    for (int byte = 0; byte < 4; ++byte) {
        expected[4 + byte] = uint8_t((size + 36) >> (8 * byte));
        expected[40 + byte] = uint8_t(size >> (8 * byte));
    }
    for (int16_t sample : samples) {
        expected.push_back(uint8_t(sample));
        expected.push_back(uint8_t(uint16_t(sample) >> 8));
    }
    EXPECT_EQ(ReadBytes(path), expected);
}

class WavWriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("orvet_wav_test_" + std::to_string(getpid()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    fs::path folder_;
    WavWriter writer;
    std::string error;
    std::vector<int16_t> frame = std::vector<int16_t>(881);
};

TEST_F(WavWriterTest, FramesAppendedMakeAValidFileAtEveryStepThatSoxReads) {
    const std::string path = (folder_ / "song_000.wav").string();
    ASSERT_TRUE(WavOpen(writer, path, &error)) << error;
    std::vector<int16_t> all;
    ExpectWav(path, all);  // an empty recording is already a WAV
    for (int frameNumber = 0; frameNumber < 3; ++frameNumber) {
        for (size_t index = 0; index < frame.size(); ++index) {
            frame[index] = int16_t(-32768 + 20000 * frameNumber + 37 * int(index));
        }
        ASSERT_TRUE(WavAppend(writer, frame.data(), frame.size(), &error)) << error;
        all.insert(all.end(), frame.begin(), frame.end());
        ExpectWav(path, all);  // mid-recording, before closing
    }
    ASSERT_TRUE(WavClose(writer, &error)) << error;
    ExpectWav(path, all);

    if (std::system("command -v sox >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "sox is not installed (scripts/setup.sh installs it)";
    }
    std::FILE* pipe = popen(("sox --i '" + path + "' 2>&1").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string report;
    std::array<char, 256> line;
    while (std::fgets(line.data(), line.size(), pipe)) report += line.data();
    EXPECT_EQ(pclose(pipe), 0) << report;
    for (const char* expected : {"Channels       : 1", "Sample Rate    : 44100",
                                 "Precision      : 16-bit", "= 2643 samples"}) {
        EXPECT_NE(report.find(expected), std::string::npos) << expected << " in\n" << report;
    }
}

TEST_F(WavWriterTest, FailuresNameTheFileAndNeverLeaveAWrongHeader) {
    const std::string missing = (folder_ / "no/such/folder/song.wav").string();
    EXPECT_FALSE(WavOpen(writer, missing, &error));
    EXPECT_EQ(error, "cannot create " + missing + ": No such file or directory");
    EXPECT_FALSE(WavAppend(writer, frame.data(), 1, &error));
    EXPECT_EQ(error, "cannot record sound: no WAV file is open");

    // A disk that fills up mid-recording (a file size limit stands in for it): the append fails
    // and the file keeps the samples before it, with a header that declares exactly those.
    const std::string path = (folder_ / "full.wav").string();
    ASSERT_TRUE(WavOpen(writer, path, &error)) << error;
    ASSERT_TRUE(WavAppend(writer, frame.data(), 100, &error)) << error;
    rlimit original{};
    getrlimit(RLIMIT_FSIZE, &original);
    rlimit small = original;
    small.rlim_cur = 1000;
    auto* previousHandler = signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    const bool appended = WavAppend(writer, frame.data(), frame.size(), &error);
    setrlimit(RLIMIT_FSIZE, &original);
    signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(appended);
    EXPECT_EQ(error, "cannot write " + path + ": File too large");
    ExpectWav(path, std::vector<int16_t>(100));
    EXPECT_FALSE(WavAppend(writer, frame.data(), 1, &error));  // the recording has stopped
    EXPECT_EQ(error, "cannot write " + path + ": the recording already failed");
    EXPECT_TRUE(WavClose(writer, &error)) << error;
    ExpectWav(path, std::vector<int16_t>(100));
}

}  // namespace
}  // namespace orvet
