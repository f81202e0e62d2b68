// The capture window's model (tool window 3): the picture the machine last showed, taken as it
// stopped, saved as a screenshot on request; the sound recorder's button and its formats; the
// sound view's box; and the texts the window shows. The choices last while the program runs.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "capture/screen_capture.h"
#include "capture/sound_recorder.h"

namespace orvet {

struct Machine;

enum class SoundFormat : uint8_t { Ym = 0, Wav = 1 };

struct CaptureWindow {
    PictureFormat pictureFormat = PictureFormat::Gif;
    SoundFormat soundFormat = SoundFormat::Wav;
    bool waitYmWrite = true;        // a YM recording starts with the tune's first sound
    bool soundVisualDebug = false;  // the last frame's sound drawn over the picture
    bool movieRecording = false;    // the movie recorder is not offered: never set
    bool soundRecording = false;

    // The window's texts: the preview's title (or what saving did), the movie recorder's status
    // and the sound recorder's.
    std::string previewText;
    std::string movieText;
    std::string soundText;

    ScreenCapture capture;
    unsigned captureNumber = 0;  // counts captures, so a view knows when the picture changed
    std::unique_ptr<SoundRecorder> recorder;
    std::vector<int16_t> lastFrameSound;  // kept while the sound view is on
    std::string dataFolder;               // where "shot" and "sound" are
};

// The machine stopped: its last picture becomes the capture.
void CaptureLastPicture(CaptureWindow& window, const Machine& machine);

// The window opens: its texts are set afresh from the capture and the recorder.
void OpenCapture(CaptureWindow& window);

// "Save Screenshot": the capture in the chosen format, under the next free number.
void SaveCaptureScreenshot(CaptureWindow& window);

// The sound recorder's button: starts a recording in the chosen format, or stops the one running
// and writes its file.
void ToggleSoundRecording(CaptureWindow& window, Machine& machine);

// Each frame's sound, from the frame loop: to the recorder, and kept for the sound view.
void CaptureFrameSound(CaptureWindow& window, const int16_t* samples, int count);

// The program ends: a recording still running is finished and written. Returns what happened to
// it, for the terminal, or an empty text when nothing was recording.
std::string FinishCaptureAtExit(CaptureWindow& window);

const char* SoundButtonText(const CaptureWindow& window);  // "Start Recording" / "Stop Recording"

}  // namespace orvet
