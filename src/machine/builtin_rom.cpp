#include "machine/builtin_rom.h"

#include "builtin_rom_image.h"  // generated from src/rom/ at build time

namespace orvet {

std::span<const uint8_t> BuiltinRom() {
    return {kBuiltinRomImage, sizeof kBuiltinRomImage};
}

bool LoadBuiltinRom(MachineMemory& memory, std::string* error) {
    return LoadTosRomBytes(memory, BuiltinRom(), kBuiltinRomName, error);
}

}  // namespace orvet
