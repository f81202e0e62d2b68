// The options window's rules without a window: column texts from ROM headers, each control's
// effect on the settings and on a real machine, and the ROM list's Add, Delete and Set Active
// against files in a scratch folder.
#include "frontend/options.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "machine/builtin_rom.h"
#include "machine/machine.h"

namespace orvet {
namespace {

namespace fs = std::filesystem;

std::array<uint8_t, 64> Header(std::initializer_list<std::pair<size_t, std::vector<uint8_t>>> at) {
    std::array<uint8_t, 64> header{};
    header[0] = 0x60, header[1] = 0x2E;
    for (const auto& [offset, bytes] : at) std::copy(bytes.begin(), bytes.end(), &header[offset]);
    return header;
}

TEST(OptionsColumns, TextsComeFromTheHeader) {
    struct Case {
        int kind;
        std::array<uint8_t, 64> header;
        const char *base, *version, *date, *country;
    };
    const Case cases[] = {
        {kRomKindTos, Header({{2, {1, 4}}, {8, {0, 0xFC, 0, 0}}, {24, {4, 6, 0x19, 0x89, 0, 3}}}),
         "$FC0000", "1.4", "6/4/1989", "Germany (PAL)"},
        {kRomKindTos, Header({{2, {2, 6}}, {8, {0, 0xE0, 0, 0}}, {24, {0x12, 0x31, 0x20, 0x01}}}),
         "$E00000", "2.6", "31/12/2001", "USA (NTSC)"},
        {kRomKindTos, Header({{28, {0, 0x0F}}}), "$0", "0.0", "0/0/000",
         "Switzerland - French) (PAL)"},
        {kRomKindTos, Header({{28, {0, 0x21}}}), "$0", "0.0", "0/0/000", "Hungary (PAL)"},
        // Past the known countries no name is shown; the standard still is.
        {kRomKindTos, Header({{28, {0x80, 0x22}}}), "$0", "0.0", "0/0/000", "(NTSC)"},
        // A cartridge sits at the port whatever its bytes say, and has no TOS fields.
        {kRomKindApplication, Header({{8, {0, 0xFC, 0, 0}}}), "$FA0000", "", "", ""},
        {kRomKindDiagnostic, Header({}), "$FA0000", "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.country);
        EXPECT_EQ(RomBaseText(c.kind, c.header), c.base);
        EXPECT_EQ(RomVersionText(c.kind, c.header), c.version);
        EXPECT_EQ(RomDateText(c.kind, c.header), c.date);
        EXPECT_EQ(RomCountryText(c.kind, c.header), c.country);
    }
    EXPECT_EQ(kCountryNames[8], std::string("Switzerland - German)"));
}

class OptionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "orvet_options_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        ASSERT_TRUE(CreateMachine(machine_, 2));
        ASSERT_TRUE(LoadBuiltinRom(machine_.memory));
        ResetOptions(window_, settings_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        const std::string path = (folder_ / name).string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
        return path;
    }
    // A TOS image of 256 bytes at 0xFC0000 whose reset PC is start.
    std::string WriteTos(const std::string& name, uint32_t start = 0xFC0040) const {
        std::vector<uint8_t> bytes(256, 0x4E);
        const uint8_t header[12] = {0x60,           0x2E, 0x01, 0x04, 0, 0xFC, uint8_t(start >> 8),
                                    uint8_t(start), 0,    0xFC, 0,    0};
        std::copy(std::begin(header), std::end(header), bytes.begin());
        return Write(name, bytes);
    }
    int IdOf(const std::string& fileName) const {
        for (const RomRow& row : window_.rows) {
            if (row.fileName == fileName) return row.id;
        }
        return -1;
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const RomRow& row : window_.rows) names.push_back(row.fileName);
        return names;
    }

