// Save states: a machine saved after N frames and loaded into a fresh machine (and back into
// itself) runs the next M frames to the same RAM, picture and sound as the machine that went on;
// a state that is damaged, cut short or made for other hardware is refused and changes nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "disk/crc32.h"
#include "machine/machine.h"
#include "machine/save_state.h"
#include "program_machine.h"

namespace orvet {
namespace {

using Bytes = std::vector<uint8_t>;

// What each frame left: a CRC-32 each of RAM, the picture and the sound.
struct FrameRecord {
    uint32_t ram = 0, screen = 0, sound = 0;
    bool operator==(const FrameRecord&) const = default;
};

struct SoundRecorder : FrameOutput {
    uint32_t crc = 0;
    void playSamples(Machine&, const int16_t* samples, int count) override {
        crc = Crc32({reinterpret_cast<const uint8_t*>(samples), size_t(count) * 2});
    }
};

// A disk whose boot sector carries the boot program the floppy_boot ROM runs, as the drive
// holds it (each word's bytes exchanged).
DiskImage BootDisk() {
    std::ifstream file(std::string(ORVET_TEST_PROGRAMS_DIR) + "/boot_sector.bin",
                       std::ios::binary);
    Bytes program((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_FALSE(program.empty());
    Bytes sectors(80 * 2 * 9 * 512);
    for (size_t index = 0; index < sectors.size(); ++index) sectors[index] = uint8_t(index * 7);
    sectors[0] = 0x60, sectors[1] = 0x1C;  // BRA.S over the parameter block
    std::copy(program.begin(), program.end(), sectors.begin() + 0x1E);
    uint16_t sum = 0;
    for (size_t offset = 0; offset < 510; offset += 2) sum += sectors[offset] << 8 | sectors[offset + 1];
    sectors[510] = uint8_t((0x1234 - sum) >> 8), sectors[511] = uint8_t(0x1234 - sum);
    DiskImage disk;
    disk.data.resize(sectors.size());
    for (size_t index = 0; index < sectors.size(); ++index) disk.data[index ^ 1] = sectors[index];
    disk.tracks = 80, disk.sides = 2, disk.sectors = 9;
    return disk;
}

struct Case {
    const char* program;
    bool ste;
    int framesBefore, framesAfter;
    // Where in the next frame the state is saved; 0: between frames. Mid-frame, the frame's logs,
    // the DAC's levels and the keyboard line's backlog are part of the state.
    int32_t saveAtCycle = 0;
    bool disk = false;
    // Host input before frame `frame` (counted from the start), the same on every run.
    std::function<void(HostInput&, int frame)> input = [](HostInput&, int) {};
};

struct TestMachine : ProgramMachine {
    SoundRecorder sound;
    TestMachine(const Case& c) : ProgramMachine(c.program) {
        SetMachineModel(machine, c.ste);
        ResetMachine(machine, true);
        machine.frameOutput = &sound;
    }
    void runInto(const Case& c, int frame) {
        c.input(machine.host, frame);
        while (machine.cpu.cycleCounter < c.saveAtCycle) {
            const int32_t granted = FrameStep(machine);
            ASSERT_GE(granted, 0);
            if (granted > 0) {
                ASSERT_EQ(CpuExecute(machine.cpu, granted), kCpuRunEnded);
            }
        }
    }
    std::vector<FrameRecord> run(const Case& c, int first, int count) {
        std::vector<FrameRecord> records;
        for (int frame = first; frame < first + count; ++frame) {
            c.input(machine.host, frame);
            EXPECT_TRUE(RunFrame(machine)) << c.program << " frame " << frame;
            records.push_back(
                {Crc32({machine.memory.ramBase, machine.memory.ramSize}),
                 Crc32({reinterpret_cast<const uint8_t*>(machine.screen.data()),
                        machine.screen.size() * 2}),
                 sound.crc});
        }
        return records;
    }
};

Bytes Save(const Machine& machine) {
    Bytes bytes;
    EXPECT_TRUE(SaveState(machine, bytes));
    return bytes;
}

TEST(SaveState, AMachineGoesOnAfterALoadExactlyAsItWould) {
    auto typeKey = [](HostInput& input, int frame) {
        // Keys and large movements keep the serial line's backlog full at the save.
        input.keyState['A'] = (frame % 3 == 0) ? 0x80 : 0;
        input.mouseMovementX = frame % 2 ? 300 : -200;
        input.mouseMovementY = 77;
    };
    const Case cases[] = {
        {"raster_bars", false, 20, 15, 70001},
        {"interrupts", true, 12, 15},
        {"tone", false, 10, 20, 100000},
        {"dma_sound", true, 10, 20, 90000},
        {"keyboard", false, 9, 25, 50000, false, typeKey},
        {"floppy_boot", false, 40, 60, 0, true},
        {"floppy_boot", true, 75, 20, 120000, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.program) + (c.ste ? " STE" : " STFM"));
        TestMachine original(c);
        if (c.disk) original.machine.driveA = BootDisk();
        original.run(c, 0, c.framesBefore);
        original.runInto(c, c.framesBefore);
        const Bytes state = Save(original.machine);
        const std::vector<FrameRecord> expected = original.run(c, c.framesBefore, c.framesAfter);

        TestMachine fresh(c);
        std::string error;
        ASSERT_TRUE(LoadState(fresh.machine, state, &error)) << error;
        EXPECT_EQ(fresh.run(c, c.framesBefore, c.framesAfter), expected) << "a fresh machine";

        ASSERT_TRUE(LoadState(original.machine, state, &error)) << error;
        EXPECT_EQ(original.run(c, c.framesBefore, c.framesAfter), expected) << "the same machine";
        EXPECT_EQ(Save(original.machine), Save(fresh.machine));
    }
}

void PutLong(Bytes& bytes, size_t at, uint32_t value) {
    for (int byte = 0; byte < 4; ++byte) bytes[at + byte] = uint8_t(value >> (8 * byte));
}
// The trailer's CRC made to fit again, so that the damage reaches the sections.
void Reseal(Bytes& bytes) {
    PutLong(bytes, bytes.size() - 4, Crc32({bytes.data(), bytes.size() - 4}));
}
size_t SectionPayload(const Bytes& bytes, const char* tag) {
    for (size_t at = 24; at + 12 <= bytes.size(); ++at) {
        if (std::memcmp(bytes.data() + at, tag, 4) == 0) return at + 12;
    }
    ADD_FAILURE() << "no section " << tag;
    return 24;
}

TEST(SaveState, AStateThatCannotBeRestoredIsRefusedAndChangesNothing) {
    const Case stfm{"floppy_boot", false, 0, 0, 0, true};
    TestMachine source(stfm);
    source.machine.driveA = BootDisk();
    source.run(stfm, 0, 30);
    const Bytes good = Save(source.machine);

    struct Damage {
        const char* what;
        std::function<void(Bytes&)> apply;
        const char* message;  // a part of the one line that says why
    };
    const Damage damages[] = {
        {"empty", [](Bytes& b) { b.clear(); }, "not an Orvet save state"},
        {"another file", [](Bytes& b) { b[0] = 'P'; }, "not an Orvet save state"},
        {"cut short", [](Bytes& b) { b.resize(b.size() / 2); }, "cut short"},
        {"one byte short", [](Bytes& b) { b.pop_back(); }, "cut short"},
        {"header only", [](Bytes& b) { b.resize(28); }, "cut short"},
        {"a bit flipped", [](Bytes& b) { b[b.size() / 3] ^= 0x10; }, "checksum"},
        {"another format", [](Bytes& b) { PutLong(b, 8, 2); }, "format 2"},
        {"an STE's", [](Bytes& b) { b[16] = 1, Reseal(b); }, "for an STE"},
        {"another RAM size", [](Bytes& b) { b[17] = 3, Reseal(b); }, "4 MB"},
        {"another ROM", [](Bytes& b) { b[20] ^= 1, Reseal(b); }, "another TOS"},
        {"a controller state that does not exist",
         [](Bytes& b) { b[SectionPayload(b, "FDC ") + 26] = 99, Reseal(b); }, "FDC "},
        {"an unknown section", [](Bytes& b) { std::memcpy(&b[24], "ZZZZ", 4), Reseal(b); },
         "does not know"},
        {"a newer section",
         [](Bytes& b) { PutLong(b, SectionPayload(b, "MFP ") - 8, 7), Reseal(b); }, "newer"},
        {"a section longer than the file",
         [](Bytes& b) { PutLong(b, SectionPayload(b, "DISK") - 4, 0x7FFFFFF0), Reseal(b); },
         "runs past"},
    };
    TestMachine target(stfm);
    target.run(stfm, 0, 5);
    const Bytes before = Save(target.machine);
    for (const Damage& damage : damages) {
        Bytes bytes = good;
        damage.apply(bytes);
        std::string error;
        EXPECT_FALSE(LoadState(target.machine, bytes, &error)) << damage.what;
        EXPECT_NE(error.find(damage.message), std::string::npos) << damage.what << ": " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        EXPECT_EQ(Save(target.machine), before) << damage.what;
    }

    // The right state for other hardware: an STE, a machine with other RAM, another ROM.
    const Case ste{"floppy_boot", true, 0, 0};
    const Case otherRom{"raster_bars", false, 0, 0};
    TestMachine steMachine(ste), otherRomMachine(otherRom), biggerMachine(stfm);
    SetRamSize(biggerMachine.machine.memory, 3);
    for (TestMachine* other : {&steMachine, &otherRomMachine, &biggerMachine}) {
        const Bytes otherBefore = Save(other->machine);
        std::string error;
        EXPECT_FALSE(LoadState(other->machine, good, &error));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(Save(other->machine), otherBefore) << error;
    }
}

// A load replaces the disk in the drive: what the program wrote to it goes to its file first,
// and a disk whose writes cannot be saved keeps the load from happening.
TEST(SaveState, TheDiskInTheDriveKeepsItsWrites) {
    const Case c{"raster_bars", false, 0, 0};
    TestMachine machine(c);
    const Bytes emptyDrive = Save(machine.machine);
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("orvet_state_disk_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    DiskImage& drive = machine.machine.driveA;
    drive = BootDisk();
    drive.format = DiskImageFormat::RawSt;
    drive.dirty = true;

    drive.path = (folder / "gone" / "disk.st").string();
    const Bytes before = Save(machine.machine);
    std::string error;
    EXPECT_FALSE(LoadState(machine.machine, emptyDrive, &error));
    EXPECT_NE(error.find("cannot be saved"), std::string::npos) << error;
    EXPECT_EQ(Save(machine.machine), before);

    drive.path = (folder / "disk.st").string();
    std::ofstream(drive.path, std::ios::binary) << "an older copy";
    ASSERT_TRUE(LoadState(machine.machine, emptyDrive, &error)) << error;
    EXPECT_FALSE(machine.machine.driveA.inserted());
    EXPECT_EQ(std::filesystem::file_size(folder / "disk.st"), 80u * 2 * 9 * 512);
    std::filesystem::remove_all(folder);
}

TEST(SaveState, AStateFileIsWrittenWholeAndReadBack) {
    const Case c{"raster_bars", false, 0, 0};
    TestMachine machine(c);
    machine.run(c, 0, 3);
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("orvet_state_" + std::to_string(getpid()));
    std::filesystem::remove_all(folder);
    const std::string path = SaveStateSlotPath(folder.string(), 4);
    std::string error;
    ASSERT_TRUE(SaveStateFile(machine.machine, path, &error)) << error;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder / "states"),
                            std::filesystem::directory_iterator()),
              1)
        << "no temporary is left beside it";
    const Bytes saved = Save(machine.machine);
    machine.run(c, 3, 2);
    ASSERT_TRUE(LoadStateFile(machine.machine, path, &error)) << error;
    EXPECT_EQ(Save(machine.machine), saved);
    EXPECT_FALSE(LoadStateFile(machine.machine, (folder / "none.ost").string(), &error));
    EXPECT_NE(error.find("none.ost"), std::string::npos) << error;
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace orvet
