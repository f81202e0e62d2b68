// libpng reports an error by calling back and then jumping to the setjmp of whoever called it. A
// jump must not skip a destructor, nor land in a function whose locals changed since the setjmp:
// so each stretch of libpng work runs inside RunUnderPngErrors, which has no locals at all, and
// keeps its state in a job that lives, and is cleaned up, in the caller's frame.
#include "capture/png.h"

#include <fcntl.h>
#include <png.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

namespace orvet {
namespace {

// Longer than any message libpng gives.
constexpr size_t kMessageSize = 256;

// Text chunks and colour profiles are read whole; a file claiming a larger one is not a picture
// we want.
constexpr png_alloc_size_t kLargestChunk = 8 * 1024 * 1024;

bool Fail(std::string* error, const char* verb, const std::string& path,
          const std::string& reason) {
    if (error) *error = std::string("cannot ") + verb + " " + path + ": " + reason;
    return false;
}

struct PngJob {
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::FILE* file = nullptr;
    char message[kMessageSize] = {};
};

void OnPngError(png_structp png, png_const_charp message) {
    auto* job = static_cast<PngJob*>(png_get_error_ptr(png));
    std::snprintf(job->message, sizeof job->message, "%s", message);
    png_longjmp(png, 1);
}

// A warning (an unknown chunk, a damaged comment) never stops a picture.
void OnPngWarning(png_structp, png_const_charp) {}

template <typename Job>
bool RunUnderPngErrors(Job& job, void (*work)(Job&)) {
    if (setjmp(png_jmpbuf(job.png))) return false;
    work(job);
    return true;
}

// ---- Writing ----

// The picture to write: RGB565 pixels, or 8-bit RGB rows packed width * 3 bytes apart (what the
// window reads back from the screen).
struct PictureSource {
    const uint16_t* pixels = nullptr;
    const uint8_t* rgb = nullptr;
    int width = 0;
    int height = 0;
    int pitchPixels = 0;
};

struct WriteJob : PngJob, PictureSource {
    std::vector<png_byte> row;

