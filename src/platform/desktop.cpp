#include "platform/desktop.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <SDL.h>
#include <backends/imgui_impl_opengl3.h>
#include <backends/imgui_impl_sdl.h>
#include <imgui.h>
#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <vector>

#include "capture/png.h"
#include "capture/wav_writer.h"
#include "frontend/capture_view.h"
#include "frontend/debugger_view.h"
#include "frontend/disk_manager_view.h"
#include "frontend/host_folders.h"
#include "frontend/options_view.h"
#include "frontend/quick_states.h"
#include "frontend/settings.h"
#include "frontend/toolbar.h"
#include "frontend/toolbar_view.h"
#include "machine/machine.h"
#include "platform/audio_output.h"
#include "platform/display_modes.h"
#include "platform/frame_pacing.h"
#include "platform/gl_picture.h"
#include "platform/keymap.h"
#include "sound/sound_scope.h"

namespace orvet {
namespace {

// The machine's frame rate when the sound card paces it: 881 samples of 44,100 a second.
constexpr double kRealFramesPerSecond = 44100.0 / 881.0;
// Pacing figures leave out the first second, while the window and the sound device settle.
constexpr uint64_t kSettlingFrames = 50;
// Modes that size each frame's sound by what the device played keep this much in hand, so that
// a frame that comes a little late does not leave the device without samples.
constexpr int kUnpacedSoundCushion = 2048;
constexpr int32_t kStatusMilliseconds = 8000;

const char* const kAlreadyRunningText = "Orvet is already running!";
const char* const kCannotRunText =
    "Unable to run, no TOS ROM selected!\nPlease select a TOS ROM in the options.";
const char* const kQuitText = "Do you really want to quit Orvet?";

double Seconds(uint64_t counts) {
    return static_cast<double>(counts) / static_cast<double>(SDL_GetPerformanceFrequency());
}

double ProcessorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The box was the window's own: the focus it took comes back to the window, or the machine
// would wait for a click that a person should not need.
void TakeBackFocus(SDL_Window* window) {
    if (!window) return;
    SDL_RaiseWindow(window);
    SDL_SetWindowInputFocus(window);
}

// A message box with the designed caption and text; the text also goes to the terminal, where it
// is read when no box can be shown (no display). SDL draws boxes through its video layer, so a
// box before the window exists starts that layer for itself.
void ShowMessage(SDL_Window* window, Uint32 kind, const char* caption, const char* text) {
    std::fprintf(stderr, "orvet: %s: %s\n", caption, text);
    const bool started = SDL_WasInit(SDL_INIT_VIDEO) == 0 && SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    if (SDL_ShowSimpleMessageBox(kind, caption, text, window) != 0) {
        std::fprintf(stderr, "orvet: (no message box: %s)\n", SDL_GetError());
    }
    if (started) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    TakeBackFocus(window);
}

bool AskYesNo(SDL_Window* window, const char* caption, const char* text) {
    const SDL_MessageBoxButtonData buttons[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 1, "Yes"},
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 0, "No"},
    };
    const SDL_MessageBoxData box = {
        SDL_MESSAGEBOX_INFORMATION, window, caption, text, 2, buttons, nullptr};
    int chosen = 0;
    const bool yes = SDL_ShowMessageBox(&box, &chosen) == 0 && chosen == 1;
    TakeBackFocus(window);
    return yes;
}

class Desktop final : public DriverHost, public FrameOutput {
public:
    explicit Desktop(const DesktopOptions& options) : options_(options) {}
    int run();

private:
    bool startUp(int& exitCode);
    void shutDown();
    void mainLoop();
    void pumpEvents();
    void handleWindowEvent(const SDL_WindowEvent& event);
    // Quick save and load between frames: the slot's outcome goes on the status line.
    void quickStateKey(const SDL_Keysym& key);
    void noteDiskFromState();
    void refreshHostInput();
    void drawFrontEnd();
    void presentPicture(bool readBack);
    void setSwapInterval();
    void paceByHostClock();
    void showFastForward();
    void reportBenchmark();
    FramePacing pacing() const {
        return ChoosePacing(settings_.SyncMode, settings_.FrameSkip, fastForward_, IsAudioOpen());
    }
    bool running() const {
        return machine_->runState == RunState::Running ||
               machine_->runState == RunState::DebuggerStep;
    }

    // DriverHost: the run state's side effects.
    void startSound() override;
    void stopSound() override { StopAudio(); }
    void captureMouse() override { SDL_SetRelativeMouseMode(SDL_TRUE); }
    void releaseMouse() override { SDL_SetRelativeMouseMode(SDL_FALSE); }
    void clearDisplay() override {
        pictureShown_ = false;
        redrawNeeded_ = true;
    }
    void showFrontEnd() override {
        // The capture window's picture is the one the machine showed last.
        CaptureLastPicture(capture_, *machine_);
        SwitchTool(frontEnd_, frontEnd_.lastTool);
    }

