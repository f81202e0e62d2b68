// orvet: the emulator's entry point. With --headless the machine runs frame by frame as fast as the
// host allows, with no window, no sound device and no SDL; otherwise the desktop program runs.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "capture/png.h"
#include "capture/wav_writer.h"
#include "machine/machine.h"
#include "machine/save_state.h"
#include "platform/desktop.h"

namespace {

using namespace orvet;

int fail(const std::string& message) {
    std::fprintf(stderr, "orvet: %s\n", message.c_str());
    return 1;
}

// With no sound device every frame makes 881 samples; a recording takes them as they come.
struct Recorder : FrameOutput {
    WavWriter wav;
    std::string error;
    void playSamples(Machine&, const int16_t* samples, int count) override {
        if (WavIsOpen(wav) && error.empty()) {
            WavAppend(wav, samples, static_cast<size_t>(count), &error);
        }
    }
};

int runHeadless(const CommandLine& line) {
    static Machine machine;  // large; keep it off the stack
    MachineSettings settings;
    settings.ramSizeIndex = line.ramSizeIndex;
    settings.ste = line.ste;
    settings.tosPath = line.tosPath;
    settings.cartridgePath = line.cartridgePath;
    settings.diskPath = line.diskPath;
    settings.fastDisk = line.fastDisk;
    std::string error;
    if (!StartMachine(machine, settings, error)) return fail(error);
    // A state asked for and refused leaves nothing of what was asked to run.
    if (!line.loadStatePath.empty() && !LoadStateFile(machine, line.loadStatePath, &error)) {
        return fail(error);
    }
    static Recorder recorder;
    if (!line.wavPath.empty() && !WavOpen(recorder.wav, line.wavPath, &error)) return fail(error);
    machine.frameOutput = &recorder;
    SetRunState(machine, RunState::Running);

    auto start = std::chrono::steady_clock::now();
    uint64_t cyclesRun = 0;
    uint64_t crashes = 0;
    for (uint64_t frame = 0; frame < line.frames; ++frame) {
        int32_t before = machine.cpu.cycleCounter;
        bool completed = RunFrame(machine);
        // The clock was rebased by one frame at its end.
        cyclesRun += static_cast<uint64_t>(machine.cpu.cycleCounter - before +
                                           (completed ? kFrameCycles : 0));
        if (!completed) ++crashes;
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    if (line.benchmark) {
        constexpr double kRealFramesPerSecond = 50.06;
        double framesPerSecond = seconds > 0 ? static_cast<double>(line.frames) / seconds : 0;
        std::printf("frames run: %llu\n", static_cast<unsigned long long>(line.frames));
        std::printf("host seconds: %.3f\n", seconds);
        std::printf("frames per second: %.1f\n", framesPerSecond);
        std::printf("real time multiple: %.1f\n", framesPerSecond / kRealFramesPerSecond);
        std::printf("emulated CPU MHz: %.1f\n",
                    seconds > 0 ? static_cast<double>(cyclesRun) / seconds / 1e6 : 0);
    }
    // What the program wrote to the disk reaches its file before Orvet ends.
    const bool diskSaved = SaveDiskImage(machine.driveA, &error);
    if (!diskSaved) {
        std::fprintf(stderr, "orvet: drive A's disk was not saved: %s\n", error.c_str());
    }
    if (crashes > 0) {
        std::fprintf(stderr, "orvet: the emulated machine crashed and was reset %llu times\n",
                     static_cast<unsigned long long>(crashes));
    }
    if (WavIsOpen(recorder.wav) && !WavClose(recorder.wav, &error) && recorder.error.empty()) {
        recorder.error = error;
    }
    if (!recorder.error.empty()) return fail(recorder.error);
    if (!line.screenshotPath.empty() &&
        !WritePngRgb565(line.screenshotPath, machine.screen.data(), kScreenWidth, kScreenHeight,
                        kScreenWidth, &error)) {
        return fail(error);
    }
    return diskSaved ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    std::string error;
    auto line = ParseCommandLine(arguments, error);
    if (!line) return fail(error);
    if (line->help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (line->headless) return runHeadless(*line);
    DesktopOptions options;
    options.configPath = line->configPath;
    options.tosPath = line->tosPath;
    options.cartridgePath = line->cartridgePath;
    options.diskPath = line->diskPath;
    options.ramSizeIndex = line->ramGiven ? static_cast<int>(line->ramSizeIndex) : -1;
    options.ste = line->machineGiven ? (line->ste ? 1 : 0) : -1;
    options.fastDisk = line->fastDisk;
    options.run = line->run;
    options.frames = line->framesGiven ? line->frames : 0;
    options.screenshotPath = line->screenshotPath;
    options.wavPath = line->wavPath;
    options.benchmark = line->benchmark;
    options.noSound = line->noSound;
    options.loadStatePath = line->loadStatePath;
    return RunDesktop(options);
}
