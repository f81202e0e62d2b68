// What the capture tests share: a fresh data folder for each test, files read whole, and other
// programs (ImageMagick, sox) run for their verdict on what Orvet wrote.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace orvet::testing {

namespace fs = std::filesystem;

class DataFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("orvet_capture_test_" + std::to_string(getpid()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_ / "shot");
        fs::create_directories(folder_ / "sound");
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string DataFolder() const { return folder_.string(); }
    std::string PathOf(const std::string& relative) const { return (folder_ / relative).string(); }
    std::vector<std::string> FilesIn(const std::string& subfolder) const {  // hidden ones too
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_ / subfolder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path folder_;
};

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

struct CommandResult {
    std::string output;  // what it wrote to its standard output
    bool succeeded = false;
};

inline CommandResult RunCommand(const std::string& command) {
    CommandResult result;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    std::array<char, 65536> buffer;
    for (size_t count; (count = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) {
        result.output.append(buffer.data(), count);
    }
    result.succeeded = pclose(pipe) == 0;
    return result;
}

inline bool HaveProgram(const char* name) {
    return RunCommand(std::string("command -v ") + name + " >/dev/null 2>&1").succeeded;
}

}  // namespace orvet::testing