    // FrameOutput: the end of each frame.
    void presentFrame(Machine&) override;
    int samplesForFrame(Machine&) override;
    void playSamples(Machine&, const int16_t* samples, int count) override;

    DesktopOptions options_;
    std::unique_ptr<Machine> machine_ = std::make_unique<Machine>();
    Settings settings_;
    std::string settingsPath_;
    InstanceLock lock_;
    FrontEnd frontEnd_;
    ToolViews toolViews_;            // the tool windows' contents, filled in as the window opens
    DiskManagerWindow diskManager_;  // the tree, the list and the selected image
    DebuggerWindow debugger_;        // kept while the program runs, as its breakpoints are
    CaptureWindow capture_;          // the capture, its choices and the sound recorder
    CapturePreview capturePreview_;  // the preview's texture
    QuickStates quickStates_;        // the quick-save slot in use and where the slots are
    int quickStateSlot_ = -1;        // the status line of the last quick save or load
    std::string quickStateText_;
    std::vector<int> frontEndKeys_;  // scancodes pressed since the front end was last drawn
    std::array<int, 2> frontEndPointer_{-1, -1};  // as the last mouse event placed it
    SDL_Window* window_ = nullptr;
    SDL_GLContext context_ = nullptr;
    bool imguiReady_ = false;
    GlPicture picture_;
    bool pictureShown_ = false;         // false: the screen shows black until the next frame
    std::vector<uint16_t> shownFrame_;  // the frame the screen shows now
    bool redrawNeeded_ = true;          // the window was resized, uncovered or cleared
    bool windowActive_ = true;
    bool quit_ = false;
    bool fastForward_ = false;
    int fastForwardSlot_ = -1;
    uint64_t fastForwardStart_ = 0, fastForwardFrames_ = 0, fastForwardShown_ = 0;
    // All fast-forward stretches together, for --benchmark.
    uint64_t fastForwardTotalFrames_ = 0, fastForwardTotalPresented_ = 0;
    double fastForwardTotalSeconds_ = 0;
    int swapInterval_ = -1;
    double refreshRate_ = 60;
    uint64_t lastPresent_ = 0;
    // Keys and mouse buttons pressed since the last frame: a press and release between two
    // frames still counts. Buttons: 0 left, 1 right.
    std::vector<SDL_Scancode> pressedSinceFrame_;
    std::array<bool, 2> buttonDown_{}, buttonPressedSinceFrame_{};
    uint64_t nextFrameDue_ = 0;
    WavWriter wav_;
    std::string wavError_;
    bool screenshotWritten_ = false;
    std::string screenshotError_;
    // Figures for --benchmark.
    uint64_t framesRun_ = 0, framesPresented_ = 0;
    uint64_t settledAt_ = 0, underrunsAtSettling_ = 0;
    uint64_t lastFrameAt_ = 0;  // when the last frame ended, as settledAt_ is taken
    double processorAtSettling_ = 0;
};

int Desktop::run() {
    int exitCode = 0;
    if (startUp(exitCode)) mainLoop();
    shutDown();
    // A picture or a recording asked for and not written is a failure, as in a headless run.
    if (exitCode == 0 && (!screenshotError_.empty() || !wavError_.empty())) exitCode = 1;
    return exitCode;
}

