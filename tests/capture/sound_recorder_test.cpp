// The sound recorder: a long WAV recording as sox reads it; a YM6 file read back from the
// format's published layout and played through the YM synthesiser, which must make the very
// sound the recording was made from; waiting for the first sound; the names and the messages.
#include "capture/sound_recorder.h"

#include <cstring>
#include <memory>
#include <tuple>

#include "capture_test_support.h"
#include "cpu/cpu.h"
#include "sound/ym2149.h"

namespace orvet {
namespace {

using namespace orvet::testing;

// A YM2149 on its own, played a frame at a time as the frame end plays it. Every write lands at
// the frame's first cycle: a YM6 file holds the registers once a frame, so only such writes come
// back at the same moment.
struct Chip {
    Ym2149 ym;
    YmSynth synth;
    CpuState cpu;

    Chip() { YmReset(ym); }
    void Write(uint8_t registerNumber, uint8_t value) {
        YmWriteByte(ym, cpu, 0xFF8800, registerNumber, 0);
        YmWriteByte(ym, cpu, 0xFF8802, value, 0);
    }
    std::vector<int16_t> Frame() {
        std::vector<int32_t> made(kSamplesPerPacedFrame);
        SoundLogClose(ym.soundLog);
        YmRender(synth, ym, made.data(), kSamplesPerPacedFrame);
        SoundLogRestart(ym.soundLog);
        return {made.begin(), made.end()};
    }
    YmRegisterSource Source() { return {&synth, &ym.synth}; }
};

// A YM6 file as the published layout defines it: "YM6!" and the check string "LeOnArD!"; the frame
// count, attributes (bit 0: interleaved), digidrums, chip clock, frame rate, loop frame and extra
// data size, big-endian; three texts closed by zeros; 16 register planes of a byte a frame; "End!".
struct Ym6File {
    std::string identifier, name, author, comment, endMark;
    std::vector<uint32_t> header;
    std::vector<std::array<uint8_t, 16>> registers;  // by frame
};

Ym6File ReadYm6(const std::vector<uint8_t>& bytes) {
    Ym6File file;
    file.identifier.assign(bytes.begin(), bytes.begin() + 12);
    size_t at = 12;
    for (int size : {4, 4, 2, 4, 2, 4, 2}) {
        uint32_t value = 0;
        for (int byte = 0; byte < size; ++byte) value = value << 8 | bytes.at(at++);
        file.header.push_back(value);
    }
    for (std::string* text : {&file.name, &file.author, &file.comment}) {
        while (bytes.at(at) != 0) *text += char(bytes[at++]);
        ++at;
    }
    const uint32_t frames = file.header[0];
    if (at + 16 * frames + 4 != bytes.size()) return file;
    file.registers.resize(frames);
    for (int plane = 0; plane < 16; ++plane) {
        for (auto& frame : file.registers) frame[plane] = bytes[at++];
    }
    file.endMark.assign(bytes.begin() + long(at), bytes.end());
    return file;
}

class SoundRecorderTest : public DataFolderTest {
protected:
    // The one message shown, as (text, blinking, how long it lasts in whole seconds or -1).
    std::tuple<std::string, bool, int> Shown() const {
        for (const StatusSlot& slot : messages.slots) {
            if (!slot.active) continue;
            const int lasts =
                slot.expiry == kStatusNeverExpires
                    ? -1
                    : int((slot.expiry - int32_t(messages.hostMilliseconds())) + 500) / 1000;
            return {slot.text, slot.blink == kStatusBlinking, lasts};
        }
        return {"(nothing)", false, 0};
    }

    StatusMessages messages;
    SoundRecorder recorder;

