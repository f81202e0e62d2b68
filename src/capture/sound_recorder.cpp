#include "capture/sound_recorder.h"

#include <unistd.h>

#include <cstdio>
#include <new>

#include "capture/ym6.h"

namespace orvet {
namespace {

bool IsYm(const SoundRecorder& recorder) {
    return recorder.ym.synth != nullptr;
}

std::string UnableToCreate(const std::string& fileName) {
    return "ERROR: Unable to create " + fileName + " !";
}

// A tune is heard once some channel has its tone or noise on and a volume or the envelope.
bool ChipIsSilent(const std::array<uint8_t, kYmRegistersRecorded>& registers) {
    const bool everyChannelOff = (registers[7] & 0x3F) == 0x3F;
    const bool noVolume =
        (registers[8] & 0x1F) == 0 && (registers[9] & 0x1F) == 0 && (registers[10] & 0x1F) == 0;
    return everyChannelOff || noVolume;
}

void Begin(SoundRecorder& recorder) {
    RemoveStatusMessage(*recorder.messages, recorder.messageId);
    recorder.messageId =
        ShowStatusMessage(*recorder.messages, "", kStatusNeverExpires, kStatusBlinking);
    recorder.state = RecorderState::Recording;
    if (IsYm(recorder)) return;
    std::string reason;
    if (!CreateCaptureTemporary(recorder.name, recorder.temporaryPath, &reason) ||
        !WavOpen(recorder.wav, recorder.temporaryPath, &reason)) {
        // The recording goes on, so that its time still shows; the failure is told at the end.
        if (!recorder.temporaryPath.empty()) unlink(recorder.temporaryPath.c_str());
        recorder.temporaryPath.clear();
        recorder.wavError = reason;
    }
}

// False when the buffer could not grow: the recording is then lost.
bool AppendFrame(SoundRecorder& recorder, bool shapeWritten) {
    std::vector<uint8_t>& data = recorder.frameData;
    if (data.size() + kYmRegistersRecorded > data.capacity()) {
        try {
            data.reserve(data.capacity() + kYmRecordingGrowth);
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    ++recorder.frames;
    data.insert(data.end(), recorder.registers.begin(), recorder.registers.end());
    if (!shapeWritten) data.back() = kYm6ShapeNotWritten;
    return true;
}

void ShowElapsed(SoundRecorder& recorder) {
    const int64_t second = static_cast<int64_t>(recorder.samples / kWavSampleRate);
    if (second == recorder.lastSecond) return;
    recorder.lastSecond = second;
    char text[64];
    std::snprintf(text, sizeof text, "Recording %s file. (%lld:%02lld)",
                  IsYm(recorder) ? "YM" : "WAV", static_cast<long long>(second / 60),
                  static_cast<long long>(second % 60));
    SetStatusMessageText(*recorder.messages, recorder.messageId, text);
}

}  // namespace

void SoundRecorderInit(SoundRecorder& recorder, StatusMessages& messages,
                       const std::string& dataFolder, YmRegisterSource ym, bool waitForSound) {
    recorder.messages = &messages;
    recorder.ym = ym.synth && ym.chip ? ym : YmRegisterSource{};
    recorder.waitForSound = waitForSound;
    recorder.name = CaptureName{dataFolder, kSoundFolder, kSoundPrefix, IsYm(recorder) ? "ym" : "wav"};
    recorder.fileName = CaptureRelativeName(recorder.name, FirstFreeCaptureNumber(recorder.name));
    if (!IsYm(recorder) || !waitForSound) {
        Begin(recorder);
        return;
    }
    // Whatever the shape register saw before now is not part of the recording.
    ReadRegisters(*recorder.ym.synth, *recorder.ym.chip, recorder.registers);
    recorder.messageId = ShowStatusMessage(messages, "Waiting for YM Chip access...",
                                           kStatusNeverExpires, kStatusBlinking);
    recorder.state = RecorderState::WaitingForSound;
}

void SoundRecorderFrame(SoundRecorder& recorder, const int16_t* samples, int count) {
    if (recorder.state == RecorderState::Failed) return;
    if (IsYm(recorder)) {
        bool shapeWritten = false;
        ReadRegisters(*recorder.ym.synth, *recorder.ym.chip, recorder.registers, &shapeWritten);
        if (recorder.state == RecorderState::WaitingForSound) {
            if (ChipIsSilent(recorder.registers)) return;
            Begin(recorder);
        }
        if (!AppendFrame(recorder, shapeWritten)) {
            RemoveStatusMessage(*recorder.messages, recorder.messageId);
            recorder.messageId = -1;
            recorder.state = RecorderState::Failed;
            recorder.frameData = {};
            ShowStatusMessage(*recorder.messages, "MEMORY ALLOC Error !!!",
                              kRecorderSavedMilliseconds, kStatusBlinking);
            return;
        }
    } else if (WavIsOpen(recorder.wav) && !recorder.wav.failed && recorder.wavError.empty() &&
               samples && count > 0) {
        WavAppend(recorder.wav, samples, static_cast<size_t>(count), &recorder.wavError);
        // A WAV file holds at most about 6 hours 45 minutes; what fits is a whole recording.
        if (recorder.wav.samples >= kWavMaxSamples) recorder.wavError.clear();
    }
    ShowElapsed(recorder);
    if (count > 0) recorder.samples += static_cast<uint64_t>(count);
}

RecordingResult SoundRecorderFinish(SoundRecorder& recorder) {
    RecordingResult result;
    result.fileName = recorder.fileName;
    RemoveStatusMessage(*recorder.messages, recorder.messageId);
    recorder.messageId = -1;
    switch (recorder.state) {
        case RecorderState::WaitingForSound:
            ShowStatusMessage(*recorder.messages, "Recording canceled.",
                              kRecorderCancelledMilliseconds, 0);
            result.outcome = RecordingOutcome::Cancelled;
            return result;
        case RecorderState::Failed:
            result.outcome = RecordingOutcome::Lost;
            return result;
        case RecorderState::Recording:
            break;
    }

    bool saved = false;
    if (IsYm(recorder)) {
        const std::vector<uint8_t> bytes =
            EncodeYm6(recorder.frameData, recorder.fileName, "Unknown.", "Generated with Orvet");
        recorder.frameData = {};
        saved = WriteCapture(
            recorder.name,
            [&bytes](const std::string& path, std::string* error) {
                return WriteAndSync(path, bytes.data(), bytes.size(), error);
            },
            result.fileName, &result.error);
    } else {
        std::string reason = recorder.wavError;
        if (WavIsOpen(recorder.wav) && !WavClose(recorder.wav, &reason) && recorder.wavError.empty()) {
            recorder.wavError = reason;
        }
        if (recorder.wavError.empty()) {
            saved = PublishCapture(recorder.name, recorder.temporaryPath, result.fileName,
                                   &result.error);
        } else {
            // A recording that lost samples is not kept under a name that claims them all.
            if (!recorder.temporaryPath.empty()) unlink(recorder.temporaryPath.c_str());
            result.error = recorder.fileName + ": " + recorder.wavError;
        }
        recorder.temporaryPath.clear();
    }
    result.outcome = saved ? RecordingOutcome::Saved : RecordingOutcome::Failed;
    ShowStatusMessage(*recorder.messages,
                      saved ? result.fileName + " is saved." : UnableToCreate(result.fileName),
                      kRecorderSavedMilliseconds, 0);
    return result;
}

}  // namespace orvet
