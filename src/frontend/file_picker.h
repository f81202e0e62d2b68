// A file picker of Orvet's own: one folder's listing at a time, read once when the folder is
// entered, from which a person chooses one file or several. The window draws it and calls these
// actions; nothing here touches the screen.
#pragma once

#include <string>
#include <vector>

#include "frontend/folder_listing.h"

namespace orvet {

// What the filter list offers; a name is shown when it matches the chosen filter.
struct FileFilter {
    std::string label;    // "All Files"
    std::string pattern;  // "*.*": every name, with or without a dot
};

struct FilePicker {
    bool open = false;
    bool multiple = true;  // several files may be chosen at once
    // A zip archive is listed as a folder of its members; where no member can be used (a ROM
    // image is read from a plain file), it stays a file, and whoever reads it decides.
    bool browseArchives = false;
    std::vector<FileFilter> filters{{"All Files", "*.*"}};
    int filter = 0;

    std::string folder;                // absolute, the listing's folder
    std::vector<FolderEntry> entries;  // the folder's entries the filter lets through
    std::string error;                 // why the last folder asked for could not be listed
    std::vector<size_t> selected;      // indices into entries, in the order they were picked
    size_t anchor = 0;                 // where a range selection starts
    std::string pathText;              // the path field as the person edits it
    std::vector<std::string> chosen;   // full paths, once Open was pressed
};

// "/" and the home folder ($HOME, else the password database's): where a person starts looking.
std::vector<std::string> PickerRoots();

// True when name matches a pattern of "*" and "?" wildcards; "*.*" matches every name, as on
// the system the filter comes from.
bool MatchesFilter(const std::string& name, const std::string& pattern);

// Opens the picker on folder (the home folder when it is empty or cannot be listed), with
// nothing chosen.
void OpenPicker(FilePicker& picker, const std::string& folder);
// Lists a folder. A path naming a file goes to its folder with that file selected. False, with
// the reason in error, when it cannot be listed: the picker then stays where it was.
bool PickerGoTo(FilePicker& picker, const std::string& path);
void PickerUp(FilePicker& picker);  // the folder above; "/" stays
// A click on an entry: alone it selects that entry only; with toggle (Ctrl) it joins or leaves
// the selection; with range (Shift) everything from the last plain click to it is selected.
// Folders are selected alone, since only files are chosen.
void PickerClick(FilePicker& picker, size_t index, bool toggle, bool range);
// A double click or Open: a folder is entered; files become the choice and the picker closes.
// True when files were chosen.
bool PickerActivate(FilePicker& picker, size_t index);
bool PickerAccept(FilePicker& picker);
void PickerCancel(FilePicker& picker);  // nothing is chosen
bool PickerIsSelected(const FilePicker& picker, size_t index);

}  // namespace orvet
