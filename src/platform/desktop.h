// The desktop program: the window, its picture, sound and input around one machine, the front
// end while the machine is stopped, and the main loop that paces the frames.
#pragma once

#include <string>

namespace orvet {

struct DesktopOptions {
    std::string configPath;  // empty: the default settings file
    // Overrides of the settings for this run only; empty or unset keep the settings' choice.
    std::string tosPath, cartridgePath, diskPath;
    int ramSizeIndex = -1;  // -1: the settings' RAMSize
    int ste = -1;           // -1: the settings' Machine
    bool fastDisk = false;
    bool run = false;               // the machine runs at once, no front end first
    unsigned long long frames = 0;  // 0: until the user quits; else quit after that many frames
    std::string screenshotPath;     // the last presented picture, read back from the screen
    std::string wavPath;            // the machine's sound, recorded as it is made
    bool benchmark = false;         // report pacing, underruns and processor time at the end
    bool noSound = false;           // open no sound device: silent, paced by the host clock
    std::string loadStatePath;      // a save state to start from, refused with a status line
};

// Runs the program to its end; returns the process's exit code: 0 after a normal end or a
// refused start (a second instance), 1 when a screenshot or recording asked for could not be
// written, -1 when the window or the picture cannot be made.
int RunDesktop(const DesktopOptions& options);

}  // namespace orvet
