#include "capture/capture_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace orvet {
namespace {

bool Fail(std::string* error, const std::string& text) {
    if (error) *error = text;
    return false;
}

std::string FolderOf(const CaptureName& name) {
    return name.dataFolder + "/" + name.subfolder;
}

bool Exists(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0;
}

// Creates each missing folder from the root down; the data folder's own are normally made at
// start-up, but a person may have removed them since.
bool MakeFolders(const std::string& folder, std::string* error) {
    for (size_t end = folder.find('/', 1);; end = folder.find('/', end + 1)) {
        const std::string part = folder.substr(0, end);
        if (!part.empty() && mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            return Fail(error, part + ": cannot create the folder: " + std::strerror(errno));
        }
        if (end == std::string::npos) break;
    }
    struct stat status {};
    if (stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        return Fail(error, folder + ": not a folder");
    }
    return true;
}

// The name change reaches the disk with its folder.
void SyncFolder(const std::string& folder) {
    const int descriptor = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return;
    fsync(descriptor);
    close(descriptor);
}

// Gives the file at from the name to without ever replacing a file called to: 0, or EEXIST when
// the name is taken, or another errno. A hard link is refused by the kernel when the name exists;
// file systems without hard links may still offer a rename that refuses to replace.
int LinkWithoutReplacing(const std::string& from, const std::string& to) {
    if (link(from.c_str(), to.c_str()) == 0) return 0;
    const int linkError = errno;
    if (linkError == EEXIST) return EEXIST;
    if (linkError != EPERM && linkError != ENOTSUP && linkError != EOPNOTSUPP &&
        linkError != EMLINK) {
        return linkError;
    }
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    return errno == EINVAL || errno == ENOSYS ? linkError : errno;
}

}  // namespace

std::string CaptureRelativeName(const CaptureName& name, unsigned number) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%03u", number);
    return name.subfolder + "/" + name.prefix + digits + "." + name.extension;
}

std::string CaptureFullPath(const CaptureName& name, const std::string& relativeName) {
    return name.dataFolder + "/" + relativeName;
}

unsigned FirstFreeCaptureNumber(const CaptureName& name) {
    unsigned number = 0;
    while (Exists(CaptureFullPath(name, CaptureRelativeName(name, number)))) ++number;
    return number;
}

bool CreateCaptureTemporary(const CaptureName& name, std::string& temporaryPath,
                            std::string* error) {
    if (name.dataFolder.empty()) return Fail(error, "no data folder (no home folder found)");
    const std::string folder = FolderOf(name);
    if (!MakeFolders(folder, error)) return false;
    static std::atomic<unsigned> sequence{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        // Hidden, and with no number a finished capture could have.
        temporaryPath = folder + "/." + name.prefix + "partial-" + std::to_string(getpid()) + "-" +
                        std::to_string(sequence.fetch_add(1)) + "." + name.extension;
        const int descriptor =
            open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor >= 0) {
            close(descriptor);
            return true;
        }
        if (errno != EEXIST) break;
    }
    const std::string reason = std::strerror(errno);
    temporaryPath.clear();  // never someone else's file
    return Fail(error, folder + ": cannot create a file: " + reason);
}

bool PublishCapture(const CaptureName& name, const std::string& temporaryPath,
                    std::string& relativeName, std::string* error) {
    // Whatever wrote the file, it is on the disk before it gets a name a person will trust.
    const int descriptor = open(temporaryPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0 || fsync(descriptor) != 0) {
        const std::string reason = std::strerror(errno);
        if (descriptor >= 0) close(descriptor);
        unlink(temporaryPath.c_str());
        relativeName = CaptureRelativeName(name, FirstFreeCaptureNumber(name));
        return Fail(error, relativeName + ": " + reason);
    }
    close(descriptor);

    // Bounded only so that a folder that refuses in some unforeseen way cannot hold the program.
    unsigned number = FirstFreeCaptureNumber(name);
    for (int attempt = 0; attempt < 100000; ++attempt, ++number) {
        relativeName = CaptureRelativeName(name, number);
        const int result = LinkWithoutReplacing(temporaryPath, CaptureFullPath(name, relativeName));
        if (result == EEXIST) continue;  // taken since the search: the number moves on
        // After a rename the temporary name is gone already.
        unlink(temporaryPath.c_str());
        if (result != 0) return Fail(error, relativeName + ": " + std::strerror(result));
        SyncFolder(FolderOf(name));
        return true;
    }
    unlink(temporaryPath.c_str());
    return Fail(error, relativeName + ": no free name");
}

bool WriteCapture(const CaptureName& name,
                  const std::function<bool(const std::string& path, std::string* error)>& write,
                  std::string& relativeName, std::string* error) {
    std::string temporaryPath, reason;
    if (!CreateCaptureTemporary(name, temporaryPath, &reason) || !write(temporaryPath, &reason)) {
        if (!temporaryPath.empty()) unlink(temporaryPath.c_str());
        relativeName = CaptureRelativeName(name, FirstFreeCaptureNumber(name));
        return Fail(error, relativeName + ": " + reason);
    }
    return PublishCapture(name, temporaryPath, relativeName, error);
}

bool WriteAndSync(const std::string& path, const void* bytes, size_t size, std::string* error) {
    const int descriptor = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (descriptor < 0) return Fail(error, std::strerror(errno));
    const auto* next = static_cast<const char*>(bytes);
    bool written = true;
    while (size > 0) {
        const ssize_t count = write(descriptor, next, size);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) {
            written = false;
            break;
        }
        next += count;
        size -= static_cast<size_t>(count);
    }
    if (written) written = fsync(descriptor) == 0;
    const int reason = errno;
    if (close(descriptor) != 0 && written) return Fail(error, std::strerror(errno));
    return written || Fail(error, std::strerror(reason ? reason : EIO));
}

}  // namespace orvet