bool Desktop::startUp(int& exitCode) {
    // One Orvet at a time: two would each save their settings over the other's at exit.
    std::string reason;
    settingsPath_ = options_.configPath.empty() ? DefaultSettingsPath() : options_.configPath;
    // The lock stays in the default settings folder even with --config: one Orvet per user.
    switch (lock_.acquire(SettingsFolderPath(), &reason)) {
        case InstanceLock::Result::HeldByAnother:
            ShowMessage(nullptr, SDL_MESSAGEBOX_WARNING, "Already Running...", kAlreadyRunningText);
            return false;
        case InstanceLock::Result::Unavailable:
            std::fprintf(stderr, "orvet: %s; a second Orvet would not be noticed\n",
                         reason.c_str());
            break;
        case InstanceLock::Result::Acquired:
            break;
    }

    std::vector<std::string> problems;
    LoadSettingsFile(settingsPath_, settings_, &problems);
    std::vector<std::string> notes;
    if (!problems.empty()) {
        notes.push_back("The settings file had errors; defaults were used for them");
        for (const auto& problem : problems) {
            std::fprintf(stderr, "orvet: %s: %s\n", settingsPath_.c_str(), problem.c_str());
        }
    }
    if (!CreateDataFolders(DataFolderPath(), &reason)) notes.push_back(reason);

    MachineSettings machineSettings;
    machineSettings.ramSizeIndex =
        options_.ramSizeIndex >= 0 ? options_.ramSizeIndex : settings_.RAMSize & 3;
    machineSettings.ste = options_.ste >= 0 ? options_.ste == 1 : (settings_.Machine & 1) != 0;
    machineSettings.fastDisk = options_.fastDisk || settings_.FastDisk != 0;
    machineSettings.writeProtect = settings_.WriteProtect != 0;
    machineSettings.sound.YMSound = settings_.YMSound != 0;
    machineSettings.sound.DiskSound = settings_.DiskSound != 0;
    machineSettings.sound.bDacSound = settings_.bDacSound != 0;
    machineSettings.diskPath = options_.diskPath.empty() ? settings_.DriveA : options_.diskPath;
    // The list's active TOS ROM is the built-in one unless a file was chosen; its empty path
    // starts the machine on it.
    if (!options_.tosPath.empty()) {
        machineSettings.tosPath = options_.tosPath;
    } else if (const std::string* path = settings_.roms.Path(settings_.roms.FindActive(false))) {
        machineSettings.tosPath = *path;
    }
    if (!options_.cartridgePath.empty()) {
        machineSettings.cartridgePath = options_.cartridgePath;
    } else if (const std::string* path = settings_.roms.Path(settings_.roms.FindActive(true))) {
        machineSettings.cartridgePath = *path;
    }
    std::vector<std::string> unusable;
    if (!StartMachine(*machine_, machineSettings, reason, &unusable)) {
        ShowMessage(nullptr, SDL_MESSAGEBOX_WARNING, "Memory Error...",
                    "Insufficient RAM to run Orvet!");
        return false;
    }
    // Only a chosen file that could not be used leaves the machine without a system to run.
    for (const auto& line : unusable) {
        notes.push_back(line);
        std::fprintf(stderr, "orvet: %s\n", line.c_str());
    }

    // The window, the picture, the input and the sound, in that order.
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS | SDL_INIT_TIMER) != 0) {
        std::fprintf(stderr, "orvet: no display: %s\n", SDL_GetError());
        exitCode = -1;
        return false;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_Rect usable{0, 0, 800, 600};
    SDL_GetDisplayUsableBounds(0, &usable);
    window_ = SDL_CreateWindow("Orvet", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                               std::max(usable.w, 800), std::max(usable.h, 600),
                               SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE | SDL_WINDOW_MAXIMIZED);
    if (!window_) {
        ShowMessage(nullptr, SDL_MESSAGEBOX_ERROR, "Graphics Error",
                    "Unable to set cooperative level");
        exitCode = -1;
        return false;
    }
    context_ = SDL_GL_CreateContext(window_);
    if (!context_) {
        ShowMessage(window_, SDL_MESSAGEBOX_ERROR, "Graphics Error",
                    "Unable to set full-screen graphics mode");
        exitCode = -1;
        return false;
    }
    SDL_GL_MakeCurrent(window_, context_);
    if (!CreateGlPicture(picture_, &reason)) {
        std::fprintf(stderr, "orvet: %s\n", reason.c_str());
        ShowMessage(window_, SDL_MESSAGEBOX_ERROR, "Graphics Error",
                    "Unable to create primary surface");
        exitCode = -1;
        return false;
    }
    if (settings_.Fullscreen) SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN_DESKTOP);
    // The desktop's own rate, listed first, bounds how often fast forward presents: the window
    // shares the desktop's mode, whichever mode the options name.
    refreshRate_ = HostRefreshRates(0).front();
    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGui::GetIO().IniFilename = nullptr;  // the window's layout is fixed; nothing to remember
    ImGui::StyleColorsDark();
    ImGui_ImplSDL2_InitForOpenGL(window_, context_);
    ImGui_ImplOpenGL3_Init("#version 330 core");
    imguiReady_ = true;

    if (!options_.noSound && !OpenAudio(&reason)) {
        std::fprintf(stderr, "orvet: no sound device: %s\n", SDL_GetError());
        ShowMessage(window_, SDL_MESSAGEBOX_ERROR, "Audio Error", reason.c_str());
    }
    if (!options_.wavPath.empty() && !WavOpen(wav_, options_.wavPath, &wavError_)) {
        notes.push_back(wavError_);
    }

    // The options window (tool 2): what it changes is the desktop's settings and machine.
    {
        auto options = std::make_shared<OptionsWindow>();
        auto host = std::make_shared<OptionsHost>();
        host->refreshRates = [] { return HostRefreshRates(0); };
        host->applyDisplay = [this] {
            swapInterval_ = -1;
            redrawNeeded_ = true;
        };
        host->applyFullscreen = [this](bool fullscreen) {
            SDL_SetWindowFullscreen(window_, fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
        };
        toolViews_.open[kToolOptions] = [this, options] {
            OpenOptions(*options, settings_, *machine_);
        };
        toolViews_.draw[kToolOptions] = [this, options, host] {
            DrawOptions(*options, settings_, *machine_, *host);
        };
    }

    // The capture window (tool 3): screenshots and sound recordings go to the data folder.
    capture_.dataFolder = DataFolderPath();
    toolViews_.open[kToolCapture] = [this] { OpenCapture(capture_); };
    toolViews_.draw[kToolCapture] = [this] { DrawCapture(capture_, *machine_, capturePreview_); };

    // The debugger (tool 0): a debugger run closes the front end, which comes back when it stops.
    toolViews_.open[kToolDebugger] = [this] { OpenDebugger(debugger_, *machine_); };
    toolViews_.draw[kToolDebugger] = [this] {
        // The frame view shows the machine's last picture, which the texture then holds.
        if (debugger_.frameView) UploadPicture(picture_, machine_->screen.data());
        const auto texture = reinterpret_cast<void*>(static_cast<uintptr_t>(picture_.texture));
        if (DrawDebugger(debugger_, *machine_, frontEndKeys_, texture) == DebuggerRequest::Run) {
            SwitchTool(frontEnd_, kToolNone);
        }
    };
    // The disk manager (tool 1), the tool shown first.
    diskManager_.unsavedDriveAPath = options_.diskPath;
    toolViews_.open[kToolDiskManager] = [this] {
        OpenDiskManager(diskManager_, settings_, *machine_);
    };
    toolViews_.draw[kToolDiskManager] = [this] {
        DrawDiskManager(diskManager_, settings_, *machine_);
    };
    machine_->statusMessages.hostMilliseconds = [] { return SDL_GetTicks(); };
    machine_->driverHost = this;
    machine_->frameOutput = this;
    for (const auto& note : notes) {
        ShowStatusMessage(machine_->statusMessages, note, kStatusMilliseconds, 0);
    }
    quickStates_.dataFolder = DataFolderPath();
    if (!options_.loadStatePath.empty()) {
        const std::string outcome = LoadNamedState(*machine_, options_.loadStatePath);
        ShowStatusMessage(machine_->statusMessages, outcome, kStatusMilliseconds, 0);
        noteDiskFromState();
    }
    if (options_.run) {
        if (machine_->memory.tosLoaded) {
            SetRunState(*machine_, RunState::Running);
        } else {
            ShowMessage(window_, SDL_MESSAGEBOX_WARNING, "Can't run...", kCannotRunText);
        }
    }
    return true;
}

