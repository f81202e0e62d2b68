// Writes the save-state fuzz target's seeds into the folder named on the command line: states of
// the fuzz target's machine (an STFM with 512 KB and the built-in ROM) after a few frames, in
// the target's two forms (see save_state_fuzz.cpp), and one cut short.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "machine/builtin_rom.h"
#include "machine/machine.h"
#include "machine/save_state.h"

namespace {

using namespace orvet;

bool WriteSeed(const std::string& path, uint8_t form, const std::vector<uint8_t>& bytes,
               size_t length) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool written = std::fwrite(&form, 1, 1, file) == 1 &&
                   std::fwrite(bytes.data(), 1, length, file) == length;
    return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: orvet_save_state_seeds FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    Machine machine;
    if (!CreateMachine(machine, 0) || !LoadBuiltinRom(machine.memory)) return 1;
    SoundLogRestart(machine.ym.soundLog);
    ShifterStartFrame(machine.shifter, nullptr);
    ResetMachine(machine, true);
    for (int frames : {0, 30}) {
        for (int frame = 0; frame < frames; ++frame) RunFrame(machine);
        std::vector<uint8_t> state;
        SaveState(machine, state);
        // The RAM section is last: 12 bytes of section header, the RAM, the 4-byte checksum.
        const size_t sections = state.size() - 12 - machine.memory.ramSize - 4;
        const std::string stem = folder + "/after_" + std::to_string(frames);
        if (!WriteSeed(stem + "_sections", 1, state, sections) ||
            !WriteSeed(stem + "_cut_short", 0, state, 200)) {
            std::fprintf(stderr, "orvet_save_state_seeds: cannot write into %s\n", folder.c_str());
            return 1;
        }
    }
    return 0;
}
