// Orvet's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvet {

struct CommandLine {
    bool help = false;
    bool headless = false;
    bool benchmark = false;
    std::string tosPath;
    std::string cartridgePath;
    unsigned ramSizeIndex = 2;  // 512k, 1m, 2m (the settings' default), 4m
    bool ste = false;
    uint64_t frames = 50;
    std::string screenshotPath;  // where the last frame's picture goes; none: no picture
    std::string wavPath;         // where the machine's sound is recorded; none: no recording
    std::string diskPath;        // the disk image for drive A; none: the drive is empty
    bool fastDisk = false;       // floppy commands complete at once
    std::string loadStatePath;   // a save state the machine starts from; none: a cold start
    // The window's own: the settings file to use, and whether the machine runs at once.
    std::string configPath;  // none: the settings file under the XDG config folder
    bool run = false;
    bool noSound = false;  // the window opens no sound device
    // Which choices the command line made, so that the window takes the rest from the settings.
    bool ramGiven = false, machineGiven = false, framesGiven = false;
};

// Where a screenshot asked for as `requested` is written: into a folder as "orvet.png", and with
// ".png" added when the name has no extension.
std::string ScreenshotFilePath(const std::string& requested);

// Parses the arguments after the program name; on a bad argument returns nothing and sets
// `error` to a one-line reason.
std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& arguments,
                                            std::string& error);

extern const char* const kUsage;

}  // namespace orvet
