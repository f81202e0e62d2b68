#include "frontend/rom_list.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "machine/builtin_rom.h"

namespace orvet {

namespace {

char AsciiLower(char letter) {
    return (letter >= 'A' && letter <= 'Z') ? static_cast<char>(letter - 'A' + 'a') : letter;
}

bool SameIgnoringCase(const std::string& left, const std::string& right) {
    return left.size() == right.size() &&
           std::equal(left.begin(), left.end(), right.begin(),
                      [](char a, char b) { return AsciiLower(a) == AsciiLower(b); });
}

bool Refuse(std::string* reason, const std::string& text) {
    if (reason) *reason = text;
    return false;
}

int RefuseEntry(std::string* reason, const std::string& text) {
    Refuse(reason, text);
    return -1;
}

// Only a regular file is ever opened: opening a device can have effects of its own, and a FIFO
// would wait for a writer that never comes. The opened file is checked again, without blocking,
// in case the path changed in between.
bool ReadHeader(const std::string& path, std::array<uint8_t, 64>& header, std::string* reason) {
    struct stat before {};
    if (stat(path.c_str(), &before) != 0) return Refuse(reason, std::strerror(errno));
    if (!S_ISREG(before.st_mode)) return Refuse(reason, "not a regular file");
    const int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) return Refuse(reason, std::strerror(errno));
    struct stat status {};
    bool read = false;
    if (fstat(descriptor, &status) != 0) {
        Refuse(reason, std::strerror(errno));
    } else if (!S_ISREG(status.st_mode)) {
        Refuse(reason, "not a regular file");
    } else {
        header.fill(0);
        size_t filled = 0;
        read = true;
        while (filled < header.size()) {
            const ssize_t got = ::read(descriptor, header.data() + filled, header.size() - filled);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) read = Refuse(reason, std::strerror(errno));
            if (got <= 0) break;
            filled += static_cast<size_t>(got);
        }
    }
    close(descriptor);
    return read;
}

// Its active flag is never read: the list works out whether it is active.
const RomEntry& BuiltinEntry() {
    static const RomEntry entry = [] {
        RomEntry builtin;
        builtin.id = kBuiltinRomId;
        builtin.kind = kRomKindTos;
        const std::span<const uint8_t> image = BuiltinRom();
        std::copy_n(image.begin(), std::min(image.size(), builtin.header.size()),
                    builtin.header.begin());
        return builtin;
    }();
    return entry;
}

}  // namespace

const char* RomKindName(int kind) {
    switch (kind) {
        case kRomKindTos:
            return "TOS ROM";
        case kRomKindDiagnostic:
            return "Diagnostic";
        case kRomKindApplication:
            return "Application";
        default:
            return "";
    }
}

int RomKindOfHeader(const std::array<uint8_t, 64>& header) {
    if (header[0] == 0x60 && (header[1] == 0x2E || header[1] == 0x1E)) return kRomKindTos;
    auto startsWith = [&](uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
        return header[0] == b0 && header[1] == b1 && header[2] == b2 && header[3] == b3;
    };
    if (startsWith(0xFA, 0x52, 0x23, 0x5F)) return kRomKindDiagnostic;
    if (startsWith(0xAB, 0xCD, 0xEF, 0x42)) return kRomKindApplication;
    return -1;
}

int RomList::Add(const std::string& path, std::string* reason) {
    if (path.empty()) return RefuseEntry(reason, "no path given");
    if (path.size() > kRomPathLongest) {
        return RefuseEntry(reason, "the path is " + std::to_string(path.size()) +
                                       " bytes long, longer than " +
                                       std::to_string(kRomPathLongest));
    }
    // The settings file could not keep a line break; a zero byte would end the path the system
    // sees early, so another file than the one named would be read.
    if (path.find_first_of(std::string_view("\n\0", 2)) != std::string::npos) {
        return RefuseEntry(reason, "the path holds a line break or a zero byte");
    }
    for (const RomEntry& entry : entries_) {
        if (SameIgnoringCase(entry.path, path)) return RefuseEntry(reason, "already listed");
    }
    RomEntry entry;
    if (!ReadHeader(path, entry.header, reason)) return -1;
    entry.kind = RomKindOfHeader(entry.header);
    if (entry.kind < 0) return RefuseEntry(reason, "neither a TOS ROM nor a cartridge");
    if (nextId_ == kBuiltinRomId) return RefuseEntry(reason, "no entry can be added any more");
    entry.path = path;
    entry.id = nextId_++;
    entries_.insert(entries_.begin(), std::move(entry));
    return entries_.front().id;
}

void RomList::Remove(int id) {
    std::erase_if(entries_, [id](const RomEntry& entry) { return entry.id == id; });
}

const RomEntry* RomList::Find(int id) const {
    if (IsBuiltin(id)) return &BuiltinEntry();
    for (const RomEntry& entry : entries_) {
        if (entry.id == id) return &entry;
    }
    return nullptr;
}

const std::array<uint8_t, 64>* RomList::Header(int id) const {
    const RomEntry* entry = Find(id);
    return entry ? &entry->header : nullptr;
}

int RomList::Kind(int id) const {
    const RomEntry* entry = Find(id);
    return entry ? entry->kind : -1;
}

int RomList::Count() const {
    return static_cast<int>(entries_.size()) + 1;
}

int RomList::IdAt(int position) const {
    if (position < 0 || position >= Count()) return -1;
    if (position == Count() - 1) return kBuiltinRomId;
    return entries_[static_cast<size_t>(position)].id;
}

const std::string* RomList::Path(int id) const {
    const RomEntry* entry = Find(id);
    return entry ? &entry->path : nullptr;
}

std::string RomList::Name(int id) const {
    if (IsBuiltin(id)) return kBuiltinRomName;
    const RomEntry* entry = Find(id);
    return entry ? entry->path : std::string();
}

bool RomList::IsActive(int id) const {
    if (IsBuiltin(id)) return FindActive(false) == kBuiltinRomId;
    const RomEntry* entry = Find(id);
    return entry && entry->active;
}

void RomList::SetActive(int id) {
    auto chosen = std::find_if(entries_.begin(), entries_.end(),
                               [id](const RomEntry& entry) { return entry.id == id; });
    // Choosing the built-in ROM switches every TOS file off.
    const bool cartridge =
        !IsBuiltin(id) && (chosen == entries_.end() || chosen->kind != kRomKindTos);
    if (chosen != entries_.end()) chosen->active = cartridge ? !chosen->active : true;
    for (auto entry = entries_.begin(); entry != entries_.end(); ++entry) {
        if (entry != chosen && (entry->kind != kRomKindTos) == cartridge) entry->active = false;
    }
}

int RomList::FindActive(bool wantCartridge) const {
    for (const RomEntry& entry : entries_) {
        if (entry.active && (entry.kind != kRomKindTos) == wantCartridge) return entry.id;
    }
    return wantCartridge ? -1 : kBuiltinRomId;
}

void RomList::Clear() {
    entries_.clear();
    nextId_ = 0;
}

}  // namespace orvet
