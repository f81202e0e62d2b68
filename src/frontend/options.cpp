#include "frontend/options.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "machine/builtin_rom.h"
#include "machine/machine.h"

namespace orvet {

// As TOS images name them; the two Swiss names have always ended without an opening bracket.
const std::array<const char*, kCountryCount> kCountryNames = {"USA",
                                                              "Germany",
                                                              "France",
                                                              "United Kingdom",
                                                              "Spain",
                                                              "Italy",
                                                              "Sweden",
                                                              "Switzerland - French)",
                                                              "Switzerland - German)",
                                                              "Turkey",
                                                              "Finland",
                                                              "Norway",
                                                              "Denmark",
                                                              "Saudi Arabia",
                                                              "Holland",
                                                              "Czechoslovakia",
                                                              "Hungary"};

namespace {

bool IsCartridge(int kind) {
    return kind == kRomKindDiagnostic || kind == kRomKindApplication;
}

std::string Format(const char* format, unsigned a, unsigned b) {
    char text[32];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

std::string FileNameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Folded(const std::string& text) {
    std::string folded = text;
    for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return folded;
}

void RefreshRows(OptionsWindow& window, const Settings& settings) {
    window.rows = RomRows(settings.roms);
    const bool listed = std::any_of(window.rows.begin(), window.rows.end(),
                                    [&](const RomRow& row) { return row.id == window.selectedId; });
    if (!listed) window.selectedId = -1;
}

}  // namespace

std::string RomTypeText(int kind) {
    return RomKindName(kind);
}

std::string RomBaseText(int kind, const std::array<uint8_t, 64>& header) {
    // A cartridge always sits at the cartridge port's address, whatever its bytes say.
    if (IsCartridge(kind)) return "$FA0000";
    const uint32_t base = uint32_t{header[8]} << 24 | uint32_t{header[9]} << 16 |
                          uint32_t{header[10]} << 8 | header[11];
    char text[16];
    std::snprintf(text, sizeof text, "$%X", static_cast<unsigned>(base));
    return text;
}

std::string RomVersionText(int kind, const std::array<uint8_t, 64>& header) {
    if (kind != kRomKindTos) return "";
    return Format("%X.%X", header[2], header[3]);
}

std::string RomDateText(int kind, const std::array<uint8_t, 64>& header) {
    if (kind != kRomKindTos) return "";
    // Stored month, day, then the year's two BCD bytes; shown day first. The year's low byte
    // keeps its leading zero, or 2001 would read 201.
    char text[32];
    std::snprintf(text, sizeof text, "%X/%X/%X%02X", header[25], header[24], header[26],
                  header[27]);
    return text;
}

std::string RomCountryText(int kind, const std::array<uint8_t, 64>& header) {
    if (kind != kRomKindTos) return "";
    const unsigned configuration = unsigned{header[28]} << 8 | header[29];
    const unsigned code = configuration >> 1;
    const char* standard = (configuration & 1) ? "PAL" : "NTSC";
    // A code past the known countries names none; the video standard is still worth showing.
    if (code >= kCountryNames.size()) return std::string("(") + standard + ")";
    return std::string(kCountryNames[code]) + " (" + standard + ")";
}

std::vector<RomRow> RomRows(const RomList& roms) {
    std::vector<RomRow> rows;
    for (int position = roms.Count() - 1; position >= 0; --position) {
        const int id = roms.IdAt(position);
        const std::array<uint8_t, 64>* header = roms.Header(id);
        if (!header) continue;
        const int kind = roms.Kind(id);
        RomRow row;
        row.id = id;
        row.builtin = RomList::IsBuiltin(id);
        row.fileName = row.builtin ? roms.Name(id) : FileNameOf(roms.Name(id));
        row.type = RomTypeText(kind);
        row.base = RomBaseText(kind, *header);
        row.version = RomVersionText(kind, *header);
        row.date = RomDateText(kind, *header);
        row.country = RomCountryText(kind, *header);
        row.active = roms.IsActive(id);
        rows.push_back(std::move(row));
    }
    // From the back of the list to the front, so equal names keep the oldest first.
    std::stable_sort(rows.begin(), rows.end(), [](const RomRow& a, const RomRow& b) {
        const std::string left = Folded(a.fileName), right = Folded(b.fileName);
        return left != right ? left < right : a.fileName < b.fileName;
    });
    return rows;
}

void ResetOptions(OptionsWindow& window, const Settings& settings) {
    window.selectedId = -1;
    window.messages.clear();
    window.refreshRates.clear();
    window.picker.open = false;
    RefreshRows(window, settings);
}

void ChooseRamSize(Settings& settings, Machine& machine, unsigned index) {
    settings.RAMSize = index & 3;
    // The memory controller is told at once; what runs finds out at its next memory check.
    SetRamSize(machine.memory, settings.RAMSize);
}

void ChooseMachineModel(Settings& settings, Machine& machine, bool ste) {
    settings.Machine = ste ? 1 : 0;
    SetMachineModel(machine, ste);
}

void ChooseDriveSpeed(Settings& settings, Machine& machine, bool ultraFast) {
    settings.FastDisk = ultraFast ? 1 : 0;
    machine.fdc.fastDisk = ultraFast;
    // An ultra-fast drive makes no noise: its head never takes time to move.
    machine.soundSettings.FastDisk = ultraFast;
}

void ChooseSound(Settings& settings, Machine& machine, SoundSource source, bool on) {
    switch (source) {
        case SoundSource::Ym2149:
            settings.YMSound = on;
            machine.soundSettings.YMSound = on;
            break;
        case SoundSource::SteDac:
            settings.bDacSound = on;
            machine.soundSettings.bDacSound = on;
            break;
        case SoundSource::DiskDrive:
            settings.DiskSound = on;
            machine.soundSettings.DiskSound = on;
            break;
    }
}

void ChooseSyncMode(Settings& settings, uint32_t mode) {
    if (mode <= 2) settings.SyncMode = mode;
}

void SetFrameSkip(Settings& settings, int value) {
    settings.FrameSkip = static_cast<uint32_t>(std::clamp(value, 0, int{kFrameSkipLargest}));
}

void StepFrameSkip(Settings& settings, int step) {
    // A stored value past the range (an edited file) steps from the nearest end.
    const int current = static_cast<int>(std::min(settings.FrameSkip, kFrameSkipLargest));
    SetFrameSkip(settings,
                 current + std::clamp(step, -int{kFrameSkipLargest}, int{kFrameSkipLargest}));
}

bool FrameSkipEnabled(const Settings& settings) {
    return settings.SyncMode == 2;
}

std::string FrameSkipText(const Settings& settings) {
    return FrameSkipEnabled(settings) ? std::to_string(settings.FrameSkip) : std::string();
}

bool DacSoundEnabled(const Settings& settings) {
    return settings.Machine == 1;
}

bool ChooseRefreshRate(Settings& settings, unsigned index) {
    // Only the rate differs between the modes offered: there is one mode group.
    if (settings.VideoMode == 0 && settings.VideoRefresh == index) return false;
    settings.VideoMode = 0;
    settings.VideoRefresh = index;
    return true;
}

int ChosenRefreshRate(const OptionsWindow& window, const Settings& settings) {
    if (settings.VideoMode != 0 || settings.VideoRefresh >= window.refreshRates.size()) return -1;
    return static_cast<int>(settings.VideoRefresh);
}

void ChooseIntegerScaling(Settings& settings, bool integer) {
    settings.IntegerScaling = integer;
}

void ChooseFullscreen(Settings& settings, bool fullscreen) {
    settings.Fullscreen = fullscreen;
}

void SelectRom(OptionsWindow& window, int id) {
    const bool listed = std::any_of(window.rows.begin(), window.rows.end(),
                                    [id](const RomRow& row) { return row.id == id; });
    window.selectedId = listed ? id : -1;
}

bool CanDeleteRom(const OptionsWindow& window) {
    return window.selectedId != -1 && !RomList::IsBuiltin(window.selectedId);
}

void AddRoms(OptionsWindow& window, Settings& settings, const std::vector<std::string>& paths) {
    window.messages.clear();
    for (const std::string& path : paths) {
        std::string reason;
        const int id = settings.roms.Add(path, &reason);
        if (id < 0) {
            window.messages.push_back("Not added: " + path + ": " + reason);
        } else {
            window.selectedId = id;
        }
    }
    RefreshRows(window, settings);
}

void DeleteRom(OptionsWindow& window, Settings& settings) {
    window.messages.clear();
    if (!CanDeleteRom(window)) return;
    // The machine keeps the ROM it runs; the list names what the next start uses.
    settings.roms.Remove(window.selectedId);
    window.selectedId = -1;
    RefreshRows(window, settings);
}

void SetActiveRom(OptionsWindow& window, Settings& settings, Machine& machine) {
    window.messages.clear();
    const int id = window.selectedId;
    if (id == -1) return;
    if (settings.roms.Kind(id) == kRomKindTos) {
        std::string reason;
        const std::string* path = settings.roms.Path(id);
        const bool loaded = RomList::IsBuiltin(id)
                                ? LoadBuiltinRom(machine.memory, &reason)
                                : path && LoadTosRom(machine.memory, *path, &reason);
        if (!loaded) {
            window.messages.push_back("Not made active: " + reason);
            return;
        }
    }
    // A cartridge is only mapped as the machine starts: the reset alone cannot bring it in.
    ResetMachine(machine, true);
    settings.roms.SetActive(id);
    RefreshRows(window, settings);
}

void BeginAddRoms(OptionsWindow& window) {
    window.messages.clear();
    OpenPicker(window.picker, window.pickerFolder);
}

void FinishAddRoms(OptionsWindow& window, Settings& settings) {
    if (window.picker.open) return;
    if (!window.picker.chosen.empty()) {
        window.pickerFolder = window.picker.folder;
        AddRoms(window, settings, window.picker.chosen);
        window.picker.chosen.clear();
    }
}

}  // namespace orvet
