// The disk manager: a tree of the host's folders, with zip archives standing as folders, the disk
// images of the chosen folder, what the selected image holds, and drive A's Insert and Eject.
// Plain state and actions; the window (disk_manager_view) draws it and calls the actions.
//
// The chosen folder and drive A's image are settings (Directory, DriveA), so a restart brings
// the user back to where they were. Every folder is read once, when it is first expanded or
// selected, and the tree is rebuilt each time the window opens, so a folder of thousands of
// entries costs one listing, not one per frame.
#pragma once

#include <string>
#include <vector>

#include "disk/disk_image.h"
#include "fdc/wd1772.h"
#include "frontend/settings.h"

namespace orvet {

struct DiskTreeItem {
    std::string text;  // as shown: a root's full path, else the entry's name
    std::string path;  // without a trailing "/", except the root "/" itself
    bool archive = false;
    bool listed = false;     // read once; children and images below are what was found
    bool expandable = true;  // keeps its expand button until a listing finds no folder in it
    bool expanded = false;   // open in the tree
    std::vector<DiskTreeItem> children;  // folders and zip archives, sorted
    std::vector<std::string> images;     // names of the disk images it holds, sorted
    std::string readError;               // why the listing failed; empty when it did not
};

struct DiskManagerWindow {
    std::vector<DiskTreeItem> roots;  // "/" and the home folder
    std::string selectedFolder;       // path of the selected tree item; empty: none
    std::vector<std::string> rows;    // the list "Disk Images :", sorted by name
    int selectedRow = -1;
    std::string selectedPath;  // the selected file's full path; empty: none
    DiskImageInfo selectedInfo;
    // Eject found the disk's writes could not be saved and kept it in; the next Eject of the
    // same disk leaves the writes behind.
    bool ejectDiscards = false;
    std::string message;           // why the last action failed; empty when it did not
    bool revealSelection = false;  // the view scrolls the selected tree item into sight once
    // The image in drive A when the settings do not name it (a disk given on the command line for
    // this run, or one a loaded save state brought): named in the window until Insert or Eject
    // replaces it.
    std::string unsavedDriveAPath;
};

// The home folder: $HOME, else the password database's; empty when there is none.
std::string HomeFolder();

// Rebuilds the tree with the roots "/" and home (unless home is "/" or empty), then walks the
// saved folder from the deepest root that holds it, expanding each folder on the way, and selects
// it. A component that no longer exists stops the walk there and nothing is selected. The
// selection, the list and the message start empty.
void DiskManagerOpen(DiskManagerWindow& window, Settings& settings, const std::string& home);

// The item was opened in the tree: its folder or archive is read if it was not yet.
void DiskManagerExpand(DiskManagerWindow& window, DiskTreeItem& item);

// The item was selected: it becomes Settings.Directory (with a trailing "/") and the list shows
// its disk images. The selected file is forgotten with the old list.
void DiskManagerSelectFolder(DiskManagerWindow& window, Settings& settings, DiskTreeItem& item);

// Row of the list selected: the file is inspected for the "Selected Disk" panel.
void DiskManagerSelectRow(DiskManagerWindow& window, int row);

// Puts the selected file into drive A and names it in Settings.DriveA. When it cannot be used the
// drive keeps the disk it had, DriveA keeps its value and the message says why: losing the disk
// the user was playing because another file turned out damaged helps no one. Nothing selected:
// nothing happens.
void DiskManagerInsert(DiskManagerWindow& window, Settings& settings, DiskImage& drive);

// Empties drive A and Settings.DriveA. What a program wrote to the disk goes to its file first;
// when that fails the disk stays in and the message says why, and a second Eject then takes the
// disk out without its writes.
void DiskManagerEject(DiskManagerWindow& window, Settings& settings, DiskImage& drive);

// The check box beside drive A: the WriteProtect setting, which protects every disk at once,
// from the next command on.
void DiskManagerSetWriteProtect(Settings& settings, Fdc& fdc, bool on);

// The tree item with this path, among the items listed so far; null when there is none.
DiskTreeItem* FindTreeItem(DiskManagerWindow& window, const std::string& path);

// The texts of the "Selected Disk" panel; all empty but format for a file that is no image.
struct DiskInfoTexts {
    std::string fileSize, format, tracks, sectors, sides, capacity, compression;
    bool operator==(const DiskInfoTexts&) const = default;
};
DiskInfoTexts DescribeDiskImage(const DiskImageInfo& info);

// What follows the last "/" of a path: the name shown for the image in drive A.
std::string FileNamePart(const std::string& path);

}  // namespace orvet
