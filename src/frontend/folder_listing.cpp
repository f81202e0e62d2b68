#include "frontend/folder_listing.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "disk/archive_file.h"

namespace orvet {
namespace {

bool EndsWithIgnoringCase(std::string_view text, std::string_view ending) {
    if (text.size() < ending.size()) return false;
    text.remove_prefix(text.size() - ending.size());
    return std::equal(text.begin(), text.end(), ending.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    });
}

bool ComesBefore(const FolderEntry& a, const FolderEntry& b) {
    const auto lower = [](const std::string& text) {
        std::string folded = text;
        for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return folded;
    };
    const std::string left = lower(a.name), right = lower(b.name);
    return left != right ? left < right : a.name < b.name;
}

bool ListArchive(const std::string& path, std::vector<FolderEntry>& entries, std::string* error) {
    ArchiveHandle archive = ArchiveOpen(path);
    // A file that opens but names no member is no archive the reader understands.
    if (!archive || !ArchiveMemberName(*archive)) {
        if (error) *error = "not a zip archive that can be read";
        return false;
    }
    do {
        if (auto name = ArchiveMemberName(*archive)) {
            if (!name->empty() && name->back() != '/' && (*name)[0] != '.') {
                entries.push_back({*name, false, false});
            }
        }
    } while (ArchiveNextMember(*archive) == 0);
    ArchiveClose(std::move(archive));
    return true;
}

}  // namespace

bool IsZipName(std::string_view name) { return EndsWithIgnoringCase(name, ".zip"); }

bool IsDiskImageName(std::string_view name) {
    return EndsWithIgnoringCase(name, ".st") || EndsWithIgnoringCase(name, ".msa") ||
           EndsWithIgnoringCase(name, ".dim");
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string ParentPath(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    const size_t slash = trimmed.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : trimmed.substr(0, slash);
}

bool ListFolder(const std::string& path, std::vector<FolderEntry>& entries, std::string* error) {
    entries.clear();
    std::error_code code;
    if (IsZipName(path) && std::filesystem::is_regular_file(path, code)) {
        if (!ListArchive(path, entries, error)) return false;
    } else {
        std::filesystem::directory_iterator it(path, code), end;
        if (code) {
            if (error) *error = code.message();
            return false;
        }
        for (; it != end; it.increment(code)) {
            if (code) break;  // what was read so far stands: a folder that fails half-way
            const std::string name = it->path().filename().string();
            if (name.empty() || name[0] == '.') continue;
            std::error_code kindCode;
            // Links are followed: a link to a folder is browsed as the folder.
            const bool isFolder = it->is_directory(kindCode);
            const bool isArchive = !isFolder && IsZipName(name) && it->is_regular_file(kindCode);
            entries.push_back({name, isFolder || isArchive, isArchive});
        }
    }
    std::sort(entries.begin(), entries.end(), ComesBefore);
    return true;
}

}  // namespace orvet
