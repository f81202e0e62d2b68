// A real operating system boots: EmuTOS, a free TOS for the ST, started as a new user would start
// it, on both models, at the smallest and the largest memory, with a blank disk in drive A and
// with the drive empty. It must reach its desktop with the mouse pointer drawn, size memory to
// what the machine has, and never crash on the way (a crash cold-resets the machine).
//
// The desktop is compared with a golden picture every frame; the first frame that matches is the
// time the boot took, printed for each configuration. ORVET_UPDATE_GOLDEN=1 stores the picture
// of the last frame instead.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "capture/png.h"
#include "golden.h"
#include "machine/machine.h"

namespace orvet {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kPhystop = 0x42E;      // the top of RAM as the OS sized it
constexpr uint32_t kFloppyCount = 0x4A6;  // the drives the OS found answering
// Long enough for the slowest boot (the drive empty, waiting out the OS's floppy time-outs)
// with room to spare; a boot that has not reached the desktop by then has gone wrong.
constexpr int kMaxFrames = 60 * 50;

fs::path TestData() {
    const char* overridden = std::getenv("ORVET_TESTDATA");
    return overridden ? fs::path(overridden) : fs::path(ORVET_TESTDATA_DIR);
}

struct BootCase {
    const char* name;
    bool ste;
    unsigned ramSizeIndex;  // 0: 512 KB, 3: 4 MB
    uint32_t ramBytes;
    bool diskInDrive;
};

const BootCase kCases[] = {
    {"stfm_512k_blank_disk", false, 0, 0x80000, true},
    {"stfm_512k_no_disk", false, 0, 0x80000, false},
    {"stfm_4m_blank_disk", false, 3, 0x400000, true},
    {"stfm_4m_no_disk", false, 3, 0x400000, false},
    {"ste_512k_blank_disk", true, 0, 0x80000, true},
    {"ste_512k_no_disk", true, 0, 0x80000, false},
    {"ste_4m_blank_disk", true, 3, 0x400000, true},
    {"ste_4m_no_disk", true, 3, 0x400000, false},
};

struct OperatingSystemBoot : ::testing::TestWithParam<BootCase> {
    fs::path folder;
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "orvet_os_boot_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
    }
    void TearDown() override { fs::remove_all(folder); }

    // A freshly formatted 720 KB disk, as a user's blank disk is: no boot program, no files.
    std::string BlankDisk() {
        const std::string image = (folder / "blank.st").string();
        const std::string command =
            "MTOOLS_SKIP_CHECK=1 mformat -i '" + image + "' -C -f 720 -v BLANK ::";
        if (std::system(command.c_str()) != 0) {
            ADD_FAILURE() << "mtools could not make the disk: " << command;
            return {};
        }
        return image;
    }
};

TEST_P(OperatingSystemBoot, ReachesTheDesktop) {
    const BootCase& boot = GetParam();
    const fs::path rom = TestData() / "emutos" / "etos192us.img";
    ASSERT_TRUE(fs::exists(rom)) << rom << " is missing (set ORVET_TESTDATA)";

    MachineSettings settings;
    settings.ste = boot.ste;
    settings.ramSizeIndex = boot.ramSizeIndex;
    settings.tosPath = rom.string();
    if (boot.diskInDrive) {
        settings.diskPath = BlankDisk();
        ASSERT_FALSE(settings.diskPath.empty());
    }
    auto machine = std::make_unique<Machine>();
    // The keyboard processor's clock is read at boot; a fixed one keeps the run repeatable.
    machine->host.readUtcClock = [] { return UtcDateTime{2026, 12, 6, 12, 0, 0}; };
    std::string error;
    ASSERT_TRUE(StartMachine(*machine, settings, error)) << error;
    SetRunState(*machine, RunState::Running);

    // Every configuration shows the same desktop.
    const std::string golden = "emutos_desktop";
    std::vector<uint16_t> desktop;
    int width = 0, height = 0;
    const bool updating = std::getenv("ORVET_UPDATE_GOLDEN") != nullptr &&
                          std::string(std::getenv("ORVET_UPDATE_GOLDEN")) == "1";
    if (!updating) {
        ASSERT_TRUE(ReadPngRgb565(std::string(ORVET_GOLDEN_DIR) + "/" + golden + ".png", desktop,
                                  width, height, &error))
            << error << "; run ORVET_UPDATE_GOLDEN=1 to create it";
        ASSERT_EQ(desktop.size(), machine->screen.size());
    }

    int frame = 0;
    for (; frame < kMaxFrames; ++frame) {
        ASSERT_TRUE(RunFrame(*machine)) << "the machine crashed and was cold-reset in frame "
                                        << frame << ", PC " << std::hex << machine->cpu.pc;
        if (!desktop.empty() && std::memcmp(machine->screen.data(), desktop.data(),
                                            desktop.size() * sizeof(uint16_t)) == 0) {
            break;
        }
    }
    EXPECT_TRUE(MatchesGolden(golden, machine->screen.data()))
        << "no frame of " << kMaxFrames << " showed the desktop";
    EXPECT_EQ(CpuPeekWord(machine->cpu, kPhystop) << 16 | CpuPeekWord(machine->cpu, kPhystop + 2),
              boot.ramBytes);
    EXPECT_EQ(CpuPeekWord(machine->cpu, kFloppyCount), 1) << "the machine has one drive";
    std::printf("%s: the desktop after %d frames, %.1f emulated seconds\n", boot.name, frame + 1,
                (frame + 1) / 50.06);
}

INSTANTIATE_TEST_SUITE_P(EmuTos, OperatingSystemBoot, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orvet
