// libFuzzer target for the GIF coder: the input is a recipe for a 400 x 300 picture of palette
// indexes. The first byte sets how many indexes it uses (1-256), the second how thick the specks
// strewn over it are (none, or one in 4 to 1,020 pixels); the rest are pairs of an index and a run
// length (1-64), read over and over until the picture is full, so a short input makes a picture
// that repeats it, which fills the coder's dictionary with long strings. The picture is
// written as a GIF, and giflib must read back exactly those indexes; no code may stand for more
// than the coder's limit, and the end code must come where the image ends (giflib stops at the
// last pixel and reads neither, so the codes are walked here too).
#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "capture/gif_writer.h"
#include "gif_code_walk.h"

namespace {

constexpr int kWidth = 400;
constexpr int kHeight = 300;
constexpr size_t kPixels = size_t(kWidth) * kHeight;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "orvet_gif_fuzz: %s\n", what);
    std::abort();
}

std::vector<uint8_t> Picture(const uint8_t* data, size_t size) {
    std::vector<uint8_t> picture;
    picture.reserve(kPixels);
    const unsigned alphabet = size > 0 ? 1u + data[0] : 256u;
    if (size < 4) {
        for (size_t pixel = 0; pixel < kPixels; ++pixel) picture.push_back(uint8_t(pixel % alphabet));
        return picture;
    }
    for (size_t at = 2; picture.size() < kPixels; at += 2) {
        if (at + 1 >= size) at = 2;
        const size_t run = std::min<size_t>(1 + data[at + 1] % 64, kPixels - picture.size());
        picture.insert(picture.end(), run, uint8_t(data[at] % alphabet));
    }
    // Specks over the repeating pattern keep the coder adding long strings until its string
    // store fills, at table sizes that vary from picture to picture.
    if (data[1] != 0) {
        uint32_t state = data[1] * 2654435761u + uint32_t(size);
        for (uint8_t& pixel : picture) {
            state = state * 1103515245u + 12345u;
            if ((state >> 16) % (4u * data[1]) == 0) pixel = uint8_t((state >> 24) % alphabet);
        }
    }
    return picture;
}

struct Reader {
    const std::vector<uint8_t>* bytes;
    size_t at = 0;
};

int ReadGif(GifFileType* gif, GifByteType* out, int wanted) {
    auto& reader = *static_cast<Reader*>(gif->UserData);
    const size_t count = std::min(size_t(wanted), reader.bytes->size() - reader.at);
    std::memcpy(out, reader.bytes->data() + reader.at, count);
    reader.at += count;
    return int(count);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> picture = Picture(data, size);
    std::array<std::array<uint8_t, 3>, 256> colours{};
    for (size_t entry = 0; entry < colours.size(); ++entry) {
        colours[entry] = {uint8_t(entry), uint8_t(255 - entry), uint8_t(entry * 7)};
    }
    const std::vector<uint8_t> gif = orvet::EncodeGif87a(picture.data(), kWidth, kHeight, colours);

    Reader reader{&gif};
    int error = 0;
    GifFileType* file = DGifOpen(&reader, ReadGif, &error);
    if (!file) Fail("giflib cannot open the file");
    if (DGifSlurp(file) != GIF_OK) Fail("giflib cannot read the picture");
    if (file->ImageCount != 1 || file->SWidth != kWidth || file->SHeight != kHeight) {
        Fail("giflib sees another picture size");
    }
    if (!std::equal(picture.begin(), picture.end(), file->SavedImages[0].RasterBits)) {
        Fail("giflib reads other indexes than were written");
    }
    DGifCloseFile(file, &error);
    const orvet::testing::CodeWalk walk = orvet::testing::WalkGifCodes(gif);
    if (!walk.ended || walk.pixels != kPixels) Fail("the codes do not end where the image does");
    if (walk.longestCode > orvet::kGifLongestCode) Fail("a code stands for too many pixels");
    return 0;
}
