// Orvet's own ROM, assembled from src/rom/ when Orvet is built: it starts the machine as the ST's
// operating system does, so that the emulator runs with no TOS image of the user's.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "machine/memory.h"

namespace orvet {

// The name the ROM list and the messages give it.
inline constexpr const char* kBuiltinRomName = "Orvet built-in ROM";

std::span<const uint8_t> BuiltinRom();

// Maps the built-in ROM as the machine's TOS image.
bool LoadBuiltinRom(MachineMemory& memory, std::string* error = nullptr);

}  // namespace orvet