void Desktop::shutDown() {
    // What a program wrote to the disk in drive A reaches its file before the program ends.
    std::string diskError;
    if (!SaveDiskImage(machine_->driveA, &diskError)) {
        std::fprintf(stderr, "orvet: drive A's disk was not saved: %s\n", diskError.c_str());
    }
    // The figures are read while the sound device still counts.
    if (options_.benchmark && framesRun_ > 0) reportBenchmark();
    // A recording still running is finished, so its file is written.
    if (const std::string recording = FinishCaptureAtExit(capture_); !recording.empty()) {
        std::fprintf(stderr, "orvet: %s\n", recording.c_str());
    }
    if (machine_->memory.block) {
        // The last picture, as the screen showed it, when asked for and not yet taken.
        if (!options_.screenshotPath.empty() && !screenshotWritten_ && context_ && framesRun_ > 0) {
            presentPicture(true);
        }
        ShutdownMachine(*machine_);
    }
    CloseAudio();
    if (imguiReady_) {
        ImGui_ImplOpenGL3_Shutdown();
        ImGui_ImplSDL2_Shutdown();
        ImGui::DestroyContext();
    }
    if (context_) {
        ReleaseCapturePreview(capturePreview_);
        DestroyGlPicture(picture_);
        SDL_GL_DeleteContext(context_);
    }
    if (window_) SDL_DestroyWindow(window_);
    SDL_Quit();
    if (WavIsOpen(wav_)) WavClose(wav_, wavError_.empty() ? &wavError_ : nullptr);
    if (!wavError_.empty()) std::fprintf(stderr, "orvet: %s\n", wavError_.c_str());
    if (!screenshotError_.empty()) std::fprintf(stderr, "orvet: %s\n", screenshotError_.c_str());
    // The settings are written once, at the end; a window that never opened changed nothing.
    if (window_) {
        std::string error;
        if (!SaveSettingsFile(settingsPath_, settings_, &error)) {
            std::fprintf(stderr, "orvet: the settings were not saved: %s\n", error.c_str());
        }
    }
}

