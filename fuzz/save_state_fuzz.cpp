// Save states come from files anyone can hand Orvet. The loader must refuse what it cannot
// restore with one line and leave the machine exactly as it was, and a state it accepts must run.
//
// Input: byte 0 picks the form. Even: the rest is a state file as it is, so the header, length
// and checksum checks are reached. Odd: the rest is a state's header and chip sections; the RAM
// section, the file's length and its checksum are added here, so that mutations reach the chips'
// own checks rather than stop at the checksum. The seeds (written by orvet_save_state_seeds) are
// real states of the machine below in both forms.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "disk/crc32.h"
#include "machine/builtin_rom.h"
#include "machine/machine.h"
#include "machine/save_state.h"

namespace {

using namespace orvet;

void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "orvet_save_state_fuzz: %s\n", what);
    std::abort();
}

void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    for (int byte = 0; byte < 4; ++byte) bytes[at + byte] = uint8_t(value >> (8 * byte));
}

// The smallest machine: an STFM with 512 KB and the built-in ROM, as the seed tool makes it.
Machine& FuzzMachine() {
    static Machine* machine = [] {
        auto* made = new Machine;
        Require(CreateMachine(*made, 0), "no machine");
        Require(LoadBuiltinRom(made->memory), "no built-in ROM");
        SoundLogRestart(made->ym.soundLog);
        ShifterStartFrame(made->shifter, nullptr);
        ResetMachine(*made, true);
        return made;
    }();
    return *machine;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    Machine& machine = FuzzMachine();
    std::vector<uint8_t> state(data + 1, data + size);
    if ((data[0] & 1) && state.size() >= 24) {
        const size_t at = state.size();
        state.resize(at + 12 + machine.memory.ramSize + 4);
        std::copy_n("RAM ", 4, state.begin() + at);
        Put32(state, at + 4, 1);
        Put32(state, at + 8, machine.memory.ramSize);
        Put32(state, 12, static_cast<uint32_t>(state.size()));
        Put32(state, state.size() - 4, Crc32({state.data(), state.size() - 4}));
    }

    std::vector<uint8_t> before;
    Require(SaveState(machine, before), "cannot save the machine");
    std::string error;
    if (!LoadState(machine, state, &error)) {
        Require(!error.empty() && error.find('\n') == std::string::npos, "no one-line reason");
        std::vector<uint8_t> after;
        SaveState(machine, after);
        Require(after == before, "a refused state changed the machine");
        return 0;
    }
    // An accepted state runs, and the machine goes back to what it was for the next input.
    RunFrame(machine);
    Require(LoadState(machine, before, &error), "the machine's own state was refused");
    return 0;
}
