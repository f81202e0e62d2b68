#include "frontend/file_picker.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace orvet {
namespace {

// The home folder, or "/" when there is none to be found.
std::string HomeOrRoot() {
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return home;
    if (const passwd* entry = getpwuid(getuid());
        entry && entry->pw_dir && entry->pw_dir[0] == '/') {
        return entry->pw_dir;
    }
    return "/";
}

// A typed path as the picker lists it: "~" is the home folder, a relative path is taken from the
// folder shown, and "." and ".." are resolved, so the path field always shows a plain path.
std::string ResolvePath(const FilePicker& picker, std::string path) {
    if (path == "~" || path.starts_with("~/")) path = HomeOrRoot() + path.substr(1);
    if (path.empty() || path[0] != '/') {
        path = JoinPath(picker.folder.empty() ? HomeOrRoot() : picker.folder, path);
    }
    std::string normal = std::filesystem::path(path).lexically_normal().string();
    while (normal.size() > 1 && normal.back() == '/') normal.pop_back();
    return normal.empty() ? "/" : normal;
}

bool IsPlainFile(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && !S_ISDIR(status.st_mode);
}

// The entries as a person looks for them: folders first, then the files the filter shows.
std::vector<FolderEntry> Shown(const FilePicker& picker, std::vector<FolderEntry> listed) {
    const std::string pattern =
        picker.filter >= 0 && static_cast<size_t>(picker.filter) < picker.filters.size()
            ? picker.filters[static_cast<size_t>(picker.filter)].pattern
            : std::string("*");
    std::vector<FolderEntry> shown;
    for (FolderEntry& entry : listed) {
        if (entry.archive && !picker.browseArchives) entry.folder = false;
        if (entry.folder || MatchesFilter(entry.name, pattern)) shown.push_back(std::move(entry));
    }
    std::stable_partition(shown.begin(), shown.end(),
                          [](const FolderEntry& entry) { return entry.folder; });
    return shown;
}

bool WildcardMatch(const char* name, const char* pattern) {
    for (; *pattern; ++pattern) {
        if (*pattern == '*') {
            for (const char* rest = name;; ++rest) {
                if (WildcardMatch(rest, pattern + 1)) return true;
                if (!*rest) return false;
            }
        }
        if (!*name || (*pattern != '?' && *pattern != *name)) return false;
        ++name;
    }
    return !*name;
}

}  // namespace

std::vector<std::string> PickerRoots() {
    std::vector<std::string> roots{"/"};
    if (std::string home = HomeOrRoot(); home != "/") {
        while (home.size() > 1 && home.back() == '/') home.pop_back();
        roots.push_back(home);
    }
    return roots;
}

bool MatchesFilter(const std::string& name, const std::string& pattern) {
    // On the filter's home system "*.*" also matches names without a dot.
    if (pattern == "*.*" || pattern == "*") return true;
    return WildcardMatch(name.c_str(), pattern.c_str());
}

void OpenPicker(FilePicker& picker, const std::string& folder) {
    picker.open = true;
    picker.chosen.clear();
    picker.selected.clear();
    if (folder.empty() || !PickerGoTo(picker, folder)) {
        const std::string reason = picker.error;
        if (!PickerGoTo(picker, HomeOrRoot())) PickerGoTo(picker, "/");
        // Why the folder asked for was not shown stays visible until the next change.
        if (!folder.empty()) picker.error = reason;
    }
}

bool PickerGoTo(FilePicker& picker, const std::string& path) {
    const std::string resolved = ResolvePath(picker, path);
    const bool file = IsPlainFile(resolved) && !(picker.browseArchives && IsZipName(resolved));
    const std::string folder = file ? ParentPath(resolved) : resolved;
    std::vector<FolderEntry> listed;
    std::string reason;
    if (!ListFolder(folder, listed, &reason)) {
        picker.error = folder + ": " + reason;
        picker.pathText = picker.folder;
        return false;
    }
    picker.folder = folder;
    picker.entries = Shown(picker, std::move(listed));
    picker.selected.clear();
    picker.anchor = 0;
    picker.error.clear();
    picker.pathText = folder;
    if (file) {
        const std::string name = resolved.substr(resolved.rfind('/') + 1);
        for (size_t index = 0; index < picker.entries.size(); ++index) {
            if (picker.entries[index].name == name) PickerClick(picker, index, false, false);
        }
    }
    return true;
}

void PickerUp(FilePicker& picker) {
    PickerGoTo(picker, ParentPath(picker.folder));
}

bool PickerIsSelected(const FilePicker& picker, size_t index) {
    return std::find(picker.selected.begin(), picker.selected.end(), index) !=
           picker.selected.end();
}

void PickerClick(FilePicker& picker, size_t index, bool toggle, bool range) {
    if (index >= picker.entries.size()) return;
    const bool folder = picker.entries[index].folder;
    // Whatever is already selected, a folder among the files would make Open mean two things.
    std::erase_if(picker.selected, [&](size_t other) { return picker.entries[other].folder; });
    if (folder || !picker.multiple || (!toggle && !range)) {
        picker.selected = {index};
        picker.anchor = index;
        return;
    }
    if (range && picker.anchor < picker.entries.size()) {
        picker.selected.clear();
        const size_t low = std::min(picker.anchor, index), high = std::max(picker.anchor, index);
        for (size_t step = low; step <= high; ++step) {
            if (!picker.entries[step].folder) picker.selected.push_back(step);
        }
        return;
    }
    if (PickerIsSelected(picker, index)) {
        std::erase(picker.selected, index);
    } else {
        picker.selected.push_back(index);
    }
    picker.anchor = index;
}

bool PickerActivate(FilePicker& picker, size_t index) {
    if (index >= picker.entries.size()) return false;
    if (picker.entries[index].folder) {
        PickerGoTo(picker, JoinPath(picker.folder, picker.entries[index].name));
        return false;
    }
    picker.selected = {index};
    return PickerAccept(picker);
}

bool PickerAccept(FilePicker& picker) {
    // A path typed and not yet gone to is gone to first: a file named there is chosen at once.
    if (picker.selected.empty() && !picker.pathText.empty() && picker.pathText != picker.folder) {
        if (!PickerGoTo(picker, picker.pathText)) return false;
        if (picker.selected.empty()) return false;
    }
    if (picker.selected.size() == 1 && picker.entries[picker.selected.front()].folder) {
        PickerGoTo(picker, JoinPath(picker.folder, picker.entries[picker.selected.front()].name));
        return false;
    }
    if (picker.selected.empty()) return false;
    picker.chosen.clear();
    for (size_t index : picker.selected) {
        picker.chosen.push_back(JoinPath(picker.folder, picker.entries[index].name));
    }
    picker.open = false;
    return true;
}

void PickerCancel(FilePicker& picker) {
    picker.chosen.clear();
    picker.selected.clear();
    picker.open = false;
}

}  // namespace orvet