    void SetUp() override {
        DataFolderTest::SetUp();
        messages.hostMilliseconds = [] { return uint32_t(100000); };
    }
};

TEST_F(SoundRecorderTest, AWavRecordingOf3000FramesHoldsTheirSamplesAndShowsItsTime) {
    WriteText(PathOf("sound/song_000.wav"), "");
    WriteText(PathOf("sound/song_001.wav"), "");
    WriteText(PathOf("sound/song_002.ym"), "");  // YM files keep their own numbers
    SoundRecorderInit(recorder, messages, DataFolder(), {}, true);
    EXPECT_EQ(recorder.fileName, "sound/song_002.wav");
    EXPECT_EQ(recorder.state, RecorderState::Recording);  // WAV never waits
    std::vector<int16_t> all;
    std::vector<int16_t> frame(kSamplesPerPacedFrame);
    for (int number = 0; number < 3000; ++number) {
        for (size_t index = 0; index < frame.size(); ++index) {
            frame[index] = int16_t(number * 131 + index * 7);
        }
        SoundRecorderFrame(recorder, frame.data(), int(frame.size()));
        all.insert(all.end(), frame.begin(), frame.end());
        if (number == 0) {
            EXPECT_EQ(Shown(), std::make_tuple("Recording WAV file. (0:00)", true, -1));
        }
    }
    // 881 samples a frame are a little less than 44,100 a second.
    EXPECT_EQ(Shown(), std::make_tuple("Recording WAV file. (0:59)", true, -1));
    // Until the end the sound is only in a hidden temporary file.
    ASSERT_EQ(FilesIn("sound").size(), 4u);
    EXPECT_EQ(FilesIn("sound")[0][0], '.');

    const RecordingResult result = SoundRecorderFinish(recorder);
    EXPECT_EQ(result.outcome, RecordingOutcome::Saved) << result.error;
    EXPECT_EQ(result.fileName, "sound/song_002.wav");
    EXPECT_EQ(Shown(), std::make_tuple("sound/song_002.wav is saved.", false, 2));
    EXPECT_EQ(FilesIn("sound"), (std::vector<std::string>{"song_000.wav", "song_001.wav",
                                                          "song_002.wav", "song_002.ym"}));

    if (!HaveProgram("sox")) GTEST_SKIP() << "sox is not installed (scripts/setup.sh installs it)";
    const std::string path = PathOf(result.fileName);
    const CommandResult information = RunCommand("sox --i '" + path + "'");
    ASSERT_TRUE(information.succeeded);
    for (const char* expected : {"Channels       : 1", "Sample Rate    : 44100",
                                 "Precision      : 16-bit", "= 2643000 samples"}) {
        EXPECT_NE(information.output.find(expected), std::string::npos) << information.output;
    }
    const CommandResult samples = RunCommand("sox '" + path + "' -t raw -e signed -b 16 -L -");
    ASSERT_TRUE(samples.succeeded);
    ASSERT_EQ(samples.output.size(), all.size() * 2);
    EXPECT_EQ(std::memcmp(samples.output.data(), all.data(), samples.output.size()), 0);
}

TEST_F(SoundRecorderTest, AYm6RecordingStartsWithTheFirstSoundAndPlaysBackAsTheChipSounded) {
    WriteText(PathOf("sound/song_000.wav"), "");
    auto source = std::make_unique<Chip>();
    SoundRecorderInit(recorder, messages, DataFolder(), source->Source(), true);
    EXPECT_EQ(recorder.fileName, "sound/song_000.ym");
    EXPECT_EQ(Shown(), std::make_tuple("Waiting for YM Chip access...", true, -1));

    std::vector<std::vector<int16_t>> heard;
    for (int frame = 0; frame < 110; ++frame) {
        Chip& chip = *source;
        if (frame < 5) chip.Write(7, 0x3F), chip.Write(8, 15);  // every channel off
        if (frame == 5) chip.Write(7, 0x3E), chip.Write(8, 0);  // tone A on, no volume
        if (frame >= 10) {
            // Tone A sliding, B on the envelope, noise on C; the mixer changes half way.
            const int period = 200 + frame % 10 * 13;
            chip.Write(0, uint8_t(period)), chip.Write(1, uint8_t(period >> 8));
            chip.Write(2, 0x40), chip.Write(3, 0x01);
            chip.Write(6, uint8_t(frame % 31));
            chip.Write(7, frame < 40 ? 0x1C : 0x1A);
            chip.Write(8, 12), chip.Write(9, 0x10), chip.Write(10, 10);
            chip.Write(11, 0x00), chip.Write(12, 0x03);
        }
        // The shape written restarts the envelope; a frame without the write must not.
        if (frame == 10 || frame == 60) chip.Write(13, 0x0E);
        if (frame == 85) chip.Write(13, 0x08);
        heard.push_back(chip.Frame());
        SoundRecorderFrame(recorder, heard.back().data(), kSamplesPerPacedFrame);
        if (frame == 9) {
            EXPECT_EQ(recorder.state, RecorderState::WaitingForSound);
        }
    }
    EXPECT_EQ(Shown(), std::make_tuple("Recording YM file. (0:01)", true, -1));
    const RecordingResult result = SoundRecorderFinish(recorder);
    ASSERT_EQ(result.outcome, RecordingOutcome::Saved) << result.error;
    EXPECT_EQ(result.fileName, "sound/song_000.ym");

    const std::vector<uint8_t> bytes = ReadBytes(PathOf(result.fileName));
    const Ym6File file = ReadYm6(bytes);
    EXPECT_EQ(file.identifier, "YM6!LeOnArD!");
    EXPECT_EQ(file.header, (std::vector<uint32_t>{100, 1, 0, 2000000, 50, 0, 0}));
    EXPECT_EQ(file.name, "sound/song_000.ym");
    EXPECT_EQ(file.author, "Unknown.");
    EXPECT_EQ(file.comment, "Generated with Orvet");
    EXPECT_EQ(file.endMark, "End!");
    EXPECT_EQ(bytes.size(), 34 + 16 * 100 + 4 + file.name.size() + 1 + 9 + 21);
    ASSERT_EQ(file.registers.size(), 100u);
    EXPECT_EQ(file.registers[0][13], 0x0E);
    EXPECT_EQ(file.registers[1][13], 0xFF);
    EXPECT_EQ(file.registers[50][13], 0x0E);
    EXPECT_EQ(file.registers[75][13], 0x08);
    EXPECT_EQ(file.registers[99][14], 0);
    EXPECT_EQ(file.registers[99][15], 0);

    // A player: a chip from reset given each frame's registers at the frame's start, the shape
    // only when the frame wrote it.
    auto player = std::make_unique<Chip>();
    for (size_t frame = 0; frame < file.registers.size(); ++frame) {
        for (uint8_t number = 0; number < 14; ++number) {
            const uint8_t value = file.registers[frame][number];
            if (number != 13 || value != 0xFF) player->Write(number, value);
        }
        ASSERT_EQ(player->Frame(), heard[10 + frame]) << "frame " << frame;
    }
}

TEST_F(SoundRecorderTest, NoFileForASilentYmRecordingAndAnErrorForOneThatCannotBeWritten) {
    auto chip = std::make_unique<Chip>();
    SoundRecorderInit(recorder, messages, DataFolder(), chip->Source(), true);
    SoundRecorderFrame(recorder, nullptr, kSamplesPerPacedFrame);
    EXPECT_EQ(SoundRecorderFinish(recorder).outcome, RecordingOutcome::Cancelled);
    EXPECT_EQ(Shown(), std::make_tuple("Recording canceled.", false, 1));
    EXPECT_TRUE(FilesIn("sound").empty());

    // A "sound" that is not a folder: the end of each recording says so, and leaves nothing.
    fs::remove_all(folder_ / "sound");
    WriteText(PathOf("sound"), "");
    for (const bool ym : {false, true}) {
        SCOPED_TRACE(ym ? "YM" : "WAV");
        messages = {};
        messages.hostMilliseconds = [] { return uint32_t(100000); };
        SoundRecorder failing;
        SoundRecorderInit(failing, messages, DataFolder(), ym ? chip->Source() : YmRegisterSource{},
                          false);
        std::vector<int16_t> frame(kSamplesPerPacedFrame, 1000);
        SoundRecorderFrame(failing, frame.data(), int(frame.size()));
        const RecordingResult result = SoundRecorderFinish(failing);
        EXPECT_EQ(result.outcome, RecordingOutcome::Failed);
        const std::string name = ym ? "sound/song_000.ym" : "sound/song_000.wav";
        EXPECT_EQ(Shown(), std::make_tuple("ERROR: Unable to create " + name + " !", false, 2));
        EXPECT_NE(result.error.find(name), std::string::npos) << result.error;
    }
}

}  // namespace
}  // namespace orvet
