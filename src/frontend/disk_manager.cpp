#include "frontend/disk_manager.h"

#include <pwd.h>
#include <strings.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>

#include "frontend/folder_listing.h"

namespace orvet {
namespace {

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// The list shows only what the drive could take by its name; folders named like images are not
// files to insert.
void Populate(DiskTreeItem& item) {
    std::vector<FolderEntry> entries;
    std::string error;
    if (!ListFolder(item.path, entries, &error)) {
        item.readError = (item.archive ? "Cannot read the archive " : "Cannot read the folder ") +
                         item.path + ": " + error;
    }
    for (const FolderEntry& entry : entries) {
        if (entry.folder) {
            DiskTreeItem child;
            child.text = entry.name;
            child.path = JoinPath(item.path, entry.name);
            child.archive = entry.archive;
            item.children.push_back(std::move(child));
        } else if (IsDiskImageName(entry.name)) {
            item.images.push_back(entry.name);
        }
    }
    item.expandable = !item.children.empty();
}

// A listing that failed is reported each time the item is opened or selected again.
void ReadItem(DiskManagerWindow& window, DiskTreeItem& item) {
    if (!item.listed) {
        item.listed = true;
        Populate(item);
    }
    if (!item.readError.empty()) window.message = item.readError;
}

DiskTreeItem* ChildNamed(DiskTreeItem& item, const std::string& name) {
    for (DiskTreeItem& child : item.children) {
        if (child.text == name) return &child;
    }
    // A settings file edited by hand may name a folder in another case.
    for (DiskTreeItem& child : item.children) {
        if (strcasecmp(child.text.c_str(), name.c_str()) == 0) return &child;
    }
    return nullptr;
}

DiskTreeItem* FindBelow(DiskTreeItem& item, const std::string& path) {
    if (item.path == path) return &item;
    for (DiskTreeItem& child : item.children) {
        const std::string& prefix = child.path;
        if (path.compare(0, prefix.size(), prefix) == 0 &&
            (path.size() == prefix.size() || path[prefix.size()] == '/')) {
            return FindBelow(child, path);
        }
    }
    return nullptr;
}

void ClearSelectedFile(DiskManagerWindow& window) {
    window.selectedRow = -1;
    window.selectedPath.clear();
    window.selectedInfo = {};
}

}  // namespace

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
        return WithoutTrailingSlashes(home);
    }
    if (const passwd* entry = getpwuid(getuid());
        entry && entry->pw_dir && entry->pw_dir[0] == '/') {
        return WithoutTrailingSlashes(entry->pw_dir);
    }
    return {};
}

void DiskManagerOpen(DiskManagerWindow& window, Settings& settings, const std::string& home) {
    window = {};
    DiskTreeItem top;
    top.text = top.path = "/";
    window.roots.push_back(top);
    const std::string homePath = WithoutTrailingSlashes(home);
    if (homePath.size() > 1 && homePath[0] == '/') {
        DiskTreeItem homeItem;
        homeItem.text = homeItem.path = homePath;
        window.roots.push_back(homeItem);
    }

    const std::string saved = WithoutTrailingSlashes(settings.Directory);
    if (saved.empty() || saved[0] != '/') return;
    // The home root is the deeper of the two wherever it holds the folder: the walk is shorter
    // and the folder is found where the user usually browses.
    DiskTreeItem* item = &window.roots.front();
    std::string rest = saved.substr(1);
    if (window.roots.size() > 1) {
        const std::string& homeRoot = window.roots[1].path;
        if (saved == homeRoot || saved.compare(0, homeRoot.size() + 1, homeRoot + "/") == 0) {
            item = &window.roots[1];
            rest = saved.substr(std::min(saved.size(), homeRoot.size() + 1));
        }
    }
    size_t start = 0;
    while (start < rest.size()) {
        size_t end = rest.find('/', start);
        if (end == std::string::npos) end = rest.size();
        const std::string component = rest.substr(start, end - start);
        start = end + 1;
        if (component.empty()) continue;
        ReadItem(window, *item);
        item->expanded = true;
        DiskTreeItem* child = ChildNamed(*item, component);
        if (!child) {
            // A folder that could not be read has said so already.
            if (window.message.empty()) {
                window.message = JoinPath(item->path, component) + " is no longer there";
            }
            return;
        }
        item = child;
    }
    DiskManagerSelectFolder(window, settings, *item);
    window.revealSelection = true;
}

