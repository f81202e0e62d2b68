#include "frontend/settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <map>
#include <optional>

#include "machine/builtin_rom.h"

namespace orvet {

namespace {

enum SectionIndex { kRoms = 0, kGraphics = 1, kMachine = 2, kDisks = 3, kKnownSections = 4 };
constexpr const char* kSectionNames[kKnownSections] = {"ROMS", "Graphics", "Machine", "Disks"};

constexpr uint32_t kAnyNumber = std::numeric_limits<uint32_t>::max();

struct NumberField {
    SectionIndex section;
    const char* key;  // as written; read in any case, so bDacSound and bDACSound are one value
    uint32_t Settings::*field;
    uint32_t largest;
};

constexpr NumberField kNumberFields[] = {
    {kGraphics, "SyncMode", &Settings::SyncMode, 2},
    {kGraphics, "FrameSkip", &Settings::FrameSkip, 9},
    {kGraphics, "VideoDevice", &Settings::VideoDevice, kAnyNumber},
    {kGraphics, "VideoMode", &Settings::VideoMode, kAnyNumber},
    {kGraphics, "VideoRefresh", &Settings::VideoRefresh, kAnyNumber},
    {kGraphics, "IntegerScaling", &Settings::IntegerScaling, 1},
    {kGraphics, "Fullscreen", &Settings::Fullscreen, 1},
    // Only the low two bits choose the size; larger values were always read that way.
    {kMachine, "RAMSize", &Settings::RAMSize, kAnyNumber},
    {kMachine, "FastDisk", &Settings::FastDisk, 1},
    {kMachine, "YMSound", &Settings::YMSound, 1},
    {kMachine, "bDACSound", &Settings::bDacSound, 1},
    {kMachine, "DiskSound", &Settings::DiskSound, 1},
    {kMachine, "Machine", &Settings::Machine, 1},
    {kDisks, "WriteProtect", &Settings::WriteProtect, 1},
};

struct TextField {
    const char* key;
    std::string Settings::*field;
};

constexpr TextField kTextFields[] = {
    {"DriveA", &Settings::DriveA},
    {"DriveB", &Settings::DriveB},
    {"Directory", &Settings::Directory},
};

char AsciiLower(char letter) {
    return (letter >= 'A' && letter <= 'Z') ? static_cast<char>(letter - 'A' + 'a') : letter;
}

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& letter : lower) letter = AsciiLower(letter);
    return lower;
}

bool SameIgnoringCase(std::string_view left, std::string_view right) {
    return left.size() == right.size() &&
           std::equal(left.begin(), left.end(), right.begin(),
                      [](char a, char b) { return AsciiLower(a) == AsciiLower(b); });
}

