// Recording what the machine plays: the mixed sound as a WAV file, or the YM2149's registers once
// a frame as a YM6 file for YM players. The capture window starts and stops a recorder; while one
// exists, the frame loop hands it each frame's 881 samples, and a blinking status line shows the
// time recorded.
//
// A YM recording may wait for the chip to make a sound, so that a tune saved from its first note
// does not begin with seconds of silence. A WAV recording starts at once.
//
// Files go to the data folder's "sound" folder as song_NNN.wav or song_NNN.ym, numbered by their
// own extension. A WAV recording streams into a temporary file there; each kind gets its numbered
// name only when complete (see capture_files.h).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "capture/capture_files.h"
#include "capture/wav_writer.h"
#include "machine/status_messages.h"
#include "sound/ym_synth.h"

namespace orvet {

// The chip whose registers a YM recording reads: the synthesiser's copy of them, which follows
// every write the frame made.
struct YmRegisterSource {
    YmSynth* synth = nullptr;  // none: a WAV recording
    YmSynthResetState* chip = nullptr;
};

enum class RecorderState : uint8_t {
    WaitingForSound = 0,
    Recording = 1,
    Failed = 2,  // out of memory: nothing more is recorded, nothing is written
};

// The YM recording's buffer grows by this much at a time.
constexpr size_t kYmRecordingGrowth = 262144;
constexpr int32_t kRecorderSavedMilliseconds = 2000;
constexpr int32_t kRecorderCancelledMilliseconds = 1000;

struct SoundRecorder {
    StatusMessages* messages = nullptr;
    CaptureName name;
    std::string fileName;  // "sound/song_NNN.wav" as chosen at the start
    int messageId = -1;
    int64_t lastSecond = -1;
    bool waitForSound = false;
    RecorderState state = RecorderState::WaitingForSound;
    uint64_t samples = 0;  // since the recording began
    // WAV
    WavWriter wav;
    std::string temporaryPath;
    std::string wavError;  // why the sound is not being kept, once something failed
    // YM
    YmRegisterSource ym;
    uint32_t frames = 0;
    std::array<uint8_t, kYmRegistersRecorded> registers{};
    std::vector<uint8_t> frameData;  // 14 bytes a frame
};

// Makes a recorder: YM when ym names a chip, else WAV. waitForSound holds a YM recording back until
// a channel is enabled with some volume.
void SoundRecorderInit(SoundRecorder& recorder, StatusMessages& messages,
                       const std::string& dataFolder, YmRegisterSource ym, bool waitForSound);

// One emulated frame: its mixed samples (881 while a recorder exists) and, for YM, the registers
// as the frame left them.
void SoundRecorderFrame(SoundRecorder& recorder, const int16_t* samples, int count);

enum class RecordingOutcome : uint8_t {
    Cancelled,  // no sound ever came: no file
    Saved,
    Failed,  // the file could not be written
    Lost,    // the recorder had failed for memory already: no file
};

struct RecordingResult {
    RecordingOutcome outcome = RecordingOutcome::Cancelled;
    std::string fileName;  // the file's name, or the name it would have had
    std::string error;     // one line when Failed
};

// Ends the recording and writes its file, saying how it went in a status line: "... is saved." or
// "ERROR: Unable to create ... !". The recorder is done with afterwards.
RecordingResult SoundRecorderFinish(SoundRecorder& recorder);

}  // namespace orvet
