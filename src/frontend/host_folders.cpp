#include "frontend/host_folders.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace orvet {

namespace {

bool Fail(std::string* error, const std::string& text) {
    if (error) *error = text;
    return false;
}

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home && *home) return home;
    // A service or a bare environment may run without HOME; the password database still knows.
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir && *entry->pw_dir) {
        return entry->pw_dir;
    }
    return {};
}

// The XDG variable when it holds an absolute path, else the home folder with fallback under it.
std::string XdgFolder(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    if (value && value[0] == '/') return value;
    const std::string home = HomeFolder();
    if (home.empty()) return {};
    return home + "/" + fallback;
}

std::string ParentOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool WriteAll(int descriptor, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = write(descriptor, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

// A name no other writer, in this process or another, is using at the same moment.
int CreateFileBeside(const std::string& path, mode_t mode, std::string& temporaryPath) {
    static std::atomic<unsigned> sequence{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporaryPath = path + ".partial-" + std::to_string(getpid()) + "-" +
                        std::to_string(sequence.fetch_add(1));
        const int descriptor =
            open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (descriptor >= 0 || errno != EEXIST) return descriptor;
    }
    return -1;
}

}  // namespace

std::string SettingsFolderPath() {
    const std::string base = XdgFolder("XDG_CONFIG_HOME", ".config");
    return base.empty() ? base : base + "/orvet";
}

std::string DefaultSettingsPath() {
    const std::string folder = SettingsFolderPath();
    return folder.empty() ? folder : folder + "/orvet.ini";
}

std::string DataFolderPath() {
    const std::string base = XdgFolder("XDG_DATA_HOME", ".local/share");
    return base.empty() ? base : base + "/orvet";
}

bool CreateFolders(const std::string& folder, std::string* error) {
    if (folder.empty()) return Fail(error, "no folder given (no home folder found)");
    // Each step from the root; a part that exists must be a folder (or lead to one).
    size_t end = 0;
    while (end != std::string::npos) {
        end = folder.find('/', end + 1);
        const std::string part = folder.substr(0, end);
        if (part.empty() || part.back() == '/') continue;
        struct stat status {};
        if (stat(part.c_str(), &status) != 0 && mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            return Fail(error, part + ": cannot create the folder: " + std::strerror(errno));
        }
        if (stat(part.c_str(), &status) != 0) {
            return Fail(error, part + ": " + std::strerror(errno));
        }
        if (!S_ISDIR(status.st_mode)) return Fail(error, part + ": exists and is not a folder");
    }
    return true;
}

bool CreateDataFolders(const std::string& dataFolder, std::string* error) {
    return CreateFolders(dataFolder + "/shot", error) &&
           CreateFolders(dataFolder + "/sound", error);
}

bool WriteFileAtomically(const std::string& givenPath, std::string_view bytes, std::string* error) {
    if (givenPath.empty()) return Fail(error, "no file name given");
    // A settings file kept elsewhere and linked into place stays linked: the new file replaces the
    // link's target, not the link.
    std::string path = givenPath;
    struct stat link {};
    if (lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        if (char* resolved = realpath(path.c_str(), nullptr)) {
            path = resolved;
            std::free(resolved);
        }
    }
    const std::string folder = ParentOf(path);
    std::string reason;
    if (!CreateFolders(folder, &reason)) return Fail(error, path + ": " + reason);

    // A file the person has kept private stays private after the rename.
    struct stat old {};
    const bool keepMode = stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    const mode_t mode = keepMode ? (old.st_mode & 07777) : 0666;

    std::string temporaryPath;
    const int descriptor = CreateFileBeside(path, mode, temporaryPath);
    if (descriptor < 0) return Fail(error, path + ": " + std::strerror(errno));
    bool written = WriteAll(descriptor, bytes);
    if (written && keepMode) written = fchmod(descriptor, mode) == 0;
    // Without fsync a crash soon after the rename can leave an empty file where the old one was.
    if (written) written = fsync(descriptor) == 0;
    int failure = written ? 0 : errno;
    if (close(descriptor) != 0 && written) {
        written = false;
        failure = errno;
    }
    if (written && std::rename(temporaryPath.c_str(), path.c_str()) != 0) {
        written = false;
        failure = errno;
    }
    if (!written) {
        unlink(temporaryPath.c_str());
        return Fail(error, path + ": cannot write: " + std::strerror(failure));
    }
    // The rename itself reaches the disk only with its folder.
    if (const int folderDescriptor = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        folderDescriptor >= 0) {
        fsync(folderDescriptor);
        close(folderDescriptor);
    }
    return true;
}

InstanceLock::~InstanceLock() {
    release();
}

void InstanceLock::release() {
    if (descriptor_ >= 0) close(descriptor_);
    descriptor_ = -1;
}

InstanceLock::Result InstanceLock::acquire(const std::string& settingsFolder, std::string* error) {
    release();
    if (!CreateFolders(settingsFolder, error)) return Result::Unavailable;
    const std::string path = settingsFolder + "/orvet.lock";
    const int descriptor = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600);
    if (descriptor < 0) {
        Fail(error, path + ": cannot open the lock file: " + std::strerror(errno));
        return Result::Unavailable;
    }
    int locked;
    do {
        locked = flock(descriptor, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        const int reason = errno;
        close(descriptor);
        if (reason == EWOULDBLOCK) {
            Fail(error, "Orvet is already running (" + path + " is locked)");
            return Result::HeldByAnother;
        }
        Fail(error, path + ": cannot lock: " + std::strerror(reason));
        return Result::Unavailable;
    }
    descriptor_ = descriptor;
    return Result::Acquired;
}

}  // namespace orvet
