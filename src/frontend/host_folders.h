// Where Orvet keeps its files on the host, how it writes them, and the lock that lets only one
// Orvet run for a user at a time.
#pragma once

#include <string>
#include <string_view>

namespace orvet {

// $XDG_CONFIG_HOME/orvet, else $HOME/.config/orvet. XDG values that are not absolute paths are
// ignored, as the XDG rules ask; with no HOME the password database names the home folder. Empty
// when no home folder can be found at all.
std::string SettingsFolderPath();
// SettingsFolderPath() + "/orvet.ini", or empty when there is no settings folder.
std::string DefaultSettingsPath();
// $XDG_DATA_HOME/orvet, else $HOME/.local/share/orvet; empty when no home folder can be found.
std::string DataFolderPath();

// Creates folder and every missing parent. Folders made here get mode 0700, as the XDG rules ask
// of the folders they name: other users have no business in a person's settings. False with a
// one-line reason (naming the folder) when a part cannot be made or exists as something else.
bool CreateFolders(const std::string& folder, std::string* error);
// Creates the data folder and its "shot" and "sound" folders (existing ones are fine).
bool CreateDataFolders(const std::string& dataFolder, std::string* error);

// Writes bytes beside path under a temporary name, flushes them to the disk (fsync) and renames
// the temporary over path, so that a crash or a full disk never leaves a half-written file: path
// holds either the old contents or the new. The parent folder is created if missing; an existing
// file's permissions are kept, and a symbolic link is followed, so its target gets the new bytes.
// False with one line naming the file on failure; the old file is then untouched and no temporary
// is left.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error);

// The single instance: an advisory lock (flock) on "orvet.lock" in the settings folder, held for
// the life of the object. The kernel drops it when the process ends however it ends, so a killed
// Orvet never blocks the next start. The lock belongs to the open file, not the process: a second
// InstanceLock in the same process is refused like another process would be.
class InstanceLock {
public:
    enum class Result { Acquired, HeldByAnother, Unavailable /* folder or file cannot be made */ };
    InstanceLock() = default;
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    ~InstanceLock();

    // Creates the folder if needed, then takes the lock without waiting. A lock already held by
    // this object is released first. On anything but Acquired, error (when given) gets one line.
    Result acquire(const std::string& settingsFolder, std::string* error);
    void release();
    bool held() const { return descriptor_ >= 0; }

private:
    int descriptor_ = -1;
};

}  // namespace orvet
