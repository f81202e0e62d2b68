// Save states: the whole machine written to a file and read back, so that it goes on exactly as
// it would have.
//
// The file, every number little-endian:
//   header  "ORVETSTA", format version (32 bits), the file's length (32 bits), the model (0 STFM,
//           1 STE), the RAM size index (0-3: 512 KB to 4 MB), two zero bytes, and a CRC-32 of
//           the ROM and cartridge areas as mapped
//   then one section per chip: a 4-character tag, the layout version of its contents, their
//           length (32 bits each), and the contents as the chip's function (chip_state.h) wrote
//           them; RAM is its bytes as the machine's memory holds them, each 16-bit word's two
//           bytes exchanged
//   last    the CRC-32 of everything before it
//
// A load checks the whole file and reads every section into scratch copies of the chips before
// the machine is touched: a file that is damaged, cut short, of another format, for another model
// or RAM size, or made with another ROM is refused with one line saying so, and the machine goes
// on as it was. The host's settings (sound sources, disk speed) and the debugger's breakpoints
// are the person's, not the machine's, and are not part of a state.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace orvet {

struct Machine;
struct MachineMemory;

constexpr uint32_t kSaveStateFormatVersion = 1;
constexpr int kSaveStateSlotCount = 10;

// The machine's state as a file's bytes. False when the machine has no memory (not started).
bool SaveState(const Machine& machine, std::vector<uint8_t>& out);

// Restores the state in `bytes`, or refuses it with one line in `error` and leaves the machine as
// it was. The disk in the state replaces the one in drive A; a disk there with writes not yet
// saved to its file is saved first, and when that fails the load is refused, so that no write
// is lost.
bool LoadState(Machine& machine, std::span<const uint8_t> bytes, std::string* error = nullptr);

// The same through a file. Saving writes under a temporary name beside `path`, flushes and
// renames, so that a crash leaves the old file or the new one; the folder is made if missing.
// Errors name the file.
bool SaveStateFile(const Machine& machine, const std::string& path, std::string* error = nullptr);
bool LoadStateFile(Machine& machine, const std::string& path, std::string* error = nullptr);

// The quick-save slots 0-9: "states/state_N.ost" in the data folder.
std::string SaveStateSlotPath(const std::string& dataFolder, int slot);

// The CRC-32 of what is mapped in the ROM and cartridge areas, with the ROM's base and size: a
// state only runs on the ROM it was made with.
uint32_t MappedRomChecksum(const MachineMemory& memory);

}  // namespace orvet