void Desktop::mainLoop() {
    while (!quit_) {
        pumpEvents();
        if (quit_) break;
        // A window in the background runs nothing: the machine waits where it stood.
        if (!windowActive_) {
            SDL_WaitEventTimeout(nullptr, 100);
            continue;
        }
        refreshHostInput();
        MainLoopPass(*machine_);
        // A debugger run takes one instruction a pass; the window looks at its events every
        // few milliseconds rather than after every instruction, so a long loop runs at speed
        // and F12 still stops it.
        const uint64_t until = SDL_GetPerformanceCounter() + SDL_GetPerformanceFrequency() / 200;
        while (machine_->runState == RunState::DebuggerStep &&
               SDL_GetPerformanceCounter() < until) {
            for (int step = 0; step < 256 && machine_->runState == RunState::DebuggerStep; ++step) {
                MainLoopPass(*machine_);
            }
        }
        switch (machine_->runState) {
            case RunState::Stopped:
                drawFrontEnd();
                break;
            case RunState::ResetKeyHeld:
                SDL_Delay(5);  // nothing runs until F11 is let go
                break;
            default:
                break;
        }
        if (options_.frames > 0 && framesRun_ >= options_.frames) quit_ = true;
    }
}

void Desktop::pumpEvents() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        const bool frontEndOpen = imguiReady_ && frontEnd_.open();
        if (frontEndOpen) ImGui_ImplSDL2_ProcessEvent(&event);
        // The front end's pointer is where the events put it, not where the mouse is now: a click
        // lands where it was made even when the pointer moved on before the frame was drawn.
        if (event.type == SDL_MOUSEMOTION) {
            frontEndPointer_ = {event.motion.x, event.motion.y};
        } else if (event.type == SDL_MOUSEBUTTONDOWN || event.type == SDL_MOUSEBUTTONUP) {
            frontEndPointer_ = {event.button.x, event.button.y};
        }
        switch (event.type) {
            case SDL_QUIT:
                quit_ = true;
                break;
            case SDL_WINDOWEVENT:
                if (event.window.windowID == SDL_GetWindowID(window_)) {
                    handleWindowEvent(event.window);
                }
                break;
            case SDL_KEYDOWN:
                if (!event.key.repeat) pressedSinceFrame_.push_back(event.key.keysym.scancode);
                if (!event.key.repeat && running()) quickStateKey(event.key.keysym);
                if (frontEnd_.open()) frontEndKeys_.push_back(event.key.keysym.scancode);
                if (event.key.keysym.scancode == SDL_SCANCODE_RETURN &&
                    (event.key.keysym.mod & KMOD_ALT) && !event.key.repeat) {
                    settings_.Fullscreen = !settings_.Fullscreen;
                    SDL_SetWindowFullscreen(
                        window_, settings_.Fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
                }
                break;
            case SDL_MOUSEMOTION:
                if (running()) {
                    machine_->host.mouseMovementX += event.motion.xrel;
                    machine_->host.mouseMovementY += event.motion.yrel;
                }
                break;
            case SDL_MOUSEBUTTONDOWN:
            case SDL_MOUSEBUTTONUP:
                if (running()) {
                    const bool down = event.type == SDL_MOUSEBUTTONDOWN;
                    const int button = event.button.button == SDL_BUTTON_LEFT    ? 0
                                       : event.button.button == SDL_BUTTON_RIGHT ? 1
                                                                                 : -1;
                    if (button >= 0) {
                        buttonDown_[button] = down;
                        if (down) buttonPressedSinceFrame_[button] = true;
                    }
                }
                break;
            default:
                break;
        }
        // One button change a frame for the front end: the rest wait, so that a press and its
        // release (and what follows) each reach the window at their own place.
        if (frontEndOpen &&
            (event.type == SDL_MOUSEBUTTONDOWN || event.type == SDL_MOUSEBUTTONUP)) {
            break;
        }
    }
}

// A loaded state brings its own disk: the disk manager names the image the drive now holds.
void Desktop::noteDiskFromState() {
    const DiskImage& drive = machine_->driveA;
    diskManager_.unsavedDriveAPath =
        drive.inserted() && drive.path != settings_.DriveA ? drive.path : std::string();
}

