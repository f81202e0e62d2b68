// libFuzzer target for the settings file: the input is the file's text. Any bytes must parse
// without a crash or a hang and with a bounded list of problems; the parsed settings, written out
// and parsed again, must come back the same, with no problems, and write out the same text.
//
// A few small images in a fixed scratch folder (ROM_FOLDER below) let the seeds' ROM entries be
// real, so the list's rebuilding and its active flags take part in the round trip.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "frontend/settings.h"

namespace {

constexpr const char* kRomFolder = "/tmp/orvet-settings-fuzz";

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "orvet_settings_fuzz: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const std::pair<const char*, std::string> images[] = {
        {"t", std::string("\x60\x2E", 2) + std::string(62, '\0')},
        {"u", std::string("\x60\x1E\x01\x04", 4)},
        {"d", std::string("\xFA\x52\x23\x5F", 4)},
        {"a", std::string("\xAB\xCD\xEF\x42", 4) + "cartridge"},
        {"x", "not an image"},
    };
    for (const auto& [name, bytes] : images) {
        std::string error;
        if (!orvet::WriteFileAtomically(std::string(kRomFolder) + "/" + name, bytes, &error)) {
            std::fprintf(stderr, "orvet_settings_fuzz: %s\n", error.c_str());
        }
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    orvet::Settings first;
    std::vector<std::string> problems;
    orvet::ParseSettings(text, first, &problems);
    if (problems.size() > orvet::kSettingsProblemsLargest + 1) Fail("too many problem lines");

    const std::string written = orvet::FormatSettings(first);
    orvet::Settings second;
    problems.clear();
    orvet::ParseSettings(written, second, &problems);
    if (!problems.empty()) {
        std::fprintf(stderr, "%s\n", problems.front().c_str());
        Fail("the written settings read back with problems");
    }
    if (!(second == first)) Fail("the written settings read back different");
    if (orvet::FormatSettings(second) != written) Fail("writing again gives other text");
    return 0;
}
