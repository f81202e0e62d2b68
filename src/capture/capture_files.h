// Where screenshots and recordings go, and how they get there. Each capture is numbered: the
// first number not yet taken for its extension in its folder (Orvet_000.gif, Orvet_001.gif, ...;
// a TGA beside an Orvet_000.gif may still be Orvet_000.tga). It is written whole under a
// temporary name in the same folder, pushed to the disk, and only then given its numbered name,
// by a link that fails when the name is taken: a capture never replaces a file that is already
// there, and no half-written capture ever carries a numbered name.
#pragma once

#include <functional>
#include <string>

namespace orvet {

// A family of numbered captures: data folder / subfolder / prefix NNN . extension.
struct CaptureName {
    std::string dataFolder;  // the data folder (see frontend/host_folders.h)
    std::string subfolder;   // "shot" or "sound"
    std::string prefix;      // "Orvet_" or "song_"
    std::string extension;   // without the dot: "gif", "tga", "png", "wav", "ym"
};

constexpr const char* kShotFolder = "shot";
constexpr const char* kSoundFolder = "sound";
constexpr const char* kShotPrefix = "Orvet_";
constexpr const char* kSoundPrefix = "song_";

// "shot/Orvet_007.gif": the name as the window and the status lines show it, relative to the data
// folder. From 1000 on the number has four digits.
std::string CaptureRelativeName(const CaptureName& name, unsigned number);
std::string CaptureFullPath(const CaptureName& name, const std::string& relativeName);

// The first number whose name is free.
unsigned FirstFreeCaptureNumber(const CaptureName& name);

// A new, empty file in the capture's folder under a name no one else is using; the folder is
// created if missing. False with a one-line reason.
bool CreateCaptureTemporary(const CaptureName& name, std::string& temporaryPath,
                            std::string* error);

// Gives the finished temporary file the first free numbered name, moving on past names taken in
// the meantime, and removes the temporary name. relativeName gets the name it now has. On failure
// the temporary file is removed too, and error gets one line.
bool PublishCapture(const CaptureName& name, const std::string& temporaryPath,
                    std::string& relativeName, std::string* error);

// The whole of it: a temporary file filled by write (which returns false with a reason on
// failure), then published. relativeName gets the final name, or on failure the name the capture
// would have had.
bool WriteCapture(const CaptureName& name,
                  const std::function<bool(const std::string& path, std::string* error)>& write,
                  std::string& relativeName, std::string* error);

// Writes bytes to path, which must exist, and pushes them to the disk. False with a reason.
bool WriteAndSync(const std::string& path, const void* bytes, size_t size, std::string* error);

}  // namespace orvet
