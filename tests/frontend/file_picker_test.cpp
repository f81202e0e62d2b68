// The file picker without a window, browsing a scratch folder.
#include "frontend/file_picker.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

namespace orvet {
namespace {

namespace fs = std::filesystem;

class FilePickerTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "orvet_picker_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        fs::create_directories(root_ / "roms" / "old");
        for (const char* name : {"roms/b.img", "roms/A.rom", "roms/c", "roms/pack.zip",
                                 "roms/.hidden", "roms/old/tos.img"}) {
            std::ofstream(root_ / name) << "x";
        }
    }
    void TearDown() override { fs::remove_all(root_); }

    std::vector<std::string> Shown() const {
        std::vector<std::string> names;
        for (const FolderEntry& entry : picker_.entries) {
            names.push_back(entry.folder ? entry.name + "/" : entry.name);
        }
        return names;
    }
    size_t IndexOf(const std::string& name) const {
        for (size_t index = 0; index < picker_.entries.size(); ++index) {
            if (picker_.entries[index].name == name) return index;
        }
        return picker_.entries.size();
    }
    std::string In(const std::string& name) const { return (root_ / "roms" / name).string(); }

    fs::path root_;
    FilePicker picker_;
};

TEST_F(FilePickerTest, BrowsesFoldersAndTypedPaths) {
    OpenPicker(picker_, In(""));
    EXPECT_TRUE(picker_.open);
    EXPECT_EQ(picker_.folder, In("").substr(0, In("").size() - 1)) << "no trailing slash";
    // Folders first; "*.*" lets every file through, those without a dot too; a zip archive is a
    // file here, since no member of one can be chosen.
    EXPECT_EQ(Shown(), (std::vector<std::string>{"old/", "A.rom", "b.img", "c", "pack.zip"}));

    EXPECT_FALSE(PickerActivate(picker_, IndexOf("old")));
    EXPECT_EQ(picker_.folder, In("old"));
    PickerUp(picker_);
    EXPECT_EQ(picker_.folder, In("").substr(0, In("").size() - 1));

    // A typed file goes to its folder with the file selected; "." and ".." are resolved.
    EXPECT_TRUE(PickerGoTo(picker_, In("old/../old/./tos.img")));
    EXPECT_EQ(picker_.folder, In("old"));
    EXPECT_EQ(picker_.selected, std::vector<size_t>{IndexOf("tos.img")});
    EXPECT_TRUE(PickerGoTo(picker_, ".."));
    EXPECT_EQ(picker_.pathText, picker_.folder);

    // A folder that cannot be listed leaves the picker where it was, saying why.
    const std::string before = picker_.folder;
    EXPECT_FALSE(PickerGoTo(picker_, In("missing")));
    EXPECT_EQ(picker_.folder, before);
    EXPECT_NE(picker_.error.find("missing"), std::string::npos);

    PickerGoTo(picker_, "/");
    PickerUp(picker_);
    EXPECT_EQ(picker_.folder, "/");
    EXPECT_EQ(PickerRoots().front(), "/");
}

TEST_F(FilePickerTest, ChoosesOneOrSeveralFilesOrNothing) {
    OpenPicker(picker_, In(""));
    const size_t a = IndexOf("A.rom"), b = IndexOf("b.img"), c = IndexOf("c");
    PickerClick(picker_, a, false, false);
    PickerClick(picker_, c, false, true);  // Shift: the range
    EXPECT_EQ(picker_.selected, (std::vector<size_t>{a, b, c}));
    PickerClick(picker_, b, true, false);  // Ctrl: out again
    EXPECT_EQ(picker_.selected, (std::vector<size_t>{a, c}));
    // A folder is selected alone, and Open then enters it instead of choosing.
    PickerClick(picker_, IndexOf("old"), true, false);
    EXPECT_EQ(picker_.selected, std::vector<size_t>{IndexOf("old")});
    EXPECT_FALSE(PickerAccept(picker_));
    EXPECT_EQ(picker_.folder, In("old"));

    PickerUp(picker_);
    PickerClick(picker_, IndexOf("pack.zip"), false, false);
    PickerClick(picker_, IndexOf("A.rom"), true, false);
    EXPECT_TRUE(PickerAccept(picker_));
    EXPECT_FALSE(picker_.open);
    EXPECT_EQ(picker_.chosen, (std::vector<std::string>{In("pack.zip"), In("A.rom")}));

    OpenPicker(picker_, In(""));
    EXPECT_TRUE(picker_.chosen.empty());
    PickerClick(picker_, IndexOf("b.img"), false, false);
    PickerCancel(picker_);
    EXPECT_TRUE(picker_.chosen.empty());
    EXPECT_FALSE(picker_.open);

    // A file path typed and Open pressed chooses it at once.
    OpenPicker(picker_, In(""));
    picker_.pathText = In("old/tos.img");
    EXPECT_TRUE(PickerAccept(picker_));
    EXPECT_EQ(picker_.chosen, std::vector<std::string>{In("old/tos.img")});
}

}  // namespace
}  // namespace orvet
