// The capture window's model without a window: its texts as the machine stops and the window
// opens, saving in each format, and the sound recorder's button from start to file.
#include "frontend/capture.h"

#include <memory>

#include "capture_test_support.h"
#include "machine/machine.h"

namespace orvet {
namespace {

using namespace orvet::testing;

class CaptureWindowTest : public DataFolderTest {
protected:
    void SetUp() override {
        DataFolderTest::SetUp();
        window.dataFolder = DataFolder();
    }
    // The machine's picture: a white band on black, on the rows and columns the capture takes.
    void ShowBand() {
        for (int y = 0; y < 600; y += 2) {
            for (int x = 0; x < 800; x += 2) machine->screen[y * 800 + x] = x < 100 ? 0xFFFF : 0;
        }
    }
    void RunFrames(int frames) {
        std::vector<int16_t> sound(kSamplesPerPacedFrame, 500);
        for (int frame = 0; frame < frames; ++frame) {
            CaptureFrameSound(window, sound.data(), int(sound.size()));
        }
    }

    std::unique_ptr<Machine> machine = std::make_unique<Machine>();
    CaptureWindow window;
};

TEST_F(CaptureWindowTest, ThePreviewTitleCountsColoursAndSavingSaysWhatItMade) {
    OpenCapture(window);  // before the machine ever stopped: a black picture
    EXPECT_EQ(window.previewText, "Screen Shot Preview (1 colour) :");
    EXPECT_EQ(window.movieText, "");
    EXPECT_EQ(window.soundText, "");
    ShowBand();
    CaptureLastPicture(window, *machine);
    OpenCapture(window);
    EXPECT_EQ(window.previewText, "Screen Shot Preview (2 colours) :");

    const struct {
        PictureFormat format;
        const char* text;
    } saves[] = {{PictureFormat::Gif, "shot/Orvet_000.gif saved."},
                 {PictureFormat::Gif, "shot/Orvet_001.gif saved."},
                 {PictureFormat::Tga, "shot/Orvet_000.tga saved."},
                 {PictureFormat::Png, "shot/Orvet_000.png saved."}};
    for (const auto& save : saves) {
        window.pictureFormat = save.format;
        SaveCaptureScreenshot(window);
        EXPECT_EQ(window.previewText, save.text);
    }
    fs::remove_all(folder_ / "shot");
    WriteText(PathOf("shot"), "");
    SaveCaptureScreenshot(window);
    EXPECT_EQ(window.previewText, "ERROR: Unable to create shot/Orvet_000.png !");
}

TEST_F(CaptureWindowTest, TheSoundButtonRecordsUntilPressedAgainOrTheProgramEnds) {
    ToggleSoundRecording(window, *machine);
    EXPECT_STREQ(SoundButtonText(window), "Stop Recording");
    EXPECT_EQ(window.soundText, "Recording music file sound/song_000.wav ...");
    RunFrames(50);
    OpenCapture(window);
    EXPECT_EQ(window.soundText, "SOUND is actually recording !");
    ToggleSoundRecording(window, *machine);
    EXPECT_STREQ(SoundButtonText(window), "Start Recording");
    EXPECT_EQ(window.soundText, "Music file sound/song_000.wav saved.");
    EXPECT_EQ(ReadBytes(PathOf("sound/song_000.wav")).size(), 44u + 50 * 881 * 2);
    EXPECT_FALSE(window.recorder);

    // A YM recording of a silent machine waits for a sound that never comes; without "Wait YM
    // write" it records from the first frame, silent or not, and the program's end writes it.
    window.soundFormat = SoundFormat::Ym;
    ToggleSoundRecording(window, *machine);
    EXPECT_EQ(window.soundText, "Recording music file sound/song_000.ym ...");
    RunFrames(10);
    ToggleSoundRecording(window, *machine);
    EXPECT_EQ(window.soundText, "Recording canceled.");
    window.waitYmWrite = false;
    ToggleSoundRecording(window, *machine);
    RunFrames(10);
    EXPECT_EQ(FinishCaptureAtExit(window), "Music file sound/song_000.ym saved.");
    EXPECT_EQ(ReadBytes(PathOf("sound/song_000.ym")).size(), 34 + 16 * 10 + 4 + 18 + 9 + 21);
    EXPECT_EQ(FinishCaptureAtExit(window), "");

    // The sound view keeps the last frame's sound only while it is on.
    RunFrames(1);
    EXPECT_TRUE(window.lastFrameSound.empty());
    window.soundVisualDebug = true;
    RunFrames(1);
    EXPECT_EQ(window.lastFrameSound.size(), size_t(kSamplesPerPacedFrame));
}

}  // namespace
}  // namespace orvet
