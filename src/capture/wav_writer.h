// Recording the machine's sound as a WAV file: 16-bit PCM, mono, 44,100 Hz, written as it comes.
//
// The header is brought up to date after every append, so the file on disk is always a complete
// WAV of what has been recorded so far: a recording cut short (the program killed, the disk full)
// still plays, and a reader never sees sizes that claim more than the file holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace orvet {

constexpr size_t kWavHeaderSize = 44;
constexpr uint32_t kWavSampleRate = 44100;
// The RIFF size field (data + 36) is 32 bits: about 6 hours 45 minutes of sound.
constexpr uint64_t kWavMaxSamples = (0xFFFFFFFFull - 36) / 2;

struct WavWriter {
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, FileCloser> file;  // none: not recording
    std::string path;
    uint64_t samples = 0;  // written and declared in the header
    bool failed = false;   // a write failed: the file holds what came before, nothing more
};

// Creates (or replaces) `path` as an empty WAV. A writer that is still open is closed first.
// On failure returns false and, when error is given, one line naming the file and the reason;
// no file is left behind.
bool WavOpen(WavWriter& writer, const std::string& path, std::string* error);

// Appends samples and updates the header. On failure (a write error, or the format's size limit
// reached) returns false with one line naming the file; the file keeps the samples recorded
// before, with a header that says so, and later appends are refused.
bool WavAppend(WavWriter& writer, const int16_t* samples, size_t count, std::string* error);

// Ends the recording. False, with the reason, when the file could not be completed; the writer
// is closed either way.
bool WavClose(WavWriter& writer, std::string* error);

bool WavIsOpen(const WavWriter& writer);

}  // namespace orvet
