// The host's folders as the disk manager and the file picker browse them: one listing of a
// folder, read once when it is opened, with zip archives standing as folders of their members.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvet {

struct FolderEntry {
    std::string name;
    bool folder = false;   // a folder, or a zip archive, which is browsed as one
    bool archive = false;  // a zip archive
    bool operator==(const FolderEntry&) const = default;
};

// "x.zip", "X.ZIP": a name ending in ".zip", case ignored.
bool IsZipName(std::string_view name);
// A name ending in ".st", ".msa" or ".dim", case ignored.
bool IsDiskImageName(std::string_view name);

// folder + "/" + name, without doubling a slash that is already there.
std::string JoinPath(const std::string& folder, const std::string& name);
// The folder a path lies in ("/a/b" -> "/a", "/a" -> "/"); "/" stays "/".
std::string ParentPath(const std::string& path);

// Reads the entries of the folder at path, or the members of the zip archive at path, sorted by
// name (case ignored, then as stored). Names starting with "." are left out; a member of an
// archive is never a folder. False, with a few words in error, when the folder or archive cannot
// be read; entries then holds nothing.
bool ListFolder(const std::string& path, std::vector<FolderEntry>& entries, std::string* error);

}  // namespace orvet