    ~WriteJob() {
        if (png) png_destroy_write_struct(&png, &info);
        if (file) std::fclose(file);
    }
};

void WriteToFile(png_structp png, png_bytep data, size_t length) {
    auto* job = static_cast<WriteJob*>(png_get_io_ptr(png));
    if (std::fwrite(data, 1, length, job->file) != length) png_error(png, std::strerror(errno));
}

void FlushFile(png_structp png) {
    auto* job = static_cast<WriteJob*>(png_get_io_ptr(png));
    if (std::fflush(job->file) != 0) png_error(png, std::strerror(errno));
}

// The fields are widened by repeating their top bits, so each range's ends land on 0 and 255 and
// dropping the low bits again gives back the field exactly.
void EncodePicture(WriteJob& job) {
    png_set_write_fn(job.png, &job, WriteToFile, FlushFile);
    png_set_IHDR(job.png, job.info, job.width, job.height, 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(job.png, job.info);
    for (int y = 0; y < job.height; ++y) {
        if (job.rgb) {
            png_write_row(job.png, job.rgb + static_cast<size_t>(y) * job.width * 3);
            continue;
        }
        const uint16_t* source = job.pixels + static_cast<size_t>(y) * job.pitchPixels;
        png_bytep target = job.row.data();
        for (int x = 0; x < job.width; ++x) {
            const unsigned pixel = source[x];
            const unsigned red = pixel >> 11;
            const unsigned green = (pixel >> 5) & 0x3F;
            const unsigned blue = pixel & 0x1F;
            *target++ = static_cast<png_byte>(red << 3 | red >> 2);
            *target++ = static_cast<png_byte>(green << 2 | green >> 4);
            *target++ = static_cast<png_byte>(blue << 3 | blue >> 2);
        }
        png_write_row(job.png, job.row.data());
    }
    png_write_end(job.png, nullptr);
}

// A new file beside path, named so that no other writer, in this process or another, opens the
// same one. Created with the usual 0666 less the umask, as the picture itself would have been.
int CreateFileBeside(const std::string& path, std::string& temporaryPath) {
    static std::atomic<unsigned> sequence{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporaryPath = path + ".partial-" + std::to_string(getpid()) + "-" +
                        std::to_string(sequence.fetch_add(1));
        const int descriptor =
            open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor >= 0 || errno != EEXIST) return descriptor;
    }
    return -1;
}

// Writes the whole picture to descriptor, which it closes, and makes sure it reached the disk: a
// rename over the old picture must never leave an empty file after a power cut.
bool WriteToDescriptor(int descriptor, const PictureSource& picture, std::string& reason) {
    WriteJob job;
    job.file = fdopen(descriptor, "wb");
    if (!job.file) {
        reason = std::strerror(errno);
        close(descriptor);
        return false;
    }
    static_cast<PictureSource&>(job) = picture;
    job.row.resize(static_cast<size_t>(picture.width) * 3);
    job.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, static_cast<PngJob*>(&job), OnPngError,
                                      OnPngWarning);
    if (job.png) job.info = png_create_info_struct(job.png);
    if (!job.png || !job.info) {
        reason = "not enough memory";
        return false;
    }
    if (!RunUnderPngErrors(job, EncodePicture)) {
        reason = job.message;
        return false;
    }
    if (std::fflush(job.file) != 0 || fsync(fileno(job.file)) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    std::FILE* file = job.file;
    job.file = nullptr;
    if (std::fclose(file) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    return true;
}

// ---- Reading ----

struct ReadJob : PngJob {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int passes = 1;
    size_t rowBytes = 0;
    // RGB rows as libpng delivers them: one row, or the whole picture when interlaced, since each
    // pass fills in the rows the earlier ones left.
    std::vector<png_byte> rows;
    std::vector<uint16_t> pixels;

    ~ReadJob() {
        if (png) png_destroy_read_struct(&png, &info, nullptr);
        if (file) std::fclose(file);
    }
};

void ReadFromFile(png_structp png, png_bytep data, size_t length) {
    auto* job = static_cast<ReadJob*>(png_get_io_ptr(png));
    if (std::fread(data, 1, length, job->file) == length) return;
    if (std::ferror(job->file)) png_error(png, std::strerror(errno));
    png_error(png, "the file ends before the picture does");
}

void ReadHeader(ReadJob& job) {
    png_set_read_fn(job.png, &job, ReadFromFile);
    png_set_sig_bytes(job.png, 8);
    // The size is checked against kPngLargestSide after the header, with a clearer message than
    // libpng's own limit gives.
    png_set_user_limits(job.png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_set_chunk_malloc_max(job.png, kLargestChunk);
    png_read_info(job.png, job.info);
    job.width = png_get_image_width(job.png, job.info);
    job.height = png_get_image_height(job.png, job.info);
}

// Whatever the file holds becomes 8-bit RGB: palettes and small greys expanded, 16-bit channels
// cut to their top byte, alpha dropped. Gamma is left alone: a picture's stored values are what
// the comparisons are about.
void PrepareRows(ReadJob& job) {
    png_set_expand(job.png);
    png_set_strip_16(job.png);
    png_set_strip_alpha(job.png);
    png_set_gray_to_rgb(job.png);
    job.passes = png_set_interlace_handling(job.png);
    png_read_update_info(job.png, job.info);
    job.rowBytes = png_get_rowbytes(job.png, job.info);
}

void DecodeRows(ReadJob& job) {
    for (int pass = 0; pass < job.passes; ++pass) {
        const bool lastPass = pass + 1 == job.passes;
        for (png_uint_32 y = 0; y < job.height; ++y) {
            png_bytep row = job.rows.data() + (job.passes > 1 ? y * job.rowBytes : 0);
            png_read_row(job.png, row, nullptr);
            if (!lastPass) continue;
            uint16_t* target = job.pixels.data() + static_cast<size_t>(y) * job.width;
            for (png_uint_32 x = 0; x < job.width; ++x, row += 3) {
                target[x] =
                    static_cast<uint16_t>((row[0] >> 3) << 11 | (row[1] >> 2) << 5 | row[2] >> 3);
            }
        }
    }
    // Reading on to the end catches a file cut short after its last row.
    png_read_end(job.png, nullptr);
}

// Reads the eight bytes every PNG starts with; empty when they are there, else the reason.
std::string CheckSignature(std::FILE* file) {
    png_byte signature[8];
    const size_t got = std::fread(signature, 1, sizeof signature, file);
    if (got == sizeof signature && png_sig_cmp(signature, 0, sizeof signature) == 0) return {};
    if (std::ferror(file)) return std::strerror(errno);
    if (got == 0) return "the file is empty";
    if (png_sig_cmp(signature, 0, got) == 0) return "the file ends before the picture does";
    return "not a PNG file";
}

bool WritePicture(const std::string& path, const PictureSource& picture, std::string* error) {
    const int width = picture.width, height = picture.height, pitchPixels = picture.pitchPixels;
    if (!picture.pixels && !picture.rgb) return Fail(error, "write", path, "no pixels given");
    if (width <= 0 || height <= 0 || width > kPngLargestSide || height > kPngLargestSide) {
        return Fail(error, "write", path,
                    "a picture of " + std::to_string(width) + " x " + std::to_string(height) +
                        " pixels (each side must be 1 to " + std::to_string(kPngLargestSide) + ")");
    }
    if (pitchPixels < width) {
        return Fail(error, "write", path,
                    "rows " + std::to_string(pitchPixels) + " pixels apart cannot hold " +
                        std::to_string(width) + " pixels each");
    }
    std::string temporaryPath;
    const int descriptor = CreateFileBeside(path, temporaryPath);
    if (descriptor < 0) return Fail(error, "write", path, std::strerror(errno));
    std::string reason;
    bool written = WriteToDescriptor(descriptor, picture, reason);
    if (written && std::rename(temporaryPath.c_str(), path.c_str()) != 0) {
        reason = std::strerror(errno);
        written = false;
    }
    if (!written) {
        unlink(temporaryPath.c_str());
        return Fail(error, "write", path, reason);
    }
    return true;
}

}  // namespace

bool WritePngRgb565(const std::string& path, const uint16_t* pixels, int width, int height,
                    int pitchPixels, std::string* error) {
    return WritePicture(path, {pixels, nullptr, width, height, pitchPixels}, error);
}

bool WritePngRgb888(const std::string& path, const uint8_t* rgb, int width, int height,
                    std::string* error) {
    return WritePicture(path, {nullptr, rgb, width, height, width}, error);
}

bool ReadPngRgb565(const std::string& path, std::vector<uint16_t>& pixels, int& width, int& height,
                   std::string* error) {
    ReadJob job;
    job.file = std::fopen(path.c_str(), "rb");
    if (!job.file) return Fail(error, "read", path, std::strerror(errno));
    const std::string badSignature = CheckSignature(job.file);
    if (!badSignature.empty()) return Fail(error, "read", path, badSignature);

    job.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, static_cast<PngJob*>(&job), OnPngError,
                                     OnPngWarning);
    if (job.png) job.info = png_create_info_struct(job.png);
    if (!job.png || !job.info) return Fail(error, "read", path, "not enough memory");
    if (!RunUnderPngErrors(job, ReadHeader)) return Fail(error, "read", path, job.message);
    if (job.width > kPngLargestSide || job.height > kPngLargestSide) {
        return Fail(error, "read", path,
                    "the picture is " + std::to_string(job.width) + " x " +
                        std::to_string(job.height) + " pixels, larger than the " +
                        std::to_string(kPngLargestSide) + " x " + std::to_string(kPngLargestSide) +
                        " this reader takes");
    }
    if (!RunUnderPngErrors(job, PrepareRows)) return Fail(error, "read", path, job.message);
    if (job.rowBytes != static_cast<size_t>(job.width) * 3) {
        return Fail(error, "read", path, "a pixel layout this reader cannot convert");
    }
    try {
        job.rows.resize(job.rowBytes * (job.passes > 1 ? job.height : 1));
        job.pixels.resize(static_cast<size_t>(job.width) * job.height);
    } catch (const std::bad_alloc&) {
        return Fail(error, "read", path, "not enough memory for the picture");
    }
    if (!RunUnderPngErrors(job, DecodeRows)) return Fail(error, "read", path, job.message);

    pixels = std::move(job.pixels);
    width = static_cast<int>(job.width);
    height = static_cast<int>(job.height);
    return true;
}

}  // namespace orvet
