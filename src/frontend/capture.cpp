#include "frontend/capture.h"

#include <cstdio>

#include "machine/machine.h"

namespace orvet {
namespace {

std::string PreviewTitle(int colourCount) {
    return "Screen Shot Preview (" + std::to_string(colourCount) +
           (colourCount == 1 ? " colour) :" : " colours) :");
}

// What the window says once a recording has ended.
std::string EndOfRecordingText(const RecordingResult& result) {
    switch (result.outcome) {
        case RecordingOutcome::Saved:
            return "Music file " + result.fileName + " saved.";
        case RecordingOutcome::Cancelled:
            return "Recording canceled.";
        case RecordingOutcome::Lost:
            return "MEMORY ALLOC Error !!!";
        case RecordingOutcome::Failed:
            break;
    }
    std::fprintf(stderr, "orvet: %s\n", result.error.c_str());
    return "ERROR: Unable to create " + result.fileName + " !";
}

RecordingResult StopRecorder(CaptureWindow& window) {
    RecordingResult result = SoundRecorderFinish(*window.recorder);
    window.recorder.reset();
    return result;
}

}  // namespace

void CaptureLastPicture(CaptureWindow& window, const Machine& machine) {
    CaptureScreen(window.capture, machine.screen.data(), kScreenWidth);
    ++window.captureNumber;
}

void OpenCapture(CaptureWindow& window) {
    window.previewText = PreviewTitle(window.capture.colourCount);
    window.movieText = window.movieRecording ? "MOVIE is actually recording !" : "";
    window.soundText = window.soundRecording ? "SOUND is actually recording !" : "";
}

void SaveCaptureScreenshot(CaptureWindow& window) {
    std::string name, error;
    if (SaveScreenshot(window.capture, window.dataFolder, window.pictureFormat, name, &error)) {
        window.previewText = name + " saved.";
    } else {
        std::fprintf(stderr, "orvet: %s\n", error.c_str());
        window.previewText = "ERROR: Unable to create " + name + " !";
    }
}

void ToggleSoundRecording(CaptureWindow& window, Machine& machine) {
    window.soundRecording = !window.soundRecording;
    if (!window.soundRecording) {
        if (window.recorder) window.soundText = EndOfRecordingText(StopRecorder(window));
        return;
    }
    if (window.recorder) StopRecorder(window);
    window.recorder = std::make_unique<SoundRecorder>();
    YmRegisterSource ym;
    if (window.soundFormat == SoundFormat::Ym) ym = {&machine.sound.ymSynth, &machine.ym.synth};
    SoundRecorderInit(*window.recorder, machine.statusMessages, window.dataFolder, ym,
                      window.waitYmWrite);
    window.soundText = "Recording music file " + window.recorder->fileName + " ...";
}

void CaptureFrameSound(CaptureWindow& window, const int16_t* samples, int count) {
    if (window.recorder) SoundRecorderFrame(*window.recorder, samples, count);
    if (window.soundVisualDebug && samples && count > 0) {
        window.lastFrameSound.assign(samples, samples + count);
    } else {
        window.lastFrameSound.clear();
    }
}

std::string FinishCaptureAtExit(CaptureWindow& window) {
    if (!window.recorder) return {};
    window.soundRecording = false;
    const RecordingResult result = StopRecorder(window);
    return EndOfRecordingText(result);
}

const char* SoundButtonText(const CaptureWindow& window) {
    return window.soundRecording ? "Stop Recording" : "Start Recording";
}

}  // namespace orvet
