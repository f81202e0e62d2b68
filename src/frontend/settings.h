// The choices that outlive a run of Orvet, kept in an ini file:
//
//   [ROMS]       Count, ROM0, Active0, ROM1, Active1, ...   (position 0 is the front of the list)
//   [Graphics]   SyncMode, FrameSkip, VideoDevice, VideoMode, VideoRefresh, IntegerScaling,
//                Fullscreen
//   [Machine]    RAMSize, FastDisk, YMSound, bDACSound, DiskSound, Machine
//   [Disks]      WriteProtect, DriveA, DriveB, Directory
//
// Section and key names are compared without regard to case. Numbers are decimal; a text is the
// rest of the line after the first "=", blanks at either end trimmed, so a path may hold "=" and
// ";". Lines starting with ";" or "#" are comments. Sections and keys this version does not know
// are written back as they were read, so that a newer Orvet's settings survive an older one.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "frontend/host_folders.h"
#include "frontend/rom_list.h"

namespace orvet {

// The longest text value kept: the fields were 512-byte buffers with their terminating zero.
constexpr size_t kSettingsTextLongest = 511;
// A ROM list longer than this is no list a person made: a larger Count is reported, and only the
// ROM<n> positions present below it are read.
constexpr int kRomListLongest = 1000;
// Settings files are a few hundred bytes; anything far larger is not one, and is not read.
constexpr size_t kSettingsFileLargest = 1 << 20;

struct SettingsEntry {
    std::string key;
    std::string value;
    bool operator==(const SettingsEntry&) const = default;
};

struct SettingsSection {
    std::string name;
    std::vector<SettingsEntry> entries;
    bool operator==(const SettingsSection&) const = default;
};

struct Settings {
    uint32_t SyncMode = 1, FrameSkip = 0, VideoDevice = 0, VideoMode = 0, VideoRefresh = 0;
    uint32_t RAMSize = 2, FastDisk = 0, YMSound = 1, bDacSound = 1, DiskSound = 1, Machine = 0;
    std::string DriveA, DriveB, Directory;
    RomList roms;
    // Beyond the registry's values, in [Graphics]: how the picture fills the window.
    uint32_t IntegerScaling = 1;  // 1 whole multiples of the picture, 0 smooth scaling
    uint32_t Fullscreen = 0;      // 1 desktop fullscreen
    // Beyond them, in [Disks]: 1 write-protects every disk, so that nothing goes back to a file.
    uint32_t WriteProtect = 0;

    // What a newer Orvet wrote and this one does not know, in the order read: the unknown keys of
    // [ROMS], [Graphics], [Machine] and [Disks] (in that order), and the unknown sections.
    std::array<std::vector<SettingsEntry>, 4> unknownKeys;
    std::vector<SettingsSection> unknownSections;

    bool operator==(const Settings&) const = default;
};

// Parses the file's text into settings (which starts at its defaults). Never fails: each
// malformed or out-of-range value keeps the value it had and adds one line to problems (when
// given), saying where, which key and which value. A ROM entry whose file is gone or is no ROM is
// dropped, with a line saying so. After kSettingsProblemsLargest lines one more says how many
// further problems were left out.
void ParseSettings(std::string_view text, Settings& settings, std::vector<std::string>* problems);
constexpr size_t kSettingsProblemsLargest = 100;

// The file's text. A text value holding a line break or a zero byte cannot be stored and is
// written empty.
std::string FormatSettings(const Settings& settings);

// Reads the file; a missing file is no error (defaults, no problems). A file that cannot be read,
// is not a regular file or is larger than kSettingsFileLargest is one problem, and the settings
// keep their defaults. Each problem line starts with the file's path.
void LoadSettingsFile(const std::string& path, Settings& settings,
                      std::vector<std::string>* problems);

// Writes beside the target under a temporary name, flushes (fsync), renames over it. False with a
// one-line reason naming the file on failure; the old file is then untouched and no temporary is
// left.
bool SaveSettingsFile(const std::string& path, const Settings& settings, std::string* error);

}  // namespace orvet
