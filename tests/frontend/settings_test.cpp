// The settings file, the ROM list, the host folders and the single-instance lock, driven against
// real files in a scratch folder.
#include "frontend/settings.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "machine/builtin_rom.h"

namespace orvet {
namespace {

namespace fs = std::filesystem;

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "orvet_settings_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string PathOf(const std::string& name) const { return (folder_ / name).string(); }
    std::string WriteFile(const std::string& name, const std::string& bytes) const {
        std::ofstream(PathOf(name), std::ios::binary) << bytes;
        return PathOf(name);
    }
    std::vector<std::string> FolderListing() const {
        std::vector<std::string> names;
        for (const auto& item : fs::directory_iterator(folder_)) {
            names.push_back(item.path().filename());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path folder_;
};

const std::string kTosHeader("\x60\x2E", 2);
const std::string kDiagnosticHeader("\xFA\x52\x23\x5F", 4);
const std::string kApplicationHeader("\xAB\xCD\xEF\x42", 4);

std::string ReadText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// A missing file is a first start; one that cannot be read is reported, and a FIFO in its place
// must not stall the start.
TEST_F(SettingsTest, NoUsableFileGivesTheDefaults) {
    ASSERT_EQ(mkfifo(PathOf("fifo.ini").c_str(), 0600), 0);
    const std::pair<std::string, size_t> cases[] = {{PathOf("missing.ini"), 0},
                                                    {WriteFile("empty.ini", ""), 0},
                                                    {PathOf("fifo.ini"), 1},
                                                    {folder_.string(), 1}};
    for (const auto& [path, problemCount] : cases) {
        Settings settings;
        std::vector<std::string> problems;
        LoadSettingsFile(path, settings, &problems);
        EXPECT_EQ(settings, Settings{}) << path;
        EXPECT_EQ(problems.size(), problemCount) << path;
    }
}

TEST_F(SettingsTest, EachBadValueFallsBackAloneAndIsReported) {
    struct Line {
        const char* section;
        std::string text;
        const char* reported;  // what its problem line names; null when the line is good
    };
    const std::vector<Line> lines = {
        {"Graphics", "SyncMode=3", "SyncMode \"3\""},
        {"Graphics", "FrameSkip=10", "FrameSkip \"10\""},
        {"Graphics", "VideoDevice=4294967296", "VideoDevice \"4294967296\""},
        {"Graphics", "VideoMode=-1", "VideoMode \"-1\""},
        {"Graphics", "VideoRefresh=   ", "VideoRefresh \"\""},
        {"Graphics", "Fullscreen=yes", "Fullscreen \"yes\""},
        {"Graphics", "videorefresh = 4294967295 ", nullptr},
        {"Machine", "FastDisk=2", "FastDisk \"2\""},
        {"Machine", "RAMSize=6", nullptr},
        {"Machine", "ymsound=0", nullptr},
        {"Machine", "bDACSound=0", nullptr},
        {"Disks", "DriveA=" + std::string(512, 'a'), "DriveA is 512 bytes"},
        {"Disks", "DriveB = /disks/a=b;c.st ", nullptr},
        {"Disks", "WriteProtect=2", "WriteProtect \"2\""},
        {"Disks", "writeprotect=1", nullptr},
        {"Disks", std::string("Directory=/a\0b", 14), "Directory \"/a?b\" holds a zero byte"},
        {"Disks", "just some words", "\"just some words\""},
        {"ROMS", "Count=5000", "Count \"5000\""},
    };
    std::string text = "stray=1\n";
    for (const Line& line : lines) {
        text += std::string("[") + line.section + "]\n" + line.text + "\n";
    }
    Settings settings;
    std::vector<std::string> problems;
    ParseSettings(text, settings, &problems);

    std::vector<std::string> expected = {"line 1: \"stray=1\" comes before any [section]"};
    for (const Line& line : lines) {
        if (line.reported) expected.push_back(line.reported);
    }
    ASSERT_EQ(problems.size(), expected.size());
    for (size_t i = 0; i < problems.size(); ++i) {
        EXPECT_NE(problems[i].find(expected[i]), std::string::npos) << problems[i];
    }
    Settings wanted;
    wanted.VideoRefresh = 4294967295u;
    wanted.RAMSize = 2;
    wanted.YMSound = 0;
    wanted.bDacSound = 0;
    wanted.DriveB = "/disks/a=b;c.st";
    wanted.WriteProtect = 1;
    EXPECT_EQ(settings, wanted);
}

TEST_F(SettingsTest, SaveAndLoadKeepEverythingInOrder) {
    Settings saved;
    saved.SyncMode = 2;
    saved.FrameSkip = 9;
    saved.VideoMode = 3;
    saved.RAMSize = 3;
    saved.Machine = 1;
    saved.IntegerScaling = 0;
    saved.Fullscreen = 1;
    saved.DriveA = "/disks/pack.zip/game.st";
    saved.Directory = "/disks";
    const std::string tos = WriteFile("tos.img", kTosHeader + std::string(200, '\0'));
    const std::string otherTos = WriteFile("tos2.img", kTosHeader);
    const std::string cartridge = WriteFile("cart.img", kApplicationHeader);
    for (const std::string& path : {tos, otherTos, cartridge}) saved.roms.Add(path);
    saved.roms.SetActive(saved.roms.IdAt(1));
    saved.roms.SetActive(saved.roms.IdAt(0));
    // What a newer Orvet wrote.
    const std::string newer =
        "[graphics]\nShaders=crt\n[Future]\nAnswer=42\nempty=\n[ROMS]\nChecksum=1\n";
    ParseSettings(newer, saved, nullptr);

    std::string error;
    const std::string path = PathOf("config/orvet.ini");
    ASSERT_TRUE(SaveSettingsFile(path, saved, &error)) << error;
    Settings loaded;
    std::vector<std::string> problems;
    LoadSettingsFile(path, loaded, &problems);
    EXPECT_TRUE(problems.empty()) << problems.front();
    EXPECT_EQ(loaded, saved);
    EXPECT_EQ(*loaded.roms.Path(loaded.roms.IdAt(0)), cartridge);
    EXPECT_EQ(loaded.roms.FindActive(true), loaded.roms.IdAt(0));
    EXPECT_EQ(loaded.roms.FindActive(false), loaded.roms.IdAt(1));

    const std::string text = ReadText(path);
    EXPECT_NE(text.find("Count=3\n"), std::string::npos);  // the built-in ROM is not the file's
    EXPECT_EQ(text.find(kBuiltinRomName), std::string::npos);
    EXPECT_NE(text.find("bDACSound=1\n"), std::string::npos);
    EXPECT_NE(text.find("[Future]\nAnswer=42\nempty=\n"), std::string::npos);
    EXPECT_NE(text.find("Shaders=crt\n"), std::string::npos);

    // A removed entry leaves no ROM or Active key behind; a linked file stays linked.
    loaded.roms.Remove(loaded.roms.IdAt(2));
    fs::create_symlink(path, PathOf("link.ini"));
    ASSERT_TRUE(SaveSettingsFile(PathOf("link.ini"), loaded, &error)) << error;
    EXPECT_TRUE(fs::is_symlink(PathOf("link.ini")));
    EXPECT_EQ(ReadText(path).find("ROM2"), std::string::npos);
    EXPECT_EQ(FolderListing(),
              std::vector<std::string>({"cart.img", "config", "link.ini", "tos.img", "tos2.img"}));
}

TEST_F(SettingsTest, RomEntriesAreRebuiltAsSaved) {
    const std::string tos = WriteFile("tos.img", kTosHeader);
    const std::string cartridge = WriteFile("cart.img", kDiagnosticHeader);
    const std::string gone = PathOf("gone.img");
    struct Case {
        std::string roms;
        std::vector<std::string> paths;  // front first, the built-in ROM left out
        int activeTos, activeCartridge;  // positions; -1 the built-in ROM, or no cartridge
        size_t problems;
    };
    const std::vector<Case> cases = {
        {"Count=2\nROM0=" + cartridge + "\nActive0=1\nROM1=" + tos + "\nActive1=1\n",
         {cartridge, tos},
         1,
         0,
         0},
        // The gone entry's flag switches every cartridge off, as it always did.
        {"Count=3\nROM0=" + tos + "\nActive0=1\nROM1=" + gone + "\nActive1=1\nROM2=" + cartridge +
             "\nActive2=1\n",
         {tos, cartridge},
         0,
         -1,
         1},
        {"Count=1\nROM0=" + tos.substr(0, 1) + std::string(255, 'x') + "\n", {}, -1, -1, 1},
        {"ROM1=" + tos + "\nActive1=1\nActive0=no\n", {tos}, 0, -1, 3},
        {"Count=1\nROM0=" + tos + "\nROM1=" + cartridge + "\nROM1=" + tos + "\n", {tos}, -1, -1, 1},
        // A line naming the built-in ROM stands for it, and its flag switches the TOS file off.
        {"Count=2\nROM0=orvet BUILT-IN rom\nActive0=1\nROM1=" + tos + "\nActive1=1\n",
         {tos},
         -1,
         -1,
         0},
    };
    for (const Case& test : cases) {
        Settings settings;
        std::vector<std::string> problems;
        ParseSettings("[roms]\n" + test.roms, settings, &problems);
        std::vector<std::string> paths;
        for (const RomEntry& entry : settings.roms.Entries()) paths.push_back(entry.path);
        EXPECT_EQ(paths, test.paths) << test.roms;
        EXPECT_EQ(settings.roms.FindActive(false),
                  test.activeTos < 0 ? kBuiltinRomId : settings.roms.IdAt(test.activeTos))
            << test.roms;
        EXPECT_EQ(settings.roms.FindActive(true), settings.roms.IdAt(test.activeCartridge))
            << test.roms;
        EXPECT_EQ(problems.size(), test.problems) << test.roms;
    }
}

TEST_F(SettingsTest, RomListTakesOnlyRecognisedRegularFiles) {
    struct Case {
        std::string name, bytes;
        int kind;
    };
    const std::vector<Case> cases = {
        {"tos.img", kTosHeader + std::string(100, '\xFF'), kRomKindTos},
        {"tos_1e.img", std::string("\x60\x1E", 2), kRomKindTos},
        {"diag.img", kDiagnosticHeader, kRomKindDiagnostic},
        {"app.img", kApplicationHeader + "rest", kRomKindApplication},
        {"half_magic.img", kApplicationHeader.substr(0, 3), -1},
        {"one_byte.img", "\x60", -1},
        {"empty.img", "", -1},
        {"text.img", "hello, world", -1},
    };
    RomList roms;
    for (const Case& test : cases) {
        const int id = roms.Add(WriteFile(test.name, test.bytes));
        EXPECT_EQ(roms.Kind(id), test.kind) << test.name;
        if (id >= 0) {
            EXPECT_EQ(0, std::memcmp(roms.Header(id)->data(), test.bytes.data(),
                                     std::min<size_t>(64, test.bytes.size())));
        }
    }
    ASSERT_EQ(mkfifo(PathOf("fifo").c_str(), 0600), 0);
    std::string reason;
    for (const std::string& refused : {PathOf("TOS.IMG"), PathOf("fifo"), folder_.string(),
                                       PathOf("missing"), std::string("/dev/zero")}) {
        EXPECT_EQ(roms.Add(refused, &reason), -1) << refused;
        EXPECT_FALSE(reason.empty());
    }

    // The built-in ROM is listed last, as the oldest, with its own image's header; its empty
    // path is what start-up takes for it.
    const int builtin = roms.IdAt(roms.Count() - 1);
    EXPECT_TRUE(RomList::IsBuiltin(builtin));
    EXPECT_EQ(roms.Kind(builtin), kRomKindTos);
    EXPECT_TRUE(std::equal(roms.Header(builtin)->begin(), roms.Header(builtin)->end(),
                           BuiltinRom().begin()));
    EXPECT_EQ(*roms.Path(builtin), "");
    EXPECT_EQ(roms.Name(builtin), kBuiltinRomName);
    EXPECT_EQ(roms.Name(roms.IdAt(0)), PathOf("app.img"));

    // Ids: newest first, never reused after a removal; Clear starts them again.
    EXPECT_EQ(roms.Count(), 5);
    const int tosId = roms.IdAt(3);
    roms.Remove(roms.IdAt(2));
    const int secondTos = roms.Add(PathOf("tos_1e.img"));
    EXPECT_EQ(secondTos, 4);
    EXPECT_EQ(roms.IdAt(-1), -1);
    EXPECT_EQ(roms.Path(99), nullptr);

    // One TOS ROM is active, the built-in one whenever no file is; at most one cartridge, which
    // chosen again is switched off. The built-in ROM is never removed.
    const int diagnostic = roms.IdAt(2);
    enum Action { kChoose, kRemove };
    struct Step {
        Action action;
        int id;
        int tos, cartridge;  // active afterwards
    };
    const Step steps[] = {
        {kChoose, -1, builtin, -1},
        {kChoose, tosId, tosId, -1},
        {kChoose, diagnostic, tosId, diagnostic},
        {kChoose, secondTos, secondTos, diagnostic},
        {kChoose, builtin, builtin, diagnostic},
        {kChoose, secondTos, secondTos, diagnostic},
        {kRemove, secondTos, builtin, diagnostic},
        {kRemove, builtin, builtin, diagnostic},
        {kChoose, diagnostic, builtin, -1},
    };
    for (size_t step = 0; step < std::size(steps); ++step) {
        const Step& test = steps[step];
        test.action == kChoose ? roms.SetActive(test.id) : roms.Remove(test.id);
        EXPECT_EQ(roms.FindActive(false), test.tos) << "step " << step;
        EXPECT_EQ(roms.FindActive(true), test.cartridge) << "step " << step;
        EXPECT_EQ(roms.IsActive(builtin), test.tos == builtin) << "step " << step;
        EXPECT_EQ(roms.IsActive(tosId), test.tos == tosId) << "step " << step;
    }
    roms.Clear();
    EXPECT_EQ(roms.Count(), 1);
    EXPECT_EQ(roms.FindActive(false), builtin);
    EXPECT_EQ(roms.Add(PathOf("tos.img")), 0);
}

// A failed save keeps the old file and leaves no temporary. As root, folder permissions stop
// nothing, so the failures are made with a file where a folder must be, a folder where the file
// must go, and a file size limit that makes the write itself fail.
TEST_F(SettingsTest, AFailedSaveLeavesTheOldFileAndNoTemporary) {
    Settings settings;
    settings.Directory = std::string(400, 'd');
    const std::string oldText = "[Disks]\nDirectory=/old\n";
    WriteFile("orvet.ini", oldText);
    WriteFile("plain_file", "x");
    fs::create_directories(folder_ / "a_folder" / "inside");
    const std::vector<std::string> before = FolderListing();

    std::string error;
    for (const std::string& path : {PathOf("plain_file/orvet.ini"), PathOf("a_folder")}) {
        EXPECT_FALSE(SaveSettingsFile(path, settings, &error));
        EXPECT_NE(error.find(path), std::string::npos) << error;
    }
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{100, 100};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(SaveSettingsFile(PathOf("orvet.ini"), settings, nullptr) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(ReadText(PathOf("orvet.ini")), oldText);
    EXPECT_EQ(FolderListing(), before);
}

TEST_F(SettingsTest, OneInstanceHoldsTheLockUntilItEnds) {
    const std::string lockFolder = PathOf("settings");
    std::string error;
    auto acquireInChild = [&]() {
        const pid_t child = fork();
        if (child == 0) {
            InstanceLock lock;
            _exit(static_cast<int>(lock.acquire(lockFolder, nullptr)));
        }
        int status = 0;
        waitpid(child, &status, 0);
        return static_cast<InstanceLock::Result>(WEXITSTATUS(status));
    };
    {
        InstanceLock lock;
        ASSERT_EQ(lock.acquire(lockFolder, &error), InstanceLock::Result::Acquired) << error;
        EXPECT_EQ(acquireInChild(), InstanceLock::Result::HeldByAnother);
        InstanceLock second;
        EXPECT_EQ(second.acquire(lockFolder, &error), InstanceLock::Result::HeldByAnother);
    }
    EXPECT_EQ(acquireInChild(), InstanceLock::Result::Acquired);

    // A holder killed outright does not block the next start.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        InstanceLock lock;
        const char result = static_cast<char>(lock.acquire(lockFolder, nullptr));
        (void)!write(ready[1], &result, 1);
        pause();
        _exit(0);
    }
    char result = -1;
    ASSERT_EQ(read(ready[0], &result, 1), 1);
    EXPECT_EQ(result, static_cast<char>(InstanceLock::Result::Acquired));
    InstanceLock lock;
    EXPECT_EQ(lock.acquire(lockFolder, &error), InstanceLock::Result::HeldByAnother);
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    EXPECT_EQ(lock.acquire(lockFolder, &error), InstanceLock::Result::Acquired) << error;
    close(ready[0]);
    close(ready[1]);

    WriteFile("not_a_folder", "");
    EXPECT_EQ(lock.acquire(PathOf("not_a_folder"), &error), InstanceLock::Result::Unavailable);
}

TEST_F(SettingsTest, FoldersFollowTheXdgVariables) {
    const char* names[] = {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"};
    std::vector<std::optional<std::string>> kept;
    for (const char* name : names) {
        const char* value = std::getenv(name);
        kept.push_back(value ? std::optional<std::string>(value) : std::nullopt);
    }
    struct Case {
        const char *config, *data;  // null: unset
        const char *settingsPath, *dataFolder;
    };
    const Case cases[] = {
        {nullptr, nullptr, "/home/st/.config/orvet/orvet.ini", "/home/st/.local/share/orvet"},
        {"/cfg", "/data", "/cfg/orvet/orvet.ini", "/data/orvet"},
        {"relative/cfg", "", "/home/st/.config/orvet/orvet.ini", "/home/st/.local/share/orvet"},
    };
    setenv("HOME", "/home/st", 1);
    for (const Case& test : cases) {
        for (auto [name, value] : {std::pair{names[1], test.config}, {names[2], test.data}}) {
            value ? setenv(name, value, 1) : unsetenv(name);
        }
        EXPECT_EQ(DefaultSettingsPath(), test.settingsPath);
        EXPECT_EQ(DataFolderPath(), test.dataFolder);
    }
    for (size_t i = 0; i < kept.size(); ++i) {
        kept[i] ? setenv(names[i], kept[i]->c_str(), 1) : unsetenv(names[i]);
    }

    std::string error;
    const std::string data = PathOf("share/orvet");
    for (int round = 0; round < 2; ++round) EXPECT_TRUE(CreateDataFolders(data, &error)) << error;
    EXPECT_TRUE(fs::is_directory(data + "/shot") && fs::is_directory(data + "/sound"));
    WriteFile("share/orvet2", "");
    EXPECT_FALSE(CreateDataFolders(PathOf("share/orvet2"), &error));
    EXPECT_NE(error.find("orvet2"), std::string::npos) << error;
}

}  // namespace
}  // namespace orvet