void Desktop::quickStateKey(const SDL_Keysym& key) {
    if (key.scancode != kQuickSaveScancode && key.scancode != kQuickLoadScancode) return;
    std::string outcome;
    if (key.mod & KMOD_SHIFT) {
        outcome = NextQuickSlot(quickStates_);
    } else if (key.scancode == kQuickSaveScancode) {
        outcome = QuickSave(quickStates_, *machine_);
    } else {
        outcome = QuickLoad(quickStates_, *machine_);
        noteDiskFromState();
    }
    // Each outcome replaces the last one still shown, so that a run of key presses does not
    // fill the status lines.
    StatusMessages& messages = machine_->statusMessages;
    if (quickStateSlot_ >= 0 && messages.slots[quickStateSlot_].active &&
        messages.slots[quickStateSlot_].text == quickStateText_) {
        RemoveStatusMessage(messages, quickStateSlot_);
    }
    quickStateText_ = outcome.substr(0, kStatusTextMaxLength);
    quickStateSlot_ = ShowStatusMessage(messages, outcome, kStatusMilliseconds, 0);
}

void Desktop::handleWindowEvent(const SDL_WindowEvent& event) {
    switch (event.event) {
        case SDL_WINDOWEVENT_FOCUS_LOST:
            // Whatever was held when the focus went is let go: its release goes to another
            // window, and a key the machine never sees released would repeat for ever.
            windowActive_ = false;
            machine_->host.keyState.fill(0);
            pressedSinceFrame_.clear();
            buttonDown_ = buttonPressedSinceFrame_ = {};
            machine_->host.mouseLeftButton = machine_->host.mouseRightButton = false;
            // The device runs dry while nothing runs: that silence is expected, not an underrun.
            SetAudioStreaming(false);
            if (settings_.Fullscreen) SDL_MinimizeWindow(window_);
            break;
        case SDL_WINDOWEVENT_EXPOSED:
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            redrawNeeded_ = true;
            break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            windowActive_ = true;
            SetAudioStreaming(running() && !fastForward_);
            break;
        default:
            break;
    }
}

void Desktop::refreshHostInput() {
    int count = 0;
    const Uint8* keys = SDL_GetKeyboardState(&count);
    FillHostKeyState(machine_->host, keys, count);
    // A quick tap can be pressed and released before the frame looks: the machine still sees it
    // down for one frame, and released on the next, as a typist expects.
    for (SDL_Scancode scancode : pressedSinceFrame_) {
        if (uint8_t key = VirtualKeyOfScancode(scancode)) machine_->host.keyState[key] |= 0x80;
    }
    pressedSinceFrame_.clear();
    machine_->host.mouseLeftButton = buttonDown_[0] || buttonPressedSinceFrame_[0];
    machine_->host.mouseRightButton = buttonDown_[1] || buttonPressedSinceFrame_[1];
    buttonPressedSinceFrame_ = {};
    const bool fastForward = keys && kFastForwardScancode < count && keys[kFastForwardScancode] &&
                             machine_->runState == RunState::Running;
    if (fastForward != fastForward_) {
        fastForward_ = fastForward;
        SetAudioStreaming(!fastForward_ && running());
        if (fastForward_) {
            fastForwardStart_ = SDL_GetPerformanceCounter();
            fastForwardFrames_ = 0;
            fastForwardShown_ = fastForwardStart_;
            fastForwardSlot_ =
                ShowStatusMessage(machine_->statusMessages, "Fast forward", kStatusNeverExpires, 0);
        } else {
            fastForwardTotalSeconds_ += Seconds(SDL_GetPerformanceCounter() - fastForwardStart_);
            RemoveStatusMessage(machine_->statusMessages, fastForwardSlot_);
            fastForwardSlot_ = -1;
            nextFrameDue_ = 0;
        }
    }
}

void Desktop::drawFrontEnd() {
    int width = 0, height = 0;
    SDL_GL_GetDrawableSize(window_, &width, &height);
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplSDL2_NewFrame();
    // The backend reads the pointer through SDL's global mouse state, which on X11 follows only
    // the input extension's raw motion; servers without it (Xvfb driven by XTEST) leave it stale.
    // The pointer's own motion events, which SDL keeps per window, are always there.
    if (frontEndPointer_[0] < 0) SDL_GetMouseState(&frontEndPointer_[0], &frontEndPointer_[1]);
    if (SDL_GetMouseFocus() == window_) {
        ImGui::GetIO().MousePos = ImVec2(static_cast<float>(frontEndPointer_[0]),
                                         static_cast<float>(frontEndPointer_[1]));
    }
    ImGui::NewFrame();
    const ToolbarRequest request =
        DrawFrontEnd(frontEnd_, static_cast<float>(width), static_cast<float>(height),
                     machine_->memory.tosLoaded, &toolViews_);
    frontEndKeys_.clear();
    ImGui::Render();
    glViewport(0, 0, width, height);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
    if (swapInterval_ != 1) SDL_GL_SetSwapInterval(1);
    swapInterval_ = 1;
    const uint64_t before = SDL_GetPerformanceCounter();
    SDL_GL_SwapWindow(window_);
    // A host without a vertical blank to wait for would spin here: hold the front end to about
    // the display's rate when the swap did not wait.
    const double refreshPeriod = 1.0 / std::max(30.0, refreshRate_);
    const double waited = Seconds(SDL_GetPerformanceCounter() - before);
    if (waited < refreshPeriod / 2) {
        SDL_Delay(static_cast<Uint32>((refreshPeriod - waited) * 1000));
    }

    switch (request) {
        case ToolbarRequest::Run:
            // Keys held as the machine starts (the click's own modifiers) are not news to it.
            TakeKeyboardSnapshot(machine_->ikbd, machine_->host);
            SetRunState(*machine_, RunState::Running);
            break;
        case ToolbarRequest::CannotRun:
            ShowMessage(window_, SDL_MESSAGEBOX_WARNING, "Can't run...", kCannotRunText);
            break;
        case ToolbarRequest::AskQuit:
            if (AskYesNo(window_, "Quit...", kQuitText)) quit_ = true;
            ToolbarQuitAnswered(frontEnd_);
            break;
        case ToolbarRequest::None:
            break;
    }
}

