// Finds the machine's sound in what the sound device played: the samples a headless recording
// made for frames FIRST to FIRST + COUNT must appear in the device's capture, in one unbroken
// run. Any dropped, repeated or altered sample on the way through the ring breaks the run.
//   sound_match CAPTURE.raw RECORDING.wav FIRST COUNT
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

std::vector<int16_t> ReadSamples(const char* path, size_t skipBytes) {
    std::ifstream file(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    std::vector<int16_t> samples;
    for (size_t at = skipBytes; at + 1 < bytes.size(); at += 2) {
        samples.push_back(static_cast<int16_t>(static_cast<uint8_t>(bytes[at]) |
                                               static_cast<uint8_t>(bytes[at + 1]) << 8));
    }
    return samples;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: sound_match CAPTURE.raw RECORDING.wav FIRST COUNT\n");
        return 2;
    }
    constexpr size_t kSamplesPerFrame = 881;
    constexpr size_t kWavHeaderBytes = 44;
    const std::vector<int16_t> captured = ReadSamples(argv[1], 0);
    const std::vector<int16_t> recorded = ReadSamples(argv[2], kWavHeaderBytes);
    const size_t first = std::strtoul(argv[3], nullptr, 10) * kSamplesPerFrame;
    const size_t count = std::strtoul(argv[4], nullptr, 10) * kSamplesPerFrame;
    if (first + count > recorded.size() || count == 0) {
        std::fprintf(stderr, "the recording holds %zu samples, fewer than asked for\n",
                     recorded.size());
        return 1;
    }
    for (size_t start = 0; start + count <= captured.size(); ++start) {
        size_t length = 0;
        while (length < count && captured[start + length] == recorded[first + length]) ++length;
        if (length == count) {
            std::printf("found %zu samples unbroken at sample %zu of %zu played\n", count, start,
                        captured.size());
            return 0;
        }
    }
    std::fprintf(stderr, "the %zu samples are not in the %zu the device played\n", count,
                 captured.size());
    return 1;
}
