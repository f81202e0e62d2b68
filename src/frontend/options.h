// The options window's rules without a window: each control's effect on the settings and the
// machine, and the list of TOS ROM and cartridge images with the texts its columns show. Every
// change acts the moment it is made; nothing is applied or saved when the window closes, since
// the settings are written when the program ends.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "frontend/file_picker.h"
#include "frontend/settings.h"

namespace orvet {

struct Machine;

// What only the program around the window can do.
struct OptionsHost {
    // The host display's refresh rates, each once, the desktop's own first.
    std::function<std::vector<int>()> refreshRates;
    // The refresh rate chosen in the settings changed: the display is set up for it again.
    std::function<void()> applyDisplay;
    // The settings' Fullscreen changed.
    std::function<void(bool fullscreen)> applyFullscreen;
};

// The countries a TOS image names in its configuration word (bits 1 and up), by code.
constexpr int kCountryCount = 17;
extern const std::array<const char*, kCountryCount> kCountryNames;

// The ROM list's column texts, from an entry's kind and the first 64 bytes of its file.
std::string RomTypeText(int kind);
std::string RomBaseText(int kind, const std::array<uint8_t, 64>& header);
std::string RomVersionText(int kind, const std::array<uint8_t, 64>& header);
std::string RomDateText(int kind, const std::array<uint8_t, 64>& header);
std::string RomCountryText(int kind, const std::array<uint8_t, 64>& header);

// One row of the ROM list, as shown.
struct RomRow {
    int id = -1;
    std::string fileName;  // the path's last part; the built-in ROM's name for it
    std::string type, base, version, date, country;
    bool active = false;
    bool builtin = false;
    bool operator==(const RomRow&) const = default;
};
constexpr const char* kRomActiveText = "Yes";

// The rows sorted by file name (case ignored, then as stored, then oldest first).
std::vector<RomRow> RomRows(const RomList& roms);

constexpr uint32_t kFrameSkipLargest = 9;
// The sources the "Enable Sound" boxes switch.
enum class SoundSource { Ym2149, SteDac, DiskDrive };

struct OptionsWindow {
    std::vector<RomRow> rows;
    int selectedId = -1;  // the row picked in the list; -1 none
    // The display list, read from the host when the window first draws after opening.
    std::vector<int> refreshRates;
    // What the last action could not do, a line each: a file the list refused, a ROM that did
    // not load. Cleared by the next ROM action.
    std::vector<std::string> messages;
    FilePicker picker;
    std::string pickerFolder;  // where the picker opens next: where the last files came from
};

// Each opening shows the settings and the ROM list as they are now, nothing picked.
void ResetOptions(OptionsWindow& window, const Settings& settings);

// Controls that change the machine at once (it is stopped while the window is shown).
void ChooseRamSize(Settings& settings, Machine& machine, unsigned index);  // 0-3: 512K-4MB
void ChooseMachineModel(Settings& settings, Machine& machine, bool ste);
void ChooseDriveSpeed(Settings& settings, Machine& machine, bool ultraFast);
void ChooseSound(Settings& settings, Machine& machine, SoundSource source, bool on);

// Controls the program reads as it goes.
void ChooseSyncMode(Settings& settings, uint32_t mode);  // 0 none, 1 ST screen, 2 PC blank
// The frame-skip number edit and its arrows; the value stays within 0 to kFrameSkipLargest.
void SetFrameSkip(Settings& settings, int value);
void StepFrameSkip(Settings& settings, int step);
bool FrameSkipEnabled(const Settings& settings);      // only the host's blank skips frames
std::string FrameSkipText(const Settings& settings);  // empty while disabled
bool DacSoundEnabled(const Settings& settings);       // only the STE has DMA sound
// The display list's choice. True when it differs from the one in the settings, which then
// holds it: the display is to be set up again.
bool ChooseRefreshRate(Settings& settings, unsigned index);
// The entry the settings name, or -1 when none of the rates is it.
int ChosenRefreshRate(const OptionsWindow& window, const Settings& settings);
void ChooseIntegerScaling(Settings& settings, bool integer);
void ChooseFullscreen(Settings& settings, bool fullscreen);

// The ROM list.
void SelectRom(OptionsWindow& window, int id);
bool CanDeleteRom(const OptionsWindow& window);
// Adds each file; a file the list refuses leaves it as it was and gets a message line naming it
// and saying why. The last file added becomes the selected row.
void AddRoms(OptionsWindow& window, Settings& settings, const std::vector<std::string>& paths);
// Removes the selected file; the built-in ROM cannot be removed.
void DeleteRom(OptionsWindow& window, Settings& settings);
// Makes the selected entry the active one of its kind and cold-starts the machine. A TOS image
// (a file or the built-in ROM) is loaded first; one that does not load changes nothing and says
// why. A cartridge is mapped at the next start.
void SetActiveRom(OptionsWindow& window, Settings& settings, Machine& machine);
// Opens the picker for "&Add" where files were last taken from.
void BeginAddRoms(OptionsWindow& window);
// After the picker closed: adds what was chosen (nothing after Cancel).
void FinishAddRoms(OptionsWindow& window, Settings& settings);

}  // namespace orvet