void Desktop::setSwapInterval() {
    const int wanted = pacing().swapInterval;
    if (wanted == swapInterval_) return;
    // Waiting several blanks per swap is an extension; without it, one blank is the best there is.
    if (SDL_GL_SetSwapInterval(wanted) != 0 && wanted > 1) SDL_GL_SetSwapInterval(1);
    swapInterval_ = wanted;
}

void Desktop::presentPicture(bool readBack) {
    int width = 0, height = 0;
    SDL_GL_GetDrawableSize(window_, &width, &height);
    if (pictureShown_) UploadPicture(picture_, machine_->screen.data());
    const PictureRect rect = PlacePicture(width, height, settings_.IntegerScaling != 0);
    DrawPicture(picture_, pictureShown_ ? rect : PictureRect{}, width, height);
    if (readBack) {
        std::vector<uint8_t> rgb;
        ReadDrawnPicture(rect, height, rgb);
        // One attempt: a failure is reported at the end, not retried every frame.
        WritePngRgb888(options_.screenshotPath, rgb.data(), rect.width, rect.height,
                       &screenshotError_);
        screenshotWritten_ = true;
    }
    SDL_GL_SwapWindow(window_);
    lastPresent_ = SDL_GetPerformanceCounter();
    ++framesPresented_;
}

void Desktop::presentFrame(Machine&) {
    // "Sound visual debug": the previous frame's sound over the picture.
    if (capture_.soundVisualDebug && !capture_.lastFrameSound.empty()) {
        DrawSoundScope(capture_.lastFrameSound.data(),
                       static_cast<int>(capture_.lastFrameSound.size()), machine_->screen.data(),
                       kScreenWidth);
    }
    ++framesRun_;
    pictureShown_ = true;
    lastFrameAt_ = SDL_GetPerformanceCounter();
    if (framesRun_ == kSettlingFrames) {
        settledAt_ = lastFrameAt_;
        underrunsAtSettling_ = AudioUnderruns();
        processorAtSettling_ = ProcessorSeconds();
    }
    const bool last = options_.frames > 0 && framesRun_ >= options_.frames;
    const uint64_t now = SDL_GetPerformanceCounter();
    if (fastForward_) {
        ++fastForwardFrames_;
        ++fastForwardTotalFrames_;
        showFastForward();
        // No more pictures than the screen can show: the rest would only cost time.
        if (!last && Seconds(now - lastPresent_) < 1.0 / refreshRate_) return;
        ++fastForwardTotalPresented_;
    }
    setSwapInterval();
    // A picture the screen already shows is not sent again (a desktop, a menu, a paused game),
    // unless presenting is what paces the machine, or the window needs drawing afresh.
    const bool unchanged =
        !last && !redrawNeeded_ && pacing().swapInterval == 0 &&
        shownFrame_.size() == machine_->screen.size() &&
        std::equal(shownFrame_.begin(), shownFrame_.end(), machine_->screen.begin());
    if (!unchanged) {
        shownFrame_ = machine_->screen;
        redrawNeeded_ = false;
        presentPicture(last && !options_.screenshotPath.empty());
    }
    if (pacing().paceByHostClock) paceByHostClock();
}

void Desktop::paceByHostClock() {
    const uint64_t frequency = SDL_GetPerformanceFrequency();
    const auto period =
        static_cast<uint64_t>(static_cast<double>(frequency) / kRealFramesPerSecond);
    uint64_t now = SDL_GetPerformanceCounter();
    // After a stall (a dialog, a slow host) the machine picks up from now instead of racing to
    // catch up on lost frames.
    if (nextFrameDue_ == 0 || now > nextFrameDue_ + frequency / 10) nextFrameDue_ = now;
    nextFrameDue_ += period;
    while (now < nextFrameDue_) {
        const double left = Seconds(nextFrameDue_ - now);
        if (left > 0.002) {
            SDL_Delay(static_cast<Uint32>((left - 0.001) * 1000));
        } else {
            SDL_Delay(0);
        }
        now = SDL_GetPerformanceCounter();
    }
}