    fs::path folder_;
    Machine machine_;
    Settings settings_;
    OptionsWindow window_;
};

TEST_F(OptionsTest, EachControlActsOnTheSettingsAndTheMachineAtOnce) {
    for (unsigned index = 0; index < 4; ++index) {
        ChooseRamSize(settings_, machine_, index);
        EXPECT_EQ(settings_.RAMSize, index);
        EXPECT_EQ(machine_.memory.ramSize, RamSizeForIndex(index));
    }
    ChooseMachineModel(settings_, machine_, true);
    EXPECT_TRUE(settings_.Machine == 1 && machine_.steMode && DacSoundEnabled(settings_));
    ChooseSound(settings_, machine_, SoundSource::SteDac, false);
    ChooseMachineModel(settings_, machine_, false);
    EXPECT_TRUE(settings_.Machine == 0 && !machine_.steMode && !DacSoundEnabled(settings_));
    EXPECT_EQ(settings_.bDacSound, 0u) << "the STFM only disables the box";

    ChooseDriveSpeed(settings_, machine_, true);
    EXPECT_TRUE(settings_.FastDisk == 1 && machine_.fdc.fastDisk &&
                machine_.soundSettings.FastDisk);
    ChooseDriveSpeed(settings_, machine_, false);
    EXPECT_TRUE(settings_.FastDisk == 0 && !machine_.fdc.fastDisk);

    const std::tuple<SoundSource, uint32_t Settings::*, bool SoundSettings::*> sources[] = {
        {SoundSource::Ym2149, &Settings::YMSound, &SoundSettings::YMSound},
        {SoundSource::SteDac, &Settings::bDacSound, &SoundSettings::bDacSound},
        {SoundSource::DiskDrive, &Settings::DiskSound, &SoundSettings::DiskSound}};
    for (const auto& [source, field, machineField] : sources) {
        for (bool on : {false, true}) {
            ChooseSound(settings_, machine_, source, on);
            EXPECT_EQ(settings_.*field, on ? 1u : 0u);
            EXPECT_EQ(machine_.soundSettings.*machineField, on);
        }
    }
}

TEST_F(OptionsTest, FrameSkipStaysInRangeAndShowsOnlyWithTheHostsBlank) {
    ChooseSyncMode(settings_, 2);
    for (int press = 0; press < 20; ++press) StepFrameSkip(settings_, 1);
    EXPECT_EQ(settings_.FrameSkip, 9u);
    EXPECT_EQ(FrameSkipText(settings_), "9");
    for (int press = 0; press < 20; ++press) StepFrameSkip(settings_, -1);
    EXPECT_EQ(settings_.FrameSkip, 0u);
    for (auto [typed, kept] : {std::pair{-5, 0u}, {4, 4u}, {100, 9u}}) {
        SetFrameSkip(settings_, typed);
        EXPECT_EQ(settings_.FrameSkip, kept) << typed;
    }
    settings_.FrameSkip = 4000000000u;  // an edited file
    StepFrameSkip(settings_, -1);
    EXPECT_EQ(settings_.FrameSkip, 8u);
    for (uint32_t mode : {0u, 1u}) {
        ChooseSyncMode(settings_, mode);
        EXPECT_FALSE(FrameSkipEnabled(settings_));
        EXPECT_EQ(FrameSkipText(settings_), "");
        EXPECT_EQ(settings_.FrameSkip, 8u) << "the value waits for the host's blank";
    }
    ChooseSyncMode(settings_, 7);
    EXPECT_EQ(settings_.SyncMode, 1u);
}

TEST_F(OptionsTest, TheDisplayIsSetUpAgainOnlyWhenTheChoiceChanges) {
    window_.refreshRates = {60, 75};
    EXPECT_FALSE(ChooseRefreshRate(settings_, 0)) << "the entry already current";
    EXPECT_TRUE(ChooseRefreshRate(settings_, 1));
    EXPECT_FALSE(ChooseRefreshRate(settings_, 1));
    EXPECT_EQ(ChosenRefreshRate(window_, settings_), 1);
    settings_.VideoMode = 3;  // another mode group from an older file
    EXPECT_EQ(ChosenRefreshRate(window_, settings_), -1);
    EXPECT_TRUE(ChooseRefreshRate(settings_, 1));
    EXPECT_EQ(settings_.VideoMode, 0u);
    settings_.VideoRefresh = 9;  // another display's rate
    EXPECT_EQ(ChosenRefreshRate(window_, settings_), -1);
}

TEST_F(OptionsTest, AddListsRomsAndCartridgesAndRefusesTheRestByName) {
    const std::string tos = WriteTos("b_tos.img");
    const std::string cartridge = Write("a_cart.img", {0xFA, 0x52, 0x23, 0x5F, 1, 2});
    const std::string text = Write("notes.txt", {'h', 'i'});
    AddRoms(window_, settings_, {tos, cartridge});
    EXPECT_EQ(Names(), (std::vector<std::string>{"a_cart.img", "b_tos.img", kBuiltinRomName}));
    EXPECT_TRUE(window_.messages.empty());
    EXPECT_EQ(window_.selectedId, IdOf("a_cart.img"));
    const RomRow& row = window_.rows[0];
    EXPECT_EQ(row.type, "Diagnostic");
    EXPECT_FALSE(row.active);
    EXPECT_TRUE(window_.rows[2].active && window_.rows[2].builtin) << "the built-in ROM runs";

    const RomList before = settings_.roms;
    std::string upper = tos;
    upper.replace(upper.find("b_tos"), 5, "B_TOS");
    AddRoms(window_, settings_, {text, (folder_ / "gone.img").string(), upper});
    EXPECT_EQ(settings_.roms, before);
    ASSERT_EQ(window_.messages.size(), 3u);
    EXPECT_NE(window_.messages[0].find(text), std::string::npos);
    EXPECT_NE(window_.messages[0].find("neither a TOS ROM nor a cartridge"), std::string::npos);
    EXPECT_NE(window_.messages[2].find("already listed"), std::string::npos);
}

TEST_F(OptionsTest, SetActiveLoadsAndResetsAndDeleteSparesTheBuiltinRom) {
    const std::string tos = WriteTos("tos.img", 0xFC0080);
    // Accepted by its first bytes, but too short for the machine to run.
    const std::string stub = Write("stub.img", {0x60, 0x2E, 0, 0});
    const std::string cartridge = Write("cart.img", {0xAB, 0xCD, 0xEF, 0x42});
    AddRoms(window_, settings_, {tos, stub, cartridge});
    const int tosId = IdOf("tos.img"), stubId = IdOf("stub.img"), cartId = IdOf("cart.img");

    SelectRom(window_, tosId);
    SetActiveRom(window_, settings_, machine_);
    EXPECT_TRUE(settings_.roms.IsActive(tosId));
    EXPECT_EQ(CpuPeekWord(machine_.cpu, 0xFC0002), 0x0104u);
    EXPECT_EQ(machine_.cpu.pc, 0xFC0080u) << "cold reset from the new ROM's vectors";

    SelectRom(window_, stubId);
    SetActiveRom(window_, settings_, machine_);
    ASSERT_EQ(window_.messages.size(), 1u);
    EXPECT_NE(window_.messages[0].find("stub.img"), std::string::npos);
    EXPECT_TRUE(settings_.roms.IsActive(tosId) && !settings_.roms.IsActive(stubId));
    EXPECT_EQ(CpuPeekWord(machine_.cpu, 0xFC0002), 0x0104u) << "the machine keeps its ROM";

    // A cartridge is toggled and mapped at the next start; the ROM stays.
    SelectRom(window_, cartId);
    SetActiveRom(window_, settings_, machine_);
    EXPECT_TRUE(settings_.roms.IsActive(cartId) && settings_.roms.IsActive(tosId));
    SetActiveRom(window_, settings_, machine_);
    EXPECT_FALSE(settings_.roms.IsActive(cartId));

    // The built-in ROM cannot go; deleting the active file leaves its ROM in the machine.
    SelectRom(window_, kBuiltinRomId);
    EXPECT_FALSE(CanDeleteRom(window_));
    DeleteRom(window_, settings_);
    SelectRom(window_, tosId);
    DeleteRom(window_, settings_);
    EXPECT_EQ(Names(), (std::vector<std::string>{"cart.img", kBuiltinRomName, "stub.img"}));
    EXPECT_EQ(window_.selectedId, -1);
    EXPECT_TRUE(settings_.roms.IsActive(kBuiltinRomId));
    EXPECT_EQ(CpuPeekWord(machine_.cpu, 0xFC0002), 0x0104u);
    SetActiveRom(window_, settings_, machine_);  // nothing selected: nothing happens

    SelectRom(window_, kBuiltinRomId);
    SetActiveRom(window_, settings_, machine_);
    EXPECT_EQ(CpuPeekWord(machine_.cpu, 0xFC0002), 0x0100u) << "the built-in ROM is back";
}

}  // namespace
}  // namespace orvet
