#include "capture/wav_writer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace orvet {
namespace {

bool Fail(std::string* error, const char* verb, const std::string& path,
          const std::string& reason) {
    if (error) *error = std::string("cannot ") + verb + " " + path + ": " + reason;
    return false;
}

void PutLittle32(uint8_t* destination, uint32_t value) {
    for (int byte = 0; byte < 4; ++byte)
        destination[byte] = static_cast<uint8_t>(value >> (8 * byte));
}

void PutLittle16(uint8_t* destination, uint16_t value) {
    destination[0] = static_cast<uint8_t>(value);
    destination[1] = static_cast<uint8_t>(value >> 8);
}

std::array<uint8_t, kWavHeaderSize> Header(uint64_t samples) {
    const uint32_t dataSize = static_cast<uint32_t>(samples * 2);
    std::array<uint8_t, kWavHeaderSize> header{};
    std::memcpy(&header[0], "RIFF", 4);
    PutLittle32(&header[4], dataSize + 36);
    std::memcpy(&header[8], "WAVE", 4);
    std::memcpy(&header[12], "fmt ", 4);
    PutLittle32(&header[16], 16);
    PutLittle16(&header[20], 1);  // PCM
    PutLittle16(&header[22], 1);  // mono
    PutLittle32(&header[24], kWavSampleRate);
    PutLittle32(&header[28], kWavSampleRate * 2);  // bytes per second
    PutLittle16(&header[32], 2);                   // bytes per sample frame
    PutLittle16(&header[34], 16);                  // bits per sample
    std::memcpy(&header[36], "data", 4);
    PutLittle32(&header[40], dataSize);
    return header;
}

std::string ErrnoText() {
    return errno ? std::strerror(errno) : "write failed";
}

// Rewrites the two sizes, then goes back to the end for the next samples.
bool WriteSizes(std::FILE* file, uint64_t samples) {
    const std::array<uint8_t, kWavHeaderSize> header = Header(samples);
    return std::fseek(file, 4, SEEK_SET) == 0 && std::fwrite(&header[4], 1, 4, file) == 4 &&
           std::fseek(file, 40, SEEK_SET) == 0 && std::fwrite(&header[40], 1, 4, file) == 4 &&
           std::fflush(file) == 0 && std::fseek(file, 0, SEEK_END) == 0;
}

// Drops whatever a failed write left past the declared data, so the file ends where its header
// says it does.
void CutToDeclaredLength(WavWriter& writer) {
    std::FILE* file = writer.file.get();
    std::clearerr(file);
    std::fflush(file);
    const off_t length = static_cast<off_t>(kWavHeaderSize + writer.samples * 2);
    if (ftruncate(fileno(file), length) != 0) return;
    WriteSizes(file, writer.samples);
}

}  // namespace

bool WavIsOpen(const WavWriter& writer) {
    return writer.file != nullptr;
}

bool WavOpen(WavWriter& writer, const std::string& path, std::string* error) {
    if (WavIsOpen(writer)) WavClose(writer, nullptr);
    writer = WavWriter{};
    errno = 0;
    std::unique_ptr<std::FILE, WavWriter::FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) return Fail(error, "create", path, ErrnoText());
    const std::array<uint8_t, kWavHeaderSize> header = Header(0);
    errno = 0;
    if (std::fwrite(header.data(), 1, header.size(), file.get()) != header.size() ||
        std::fflush(file.get()) != 0) {
        const std::string reason = ErrnoText();
        // Only a file of our own goes; a device or a pipe named as the target stays.
        struct stat information {};
        const bool regular =
            fstat(fileno(file.get()), &information) == 0 && S_ISREG(information.st_mode);
        file.reset();
        if (regular) std::remove(path.c_str());
        return Fail(error, "write", path, reason);
    }
    writer.file = std::move(file);
    writer.path = path;
    return true;
}

bool WavAppend(WavWriter& writer, const int16_t* samples, size_t count, std::string* error) {
    if (!WavIsOpen(writer)) {
        if (error) *error = "cannot record sound: no WAV file is open";
        return false;
    }
    if (writer.failed) return Fail(error, "write", writer.path, "the recording already failed");
    if (count == 0) return true;
    if (!samples) return Fail(error, "write", writer.path, "no samples given");

    const uint64_t room = kWavMaxSamples - writer.samples;
    const size_t taken = static_cast<size_t>(std::min<uint64_t>(count, room));
    std::FILE* file = writer.file.get();
    // Samples are little-endian in the file whatever the host's order.
    std::array<uint8_t, 4096> bytes;
    errno = 0;
    for (size_t done = 0; done < taken;) {
        const size_t chunk = std::min(taken - done, bytes.size() / 2);
        for (size_t index = 0; index < chunk; ++index) {
            PutLittle16(&bytes[index * 2], static_cast<uint16_t>(samples[done + index]));
        }
        if (std::fwrite(bytes.data(), 2, chunk, file) != chunk) {
            const std::string reason = ErrnoText();
            writer.failed = true;
            CutToDeclaredLength(writer);
            return Fail(error, "write", writer.path, reason);
        }
        done += chunk;
    }
    if (std::fflush(file) != 0 || !WriteSizes(file, writer.samples + taken)) {
        const std::string reason = ErrnoText();
        writer.failed = true;
        CutToDeclaredLength(writer);
        return Fail(error, "write", writer.path, reason);
    }
    writer.samples += taken;
    if (taken < count) {
        writer.failed = true;
        return Fail(error, "write", writer.path,
                    "the recording reached the 4 GB limit of a WAV file and stops there");
    }
    return true;
}

bool WavClose(WavWriter& writer, std::string* error) {
    if (!WavIsOpen(writer)) return true;
    std::FILE* file = writer.file.release();
    errno = 0;
    const bool written = WriteSizes(file, writer.samples);
    const std::string reason = ErrnoText();
    const bool closed = std::fclose(file) == 0;
    const std::string path = writer.path;
    writer = WavWriter{};
    if (!written || !closed) return Fail(error, "finish", path, closed ? reason : ErrnoText());
    return true;
}

}  // namespace orvet