void Desktop::showFastForward() {
    const uint64_t now = SDL_GetPerformanceCounter();
    if (Seconds(now - fastForwardShown_) < 0.5) return;
    fastForwardShown_ = now;
    const double elapsed = Seconds(now - fastForwardStart_);
    char text[64];
    std::snprintf(text, sizeof text, "Fast forward: %.1fx real time",
                  elapsed > 0
                      ? static_cast<double>(fastForwardFrames_) / elapsed / kRealFramesPerSecond
                      : 0.0);
    SetStatusMessageText(machine_->statusMessages, fastForwardSlot_, text);
}

void Desktop::startSound() {
    StartAudio();
    SetAudioStreaming(!fastForward_);
    // Only the paced mode keeps the device's buffer full by itself; the others write what the
    // device played, so they start with a cushion of silence.
    if (pacing().soundAsPlayed) {
        static const std::vector<int16_t> silence(kUnpacedSoundCushion, 0);
        WriteSamples(silence.data(), kUnpacedSoundCushion);
    }
    nextFrameDue_ = 0;
}

int Desktop::samplesForFrame(Machine&) {
    // A recording takes whole frames of sound, whatever the device played.
    if (capture_.recorder) return kSamplesPerFrame;
    const FramePacing frame = pacing();
    // Muted: nothing to mix, unless a recording wants the machine's sound.
    if (frame.muted) return options_.wavPath.empty() ? 0 : kSamplesPerFrame;
    return frame.soundAsPlayed ? SamplesPlayed() : kSamplesPerFrame;
}

void Desktop::playSamples(Machine&, const int16_t* samples, int count) {
    CaptureFrameSound(capture_, samples, count);
    if (WavIsOpen(wav_) && wavError_.empty()) {
        WavAppend(wav_, samples, static_cast<size_t>(count), &wavError_);
    }
    const FramePacing frame = pacing();
    if (frame.muted) return;
    // The paced mode: the sound card's clock sets the machine's speed.
    if (frame.waitForSound) WaitForRoom(count);
    WriteSamples(samples, count);
}

void Desktop::reportBenchmark() {
    const uint64_t now = SDL_GetPerformanceCounter();
    std::printf("frames run: %llu\n", static_cast<unsigned long long>(framesRun_));
    std::printf("frames presented: %llu\n", static_cast<unsigned long long>(framesPresented_));
    if (framesRun_ > kSettlingFrames && settledAt_ != 0) {
        // Frame ends to frame ends: as many periods as frames counted.
        const double seconds = Seconds(lastFrameAt_ - settledAt_);
        const double framesPerSecond =
            static_cast<double>(framesRun_ - kSettlingFrames) / std::max(seconds, 1e-9);
        std::printf("seconds after the first: %.3f\n", seconds);
        std::printf("frames per second: %.3f\n", framesPerSecond);
        std::printf("real time multiple: %.2f\n", framesPerSecond / kRealFramesPerSecond);
        std::printf("underruns after the first second: %llu\n",
                    static_cast<unsigned long long>(AudioUnderruns() - underrunsAtSettling_));
        std::printf("processor use: %.1f%% of one core\n",
                    100.0 * (ProcessorSeconds() - processorAtSettling_) / std::max(seconds, 1e-9));
    }
    std::printf("sound device: %s\n", IsAudioOpen() ? "open" : "none");
    std::printf("host refresh: %.0f Hz\n", refreshRate_);
    if (fastForward_) fastForwardTotalSeconds_ += Seconds(now - fastForwardStart_);
    if (fastForwardTotalFrames_ > 0 && fastForwardTotalSeconds_ > 0) {
        std::printf(
            "fast forward: %llu frames in %.3f s, %.2f times real time, %llu presented "
            "(%.1f a second)\n",
            static_cast<unsigned long long>(fastForwardTotalFrames_), fastForwardTotalSeconds_,
            static_cast<double>(fastForwardTotalFrames_) / fastForwardTotalSeconds_ /
                kRealFramesPerSecond,
            static_cast<unsigned long long>(fastForwardTotalPresented_),
            static_cast<double>(fastForwardTotalPresented_) / fastForwardTotalSeconds_);
    }
}

}  // namespace

int RunDesktop(const DesktopOptions& options) {
    Desktop desktop(options);
    return desktop.run();
}

}  // namespace orvet