bool IsBlank(char letter) {
    return letter == ' ' || letter == '\t' || letter == '\r';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool ParseNumber(std::string_view text, uint32_t& value) {
    if (text.empty()) return false;
    uint32_t result = 0;
    for (char digit : text) {
        if (digit < '0' || digit > '9') return false;
        const uint32_t next = static_cast<uint32_t>(digit - '0');
        if (result > (kAnyNumber - next) / 10) return false;
        result = result * 10 + next;
    }
    value = result;
    return true;
}

// A value as a problem line shows it: quoted, cut short, control bytes made visible, and never cut
// inside a UTF-8 sequence, so that a message box can show it.
std::string Quote(std::string_view value) {
    constexpr size_t kShown = 48;
    size_t shown = std::min(value.size(), kShown);
    if (shown < value.size()) {
        while (shown > 0 && (static_cast<uint8_t>(value[shown]) & 0xC0) == 0x80) --shown;
    }
    std::string quoted = "\"";
    for (char letter : value.substr(0, shown)) {
        const auto byte = static_cast<uint8_t>(letter);
        quoted += (byte < 0x20 || byte == 0x7F) ? '?' : letter;
    }
    if (shown < value.size()) quoted += "...";
    return quoted + "\"";
}

class ProblemList {
public:
    explicit ProblemList(std::vector<std::string>* lines) : lines_(lines) {}
    ~ProblemList() {
        if (lines_ && count_ > kSettingsProblemsLargest) {
            lines_->push_back("and " + std::to_string(count_ - kSettingsProblemsLargest) +
                              " more problems");
        }
    }
    void add(size_t lineNumber, const std::string& text) {
        if (!lines_ || ++count_ > kSettingsProblemsLargest) return;
        lines_->push_back(lineNumber ? "line " + std::to_string(lineNumber) + ": " + text : text);
    }

private:
    std::vector<std::string>* lines_;
    size_t count_ = 0;
};

struct RomValue {
    std::string key;  // as written
    std::string value;
    size_t lineNumber = 0;
    bool used = false;
};

// The list's own keys in [ROMS]: Count, ROM<n> and Active<n>. They are rewritten from the list on
// saving, never kept as unknown keys, so a removed entry leaves nothing behind.
bool IsRomListKey(std::string_view lowerKey) {
    if (lowerKey == "count") return true;
    for (std::string_view prefix : {std::string_view("rom"), std::string_view("active")}) {
        if (lowerKey.size() > prefix.size() && lowerKey.substr(0, prefix.size()) == prefix &&
            std::all_of(lowerKey.begin() + static_cast<ptrdiff_t>(prefix.size()), lowerKey.end(),
                        [](char c) { return c >= '0' && c <= '9'; })) {
            return true;
        }
    }
    return false;
}

// The position a "rom<n>" key names when written the way the list writes it (no leading zeros,
// below the list's limit); -1 otherwise.
int RomPosition(std::string_view lowerKey) {
    if (lowerKey.size() < 4 || lowerKey.size() > 7 || lowerKey.substr(0, 3) != "rom") return -1;
    uint32_t position = 0;
    const std::string_view digits = lowerKey.substr(3);
    if (!ParseNumber(digits, position) || (digits.size() > 1 && digits[0] == '0')) return -1;
    return position < static_cast<uint32_t>(kRomListLongest) ? static_cast<int>(position) : -1;
}

// Rebuilds the list as it was saved: from the last position to the first, each Add puts its entry
// at the front. As the list always behaved, the active flag of an entry that can no longer be
// added switches every cartridge off.
void LoadRomList(const std::optional<RomValue>& countValue, std::map<std::string, RomValue>& keys,
                 RomList& roms, ProblemList& problems) {
    int highestPresent = -1;
    for (const auto& [key, value] : keys) {
        highestPresent = std::max(highestPresent, RomPosition(key));
    }

    int count = 0;
    uint32_t storedCount = 0;
    if (countValue && ParseNumber(countValue->value, storedCount) &&
        storedCount <= static_cast<uint32_t>(kRomListLongest)) {
        count = static_cast<int>(storedCount);
    } else if (countValue || highestPresent >= 0) {
        // Without a believable Count the entries that are there still count: reading none would
        // lose the whole list at the next save.
        count = highestPresent + 1;
        const std::string what = !countValue ? std::string("[ROMS] Count is missing")
                                             : "[ROMS] Count " + Quote(countValue->value) +
                                                   " is not a number from 0 to " +
                                                   std::to_string(kRomListLongest);
        problems.add(countValue ? countValue->lineNumber : 0,
                     what + (count > 0 ? "; reading ROM0 to ROM" + std::to_string(count - 1)
                                       : std::string("; no entries read")));
    }

    for (int position = count - 1; position >= 0; --position) {
        const std::string number = std::to_string(position);
        int id = -1;
        if (auto rom = keys.find("rom" + number); rom != keys.end()) {
            rom->second.used = true;
            std::string reason;
            // The built-in ROM is always listed and never written here; a line naming it (written
            // by hand) stands for that entry, not for a file of that name.
            id = SameIgnoringCase(rom->second.value, kBuiltinRomName)
                     ? kBuiltinRomId
                     : roms.Add(rom->second.value, &reason);
            if (id < 0) {
                problems.add(
                    rom->second.lineNumber,
                    "[ROMS] ROM" + number + " " + Quote(rom->second.value) + " dropped: " + reason);
            }
        } else {
            problems.add(0, "[ROMS] ROM" + number + " is missing");
        }
        if (auto active = keys.find("active" + number); active != keys.end()) {
            active->second.used = true;
            uint32_t flag = 0;
            if (!ParseNumber(active->second.value, flag)) {
                problems.add(active->second.lineNumber, "[ROMS] Active" + number + " " +
                                                            Quote(active->second.value) +
                                                            " is not a number; taken as 0");
            }
            if (flag != 0) roms.SetActive(id);
        }
    }

    std::vector<std::pair<size_t, std::string>> ignored;
    for (const auto& [key, value] : keys) {
        if (!value.used) ignored.emplace_back(value.lineNumber, value.key);
    }
    std::sort(ignored.begin(), ignored.end());
    for (const auto& [lineNumber, key] : ignored) {
        problems.add(lineNumber, "[ROMS] " + key + " names no position of the list (Count " +
                                     std::to_string(count) + "); ignored");
    }
}

SettingsSection* FindSection(std::vector<SettingsSection>& sections, std::string_view name) {
    for (SettingsSection& section : sections) {
        if (SameIgnoringCase(section.name, name)) return &section;
    }
    return nullptr;
}

// Whether a kept entry reads back as the same key and value.
bool Storable(const SettingsEntry& entry) {
    return !entry.key.empty() && Trim(entry.key) == entry.key &&
           entry.key.find_first_of("=\n") == std::string::npos && entry.key[0] != '[' &&
           entry.key[0] != ';' && entry.key[0] != '#' && Trim(entry.value) == entry.value &&
           entry.value.find('\n') == std::string::npos;
}

void AppendEntry(std::string& text, std::string_view key, std::string_view value) {
    text.append(key).append("=").append(value).append("\n");
}

void AppendKept(std::string& text, const std::vector<SettingsEntry>& entries) {
    for (const SettingsEntry& entry : entries) {
        if (Storable(entry)) AppendEntry(text, entry.key, entry.value);
    }
}

}  // namespace

