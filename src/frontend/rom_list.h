// The TOS ROM and cartridge images the user has offered, with the one active TOS ROM and the one
// active cartridge that start-up maps into the machine.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace orvet {

// ROM kinds as stored: 0 TOS ROM, 1 diagnostic cartridge, 2 application cartridge.
constexpr int kRomKindTos = 0, kRomKindDiagnostic = 1, kRomKindApplication = 2;

// The longest path an entry holds: the entry's path field was 256 bytes with its terminating zero.
constexpr size_t kRomPathLongest = 255;

// "TOS ROM", "Diagnostic", "Application"; "" for anything else.
const char* RomKindName(int kind);

// The entry of Orvet's own ROM: no id the list gives a file ever reaches it.
constexpr int kBuiltinRomId = std::numeric_limits<int>::max();

// What the first bytes of an image make of it: a TOS ROM starts with a 68000 short branch over its
// header (0x60 0x2E or 0x60 0x1E), a cartridge with its magic long (0xFA52235F diagnostic,
// 0xABCDEF42 application). -1 when none of them.
int RomKindOfHeader(const std::array<uint8_t, 64>& header);

struct RomEntry {
    bool active = false;
    int id = -1;
    int kind = kRomKindTos;
    std::string path;
    std::array<uint8_t, 64> header{};  // the file's first 64 bytes as stored, zero past its end
    bool operator==(const RomEntry&) const = default;
};

// Newest first, and last of all, as the oldest, Orvet's built-in ROM (kBuiltinRomId), which is
// always there: Remove and Clear leave it, and it is the active TOS ROM whenever no file is, so
// the machine always has a system to start. It is part of Orvet, not of the settings: Entries()
// holds the files only. Ids count every file ever added and are never reused while the program
// runs, so a window can hold an id across removals.
class RomList {
public:
    // Reads the image's first 64 bytes and puts it at the front. -1 when the path is already
    // listed (ignoring case), empty, longer than kRomPathLongest, holds a line break or a zero
    // byte, is not a regular file (a FIFO or a device is never opened for
    // reading, so nothing can block or stream forever), cannot be read, or is no ROM or cartridge;
    // then reason, when given, gets a few words saying why (without the path).
    int Add(const std::string& path, std::string* reason = nullptr);
    void Remove(int id);
    const std::array<uint8_t, 64>* Header(int id) const;  // null if none
    int Kind(int id) const;                               // -1 if none
    int Count() const;
    int IdAt(int position) const;           // -1 if none
    // The file's path; for the built-in ROM an empty one, which start-up takes as that ROM.
    const std::string* Path(int id) const;  // null if none
    // What a person is shown: the file's path, or the built-in ROM's name. Empty if none.
    std::string Name(int id) const;
    static bool IsBuiltin(int id) { return id == kBuiltinRomId; }
    bool IsActive(int id) const;
    // At most one TOS ROM and one cartridge are active. A TOS ROM is switched on (and the other TOS
    // ROMs off); a cartridge is toggled, so choosing the active one again leaves none. An id that
    // names no entry switches every cartridge off.
    void SetActive(int id);
    // The first active TOS ROM (the built-in one when no file is) or cartridge (-1 if none).
    int FindActive(bool wantCartridge) const;
    void Clear();  // every file goes

    const std::vector<RomEntry>& Entries() const { return entries_; }
    bool operator==(const RomList&) const = default;

private:
    const RomEntry* Find(int id) const;
    std::vector<RomEntry> entries_;  // front is newest
    int nextId_ = 0;
};

}  // namespace orvet