void DiskManagerExpand(DiskManagerWindow& window, DiskTreeItem& item) {
    window.message.clear();
    ReadItem(window, item);
    item.expanded = item.expandable;
}

void DiskManagerSelectFolder(DiskManagerWindow& window, Settings& settings, DiskTreeItem& item) {
    window.message.clear();
    ReadItem(window, item);
    window.selectedFolder = item.path;
    settings.Directory = item.path == "/" ? item.path : item.path + "/";
    window.rows = item.images;
    ClearSelectedFile(window);
}

void DiskManagerSelectRow(DiskManagerWindow& window, int row) {
    window.message.clear();
    if (row < 0 || row >= static_cast<int>(window.rows.size())) {
        ClearSelectedFile(window);
        return;
    }
    window.selectedRow = row;
    window.selectedPath = JoinPath(window.selectedFolder, window.rows[row]);
    InspectDiskImage(window.selectedPath, window.selectedInfo);
}

void DiskManagerInsert(DiskManagerWindow& window, Settings& settings, DiskImage& drive) {
    if (window.selectedPath.empty()) return;
    window.message.clear();
    std::string error;
    if (!LoadDiskImage(window.selectedPath, drive, &error)) {
        window.message = FileNamePart(window.selectedPath) + " cannot go into drive A: " + error +
                         (drive.inserted() ? ". The drive keeps its disk." : ".");
        return;
    }
    settings.DriveA = window.selectedPath;
    window.unsavedDriveAPath.clear();
    window.ejectDiscards = false;
}

void DiskManagerEject(DiskManagerWindow& window, Settings& settings, DiskImage& drive) {
    window.message.clear();
    std::string error;
    if (!window.ejectDiscards && !SaveDiskImage(drive, &error)) {
        window.message = FileNamePart(drive.path) + " stays in drive A: what was written to it " +
                         "could not be saved (" + error + "). Eject again to leave it unsaved.";
        window.ejectDiscards = true;
        return;
    }
    window.ejectDiscards = false;
    settings.DriveA.clear();
    window.unsavedDriveAPath.clear();
    // The controller looks at the drive's contents at every command, so an empty image is an
    // empty drive from the next command on, even in the middle of a read.
    drive = DiskImage{};
}

void DiskManagerSetWriteProtect(Settings& settings, Fdc& fdc, bool on) {
    settings.WriteProtect = on ? 1 : 0;
    fdc.writeProtect = on;
}

DiskTreeItem* FindTreeItem(DiskManagerWindow& window, const std::string& path) {
    const std::string wanted = WithoutTrailingSlashes(path);
    // The home root first: it is the deeper of the two.
    for (auto root = window.roots.rbegin(); root != window.roots.rend(); ++root) {
        if (root->path == "/" || wanted == root->path ||
            wanted.compare(0, root->path.size() + 1, root->path + "/") == 0) {
            if (DiskTreeItem* item = FindBelow(*root, wanted)) return item;
        }
    }
    return nullptr;
}

DiskInfoTexts DescribeDiskImage(const DiskImageInfo& info) {
    DiskInfoTexts texts;
    switch (info.format) {
        case DiskImageFormat::RawSt:
            texts.format = "Standard ST Disk Image.";
            break;
        case DiskImageFormat::Msa:
            texts.format = "MSA Disk Image.";
            break;
        case DiskImageFormat::Dim:
            texts.format = "FCopy Disk Image.";
            break;
        case DiskImageFormat::NotRecognised:
            texts.format = "Unknown image format.";
            return texts;
    }
    texts.fileSize = std::to_string(info.fileSize / 1024) + "KB";
    texts.tracks = std::to_string(info.tracks);
    texts.sectors = std::to_string(info.sectors);
    texts.sides = std::to_string(info.sides);
    texts.capacity = std::to_string(info.imageSize / 1024) + "KB";
    // A header that leaves no sector holds nothing to compress: no figure rather than 100%.
    if (info.imageSize > 0) {
        texts.compression =
            std::to_string(100 - static_cast<int>(std::floor(info.ratio * 100.0f))) + "%";
    }
    return texts;
}

std::string FileNamePart(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace orvet