void ParseSettings(std::string_view text, Settings& settings, std::vector<std::string>* problems) {
    ProblemList problemList(problems);
    // Editors on other systems may start the file with a UTF-8 byte-order mark.
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);

    enum class Place { BeforeAnySection, Known, Unknown, BadHeader };
    Place place = Place::BeforeAnySection;
    SectionIndex known = kRoms;
    SettingsSection* unknown = nullptr;
    std::optional<RomValue> romCount;
    std::map<std::string, RomValue> romKeys;

    size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const size_t end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;

        if (line[0] == '[') {
            const size_t close = line.find(']');
            const std::string_view name = close == std::string_view::npos
                                              ? std::string_view()
                                              : Trim(line.substr(1, close - 1));
            if (name.empty()) {
                problemList.add(lineNumber,
                                Quote(line) + " is no [section] name; its keys are ignored");
                place = Place::BadHeader;
                continue;
            }
            const auto* knownName = std::find_if(
                std::begin(kSectionNames), std::end(kSectionNames),
                [&](const char* candidate) { return SameIgnoringCase(candidate, name); });
            if (knownName != std::end(kSectionNames)) {
                place = Place::Known;
                known = static_cast<SectionIndex>(knownName - std::begin(kSectionNames));
                continue;
            }
            place = Place::Unknown;
            unknown = FindSection(settings.unknownSections, name);
            if (!unknown) {
                settings.unknownSections.push_back({std::string(name), {}});
                unknown = &settings.unknownSections.back();
            }
            continue;
        }

        const size_t equals = line.find('=');
        const std::string_view key =
            equals == std::string_view::npos ? std::string_view() : Trim(line.substr(0, equals));
        if (key.empty()) {
            problemList.add(lineNumber,
                            Quote(line) + " is neither a [section] nor key=value; ignored");
            continue;
        }
        const std::string_view value = Trim(line.substr(equals + 1));
        if (place == Place::BadHeader) continue;
        if (place == Place::BeforeAnySection) {
            problemList.add(lineNumber, Quote(line) + " comes before any [section]; ignored");
            continue;
        }
        if (place == Place::Unknown) {
            unknown->entries.push_back({std::string(key), std::string(value)});
            continue;
        }

        const std::string sectionLabel = std::string("[") + kSectionNames[known] + "] ";
        if (known == kRoms) {
            const std::string lowerKey = Lower(key);
            if (IsRomListKey(lowerKey)) {
                RomValue stored{std::string(key), std::string(value), lineNumber, false};
                if (lowerKey == "count") {
                    romCount = std::move(stored);
                } else {
                    romKeys[lowerKey] = std::move(stored);
                }
                continue;
            }
        }
        bool recognised = false;
        for (const NumberField& field : kNumberFields) {
            if (field.section != known || !SameIgnoringCase(field.key, key)) continue;
            recognised = true;
            uint32_t number = 0;
            if (ParseNumber(value, number) && number <= field.largest) {
                settings.*field.field = number;
            } else {
                problemList.add(lineNumber, sectionLabel + field.key + " " + Quote(value) +
                                                " is not a number from 0 to " +
                                                std::to_string(field.largest) + "; kept " +
                                                std::to_string(settings.*field.field));
            }
        }
        for (const TextField& field : kTextFields) {
            if (known != kDisks || !SameIgnoringCase(field.key, key)) continue;
            recognised = true;
            if (value.find('\0') != std::string_view::npos) {
                problemList.add(lineNumber, sectionLabel + field.key + " " + Quote(value) +
                                                " holds a zero byte; ignored");
            } else if (value.size() <= kSettingsTextLongest) {
                settings.*field.field = value;
            } else {
                problemList.add(lineNumber, sectionLabel + field.key + " is " +
                                                std::to_string(value.size()) +
                                                " bytes long, longer than " +
                                                std::to_string(kSettingsTextLongest) + "; ignored");
            }
        }
        if (!recognised) {
            settings.unknownKeys[known].push_back({std::string(key), std::string(value)});
        }
    }

    LoadRomList(romCount, romKeys, settings.roms, problemList);
    settings.RAMSize &= 3;
}

std::string FormatSettings(const Settings& settings) {
    std::string text;
    for (int section = 0; section < kKnownSections; ++section) {
        if (section > 0) text += "\n";
        text.append("[").append(kSectionNames[section]).append("]\n");
        if (section == kRoms) {
            const std::vector<RomEntry>& entries = settings.roms.Entries();
            AppendEntry(text, "Count", std::to_string(entries.size()));
            for (size_t position = 0; position < entries.size(); ++position) {
                const std::string number = std::to_string(position);
                AppendEntry(text, "ROM" + number, entries[position].path);
                AppendEntry(text, "Active" + number, entries[position].active ? "1" : "0");
            }
        }
        for (const NumberField& field : kNumberFields) {
            if (field.section == section) {
                AppendEntry(text, field.key, std::to_string(settings.*field.field));
            }
        }
        if (section == kDisks) {
            for (const TextField& field : kTextFields) {
                const std::string& value = settings.*field.field;
                // A line break would end the value early and make the rest a line of its own; a
                // zero byte would not read back.
                const bool storable =
                    value.find_first_of(std::string_view("\n\0", 2)) == std::string::npos;
                AppendEntry(text, field.key, storable ? value : std::string());
            }
        }
        AppendKept(text, settings.unknownKeys[static_cast<size_t>(section)]);
    }
    for (const SettingsSection& section : settings.unknownSections) {
        if (section.name.empty() || Trim(section.name) != section.name ||
            section.name.find_first_of("]\n") != std::string::npos) {
            continue;
        }
        text.append("\n[").append(section.name).append("]\n");
        AppendKept(text, section.entries);
    }
    return text;
}

void LoadSettingsFile(const std::string& path, Settings& settings,
                      std::vector<std::string>* problems) {
    auto report = [&](const std::string& reason) {
        if (problems) problems->push_back(path + ": " + reason + "; using the defaults");
    };
    // Only a regular file is opened, and without blocking: a FIFO or a device in the file's place
    // must not stall the start or be disturbed by it.
    struct stat before {};
    if (stat(path.c_str(), &before) != 0) {
        if (errno != ENOENT) report(std::strerror(errno));
        return;
    }
    if (!S_ISREG(before.st_mode)) return report("not a regular file");
    const int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) return report(std::strerror(errno));
    std::string text;
    struct stat status {};
    bool readable = false;
    if (fstat(descriptor, &status) != 0) {
        report(std::strerror(errno));
    } else if (!S_ISREG(status.st_mode)) {
        report("not a regular file");
    } else if (static_cast<uint64_t>(status.st_size) > kSettingsFileLargest) {
        report("too large for a settings file (" + std::to_string(status.st_size) + " bytes)");
    } else {
        readable = true;
        char buffer[16384];
        while (text.size() <= kSettingsFileLargest) {
            const ssize_t got = read(descriptor, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) {
                report(std::strerror(errno));
                readable = false;
            }
            if (got <= 0) break;
            text.append(buffer, static_cast<size_t>(got));
        }
        // The file may have grown since fstat.
        if (readable && text.size() > kSettingsFileLargest) {
            report("too large for a settings file");
            readable = false;
        }
    }
    close(descriptor);
    if (!readable) return;

    const size_t firstNew = problems ? problems->size() : 0;
    ParseSettings(text, settings, problems);
    if (problems) {
        for (size_t line = firstNew; line < problems->size(); ++line) {
            (*problems)[line] = path + ": " + (*problems)[line];
        }
    }
}

bool SaveSettingsFile(const std::string& path, const Settings& settings, std::string* error) {
    return WriteFileAtomically(path, FormatSettings(settings), error);
}

}  // namespace orvet
