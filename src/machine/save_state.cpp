#include "machine/save_state.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "disk/crc32.h"
#include "machine/chip_state.h"
#include "machine/machine.h"
#include "machine/state_stream.h"

namespace orvet {
namespace {

constexpr char kMagic[8] = {'O', 'R', 'V', 'E', 'T', 'S', 'T', 'A'};
constexpr size_t kHeaderBytes = 24;
constexpr size_t kSectionHeaderBytes = 12;
constexpr size_t kTrailerBytes = 4;
// Larger than any state: 4 MB of RAM, the largest disk and the frame's logs.
constexpr uint64_t kLargestState = 16u * 1024 * 1024;

// The machine's own values beside the chips: the frame's scheduler and counters, and the two
// small registers of the memory and I/O layers.
struct MachineValues {
    FrameState frame;
    uint64_t framesRun = 0;
    int32_t lastSampleCount = 0;
    uint8_t memoryConfig = 0;
    int32_t ymAccessCount = 0;
};

void serializeMachineValues(StateStream& stream, MachineValues& values) {
    FrameState& frame = values.frame;
    stream.value(frame.vblTime);
    stream.value(frame.hblTime);
    stream.value(frame.nextLineTime);
    stream.value(frame.lineNumber);
    stream.value(frame.frameNumber);
    stream.value(frame.eventKind, EventKind::Vbl, EventKind::FrameEnd);
    // The line jitter is looked up by (frame - line) mod 33; a frame has 313 lines.
    stream.require(frame.lineNumber >= 0 && frame.lineNumber <= 400 &&
                       frame.frameNumber >= frame.lineNumber,
                   "a scan line outside the frame");
    stream.value(values.framesRun);
    stream.value(values.lastSampleCount);
    stream.value(values.memoryConfig);
    stream.value(values.ymAccessCount);
}

// RAM is carried up to the machine's size; loading takes it in place from the file's bytes and
// copies it only once the whole state has been accepted.
struct RamView {
    const uint8_t* source = nullptr;  // saving
    uint32_t size = 0;
    std::span<const uint8_t> loaded;
};

void serializeRam(StateStream& stream, RamView& ram) {
    if (stream.saving()) {
        stream.bytes(const_cast<uint8_t*>(ram.source), ram.size);
        return;
    }
    stream.require(stream.remaining() == ram.size, "RAM of another size than the machine's");
    if (!stream.failed()) ram.loaded = stream.view(ram.size);
}

// The chips a state walks: the live machine's when saving, scratch copies when loading.
struct Parts {
    CpuState& cpu;
    Mfp& mfp;
    Ikbd& ikbd;
    Ym2149& ym;
    YmSynth& ymSynth;
    DmaSound& dmaSound;
    SoundFilter& filter;
    DriveSoundPlayer& driveSounds;
    Fdc& fdc;
    DiskImage& disk;
    Shifter& shifter;
    Renderer& renderer;
    MachineValues& values;
    RamView& ram;
};

// Where a load reads the chips to.
struct ScratchChips {
    CpuState cpu;
    Mfp mfp;
    Ikbd ikbd;
    Ym2149 ym;
    YmSynth ymSynth;
    DmaSound dmaSound;
    SoundFilter filter;
    DriveSoundPlayer driveSounds;
    Fdc fdc;
    DiskImage disk;
    Shifter shifter;
    Renderer renderer;
};

struct Section {
    std::array<char, 4> tag;
    uint32_t version;  // of the layout the function writes
    void (*walk)(StateStream&, Parts&);
};

// One row per chip, in the order they are written. A section's version goes up when its layout
// changes; the chip's function can then read older ones by stream.version().
constexpr Section kSections[] = {
    {{'M', 'A', 'C', 'H'}, 1, [](StateStream& s, Parts& p) { serializeMachineValues(s, p.values); }},
    {{'C', 'P', 'U', ' '}, 1, [](StateStream& s, Parts& p) { SerializeCpu(s, p.cpu); }},
    {{'M', 'F', 'P', ' '}, 1, [](StateStream& s, Parts& p) { SerializeMfp(s, p.mfp); }},
    {{'I', 'K', 'B', 'D'}, 1, [](StateStream& s, Parts& p) { SerializeIkbd(s, p.ikbd); }},
    {{'Y', 'M', ' ', ' '}, 1, [](StateStream& s, Parts& p) { SerializeYm2149(s, p.ym); }},
    {{'Y', 'M', 'S', 'Y'}, 1, [](StateStream& s, Parts& p) { SerializeYmSynth(s, p.ymSynth); }},
    {{'D', 'M', 'A', 'S'}, 1, [](StateStream& s, Parts& p) { SerializeDmaSound(s, p.dmaSound); }},
    {{'M', 'I', 'X', ' '}, 1, [](StateStream& s, Parts& p) { SerializeSoundFilter(s, p.filter); }},
    {{'D', 'R', 'V', 'S'}, 1,
     [](StateStream& s, Parts& p) { SerializeDriveSounds(s, p.driveSounds); }},
    {{'F', 'D', 'C', ' '}, 1, [](StateStream& s, Parts& p) { SerializeFdc(s, p.fdc); }},
    {{'D', 'I', 'S', 'K'}, 1, [](StateStream& s, Parts& p) { SerializeDiskImage(s, p.disk); }},
    {{'S', 'H', 'F', 'T'}, 1, [](StateStream& s, Parts& p) { SerializeShifter(s, p.shifter); }},
    {{'R', 'E', 'N', 'D'}, 1, [](StateStream& s, Parts& p) { SerializeRenderer(s, p.renderer); }},
    {{'R', 'A', 'M', ' '}, 1, [](StateStream& s, Parts& p) { serializeRam(s, p.ram); }},
};
constexpr size_t kSectionCount = std::size(kSections);

void put32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
    for (int byte = 0; byte < 4; ++byte) out[at + byte] = static_cast<uint8_t>(value >> (8 * byte));
}
uint32_t get32(std::span<const uint8_t> bytes, size_t at) {
    return uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 |
           uint32_t{bytes[at + 3]} << 24;
}

std::string ramText(uint32_t index) {
    constexpr const char* kSizes[] = {"512 KB", "1 MB", "2 MB", "4 MB"};
    return index < 4 ? kSizes[index] : "an unknown amount";
}

uint8_t ramSizeIndex(const MachineMemory& memory) {
    for (uint8_t index = 0; index < 4; ++index) {
        if (RamSizeForIndex(index) == memory.ramSize) return index;
    }
    return 0xFF;
}

bool fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

// Event times are kept relative to the frame and moved back at each frame's end; one far
// behind it would have the frame loop fire it millions of times before the processor runs again.
bool eventTimesNearFrame(const Parts& p) {
    constexpr int32_t kEarliest = -2 * kFrameCycles;
    const FrameState& frame = p.values.frame;
    bool near = p.cpu.cycleCounter >= kEarliest && p.cpu.cycleCounter <= 2 * kFrameCycles &&
                frame.vblTime >= kEarliest && frame.hblTime >= kEarliest &&
                frame.nextLineTime >= kEarliest && p.ikbd.nextStepTime >= kEarliest &&
                FdcEventTime(p.fdc) >= kEarliest && DmaSoundNextEventTime(p.dmaSound) >= kEarliest;
    for (MfpTimer timer : {MfpTimer::A, MfpTimer::B, MfpTimer::C, MfpTimer::D}) {
        near = near && MfpTimerEventTime(p.mfp, timer) >= kEarliest;
    }
    return near;
}

// Writes bytes under a temporary name beside path, flushes them and renames them into place.
bool writeFileAtomically(const std::string& path, std::span<const uint8_t> bytes,
                         std::string* error) {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::error_code failed;
    if (!folder.empty() && !std::filesystem::is_directory(folder, failed) &&
        !std::filesystem::create_directories(folder, failed)) {
        return fail(error, folder.string() + ": cannot make the folder: " + failed.message());
    }
    std::string temporary = path + ".XXXXXX";
    const int descriptor = mkstemp(temporary.data());
    if (descriptor < 0) return fail(error, path + ": " + std::strerror(errno));
    size_t written = 0;
    int failure = 0;
    while (written < bytes.size()) {
        const ssize_t count = write(descriptor, bytes.data() + written, bytes.size() - written);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) {
            failure = count < 0 ? errno : ENOSPC;
            break;
        }
        written += static_cast<size_t>(count);
    }
    // Without the flush a crash soon after the rename can leave an empty file where the old was.
    if (failure == 0 && fsync(descriptor) != 0) failure = errno;
    if (close(descriptor) != 0 && failure == 0) failure = errno;
    if (failure == 0 && std::rename(temporary.c_str(), path.c_str()) != 0) failure = errno;
    if (failure != 0) {
        unlink(temporary.c_str());
        return fail(error, path + ": cannot write: " + std::strerror(failure));
    }
    return true;
}

}  // namespace

uint32_t MappedRomChecksum(const MachineMemory& memory) {
    if (!memory.block) return 0;
    uint8_t where[9];
    for (int byte = 0; byte < 4; ++byte) {
        where[byte] = static_cast<uint8_t>(memory.romBase >> (8 * byte));
        where[4 + byte] = static_cast<uint8_t>(memory.romSize >> (8 * byte));
    }
    where[8] = memory.tosLoaded ? 1 : 0;
    uint32_t crc = Crc32(where);
    crc = Crc32Update(crc, {memory.romHost, std::min(memory.romSize, kRomAreaSize)});
    return Crc32Update(crc, {memory.cartridgeHost, kCartridgeAreaSize});
}

bool SaveState(const Machine& constMachine, std::vector<uint8_t>& out) {
    // The chips' functions both save and load, so they take the chips as they are; a saving
    // stream only reads them.
    Machine& machine = const_cast<Machine&>(constMachine);
    if (!machine.memory.block) return false;
    MachineValues values{machine.frame, machine.framesRun, machine.lastSampleCount,
                         machine.memory.memoryConfig, machine.io.ymAccessCount};
    RamView ram{machine.memory.ramBase, machine.memory.ramSize, {}};
    Parts parts{machine.cpu,         machine.mfp,          machine.ikbd,
                machine.ym,          machine.sound.ymSynth, machine.sound.dmaSound,
                machine.sound.filter, machine.driveSounds, machine.fdc,
                machine.driveA,      machine.shifter,      machine.renderer,
                values,              ram};

    out.clear();
    out.reserve(machine.memory.ramSize + machine.driveA.data.size() +
                machine.shifter.log.writePosition * 4 + 256 * 1024);
    out.resize(kHeaderBytes);
    std::memcpy(out.data(), kMagic, sizeof kMagic);
    put32(out, 8, kSaveStateFormatVersion);
    out[16] = machine.steMode ? 1 : 0;
    out[17] = ramSizeIndex(machine.memory);
    put32(out, 20, MappedRomChecksum(machine.memory));

    StateStream stream = StateStream::ForSaving(out);
    for (const Section& section : kSections) {
        const size_t start = out.size();
        out.resize(start + kSectionHeaderBytes);
        std::memcpy(out.data() + start, section.tag.data(), 4);
        put32(out, start + 4, section.version);
        section.walk(stream, parts);
        put32(out, start + 8, static_cast<uint32_t>(out.size() - start - kSectionHeaderBytes));
    }
    put32(out, 12, static_cast<uint32_t>(out.size() + kTrailerBytes));
    const uint32_t crc = Crc32(out);
    out.resize(out.size() + kTrailerBytes);
    put32(out, out.size() - kTrailerBytes, crc);
    return true;
}

bool LoadState(Machine& machine, std::span<const uint8_t> bytes, std::string* error) {
    if (!machine.memory.block) return fail(error, "the machine is not running");
    if (bytes.size() < sizeof kMagic || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) {
        return fail(error, "not an Orvet save state");
    }
    if (bytes.size() < kHeaderBytes + kTrailerBytes) {
        return fail(error, "the save state is cut short");
    }
    const uint32_t version = get32(bytes, 8);
    if (version != kSaveStateFormatVersion) {
        return fail(error, "a save state of format " + std::to_string(version) +
                               ", this Orvet reads format " +
                               std::to_string(kSaveStateFormatVersion));
    }
    const uint32_t length = get32(bytes, 12);
    if (length > bytes.size()) {
        return fail(error, "the save state is cut short (" + std::to_string(bytes.size()) +
                               " of " + std::to_string(length) + " bytes)");
    }
    if (length != bytes.size() || length < kHeaderBytes + kTrailerBytes) {
        return fail(error, "the save state is damaged (its length does not match)");
    }
    const size_t body = bytes.size() - kTrailerBytes;
    if (Crc32(bytes.first(body)) != get32(bytes, body)) {
        return fail(error, "the save state is damaged (its checksum does not match)");
    }
    const bool ste = bytes[16] != 0;
    if (bytes[16] > 1) return fail(error, "the save state is for a model Orvet does not know");
    if (ste != machine.steMode) {
        return fail(error, std::string("the save state is for an ") + (ste ? "STE" : "STFM") +
                               ", this machine is an " + (machine.steMode ? "STE" : "STFM"));
    }
    if (bytes[17] != ramSizeIndex(machine.memory)) {
        return fail(error, "the save state is for " + ramText(bytes[17]) +
                               " of RAM, this machine has " +
                               ramText(ramSizeIndex(machine.memory)));
    }
    if (get32(bytes, 20) != MappedRomChecksum(machine.memory)) {
        return fail(error, "the save state was made with another TOS or cartridge image");
    }

    // The sections are read into scratch copies of the chips, so that a state refused half-way
    // has changed nothing. The copies start from the live chips, which gives them the machine's
    // own wiring and the values a state does not carry (the debugger's records).
    auto scratch = std::make_unique<ScratchChips>(ScratchChips{
        machine.cpu, machine.mfp, machine.ikbd, machine.ym, machine.sound.ymSynth,
        machine.sound.dmaSound, machine.sound.filter, machine.driveSounds, machine.fdc,
        DiskImage{}, machine.shifter, machine.renderer});
    MachineValues values;
    RamView ram{nullptr, machine.memory.ramSize, {}};
    Parts parts{scratch->cpu,     scratch->mfp,         scratch->ikbd,     scratch->ym,
                scratch->ymSynth, scratch->dmaSound,    scratch->filter,   scratch->driveSounds,
                scratch->fdc,     scratch->disk,        scratch->shifter,  scratch->renderer,
                values,           ram};

    std::array<bool, kSectionCount> seen{};
    size_t position = kHeaderBytes;
    while (position < body) {
        if (body - position < kSectionHeaderBytes) {
            return fail(error, "the save state is damaged (a section header is cut short)");
        }
        // A tag is four printable characters; anything else is shown as '?' in the message.
        std::string tag(reinterpret_cast<const char*>(bytes.data() + position), 4);
        for (char& character : tag) {
            if (character < 0x20 || character > 0x7E) character = '?';
        }
        const uint32_t sectionVersion = get32(bytes, position + 4);
        const uint32_t sectionLength = get32(bytes, position + 8);
        position += kSectionHeaderBytes;
        if (sectionLength > body - position) {
            return fail(error, "the save state is damaged (section " + tag + " runs past its end)");
        }
        const Section* section = nullptr;
        for (const Section& candidate : kSections) {
            if (std::memcmp(candidate.tag.data(), tag.data(), 4) == 0) section = &candidate;
        }
        if (!section) return fail(error, "the save state holds a section Orvet does not know: " + tag);
        const size_t index = static_cast<size_t>(section - kSections);
        if (seen[index]) return fail(error, "the save state holds section " + tag + " twice");
        seen[index] = true;
        if (sectionVersion == 0 || sectionVersion > section->version) {
            return fail(error, "the save state's section " + tag +
                                   " was written by a newer Orvet (version " +
                                   std::to_string(sectionVersion) + ")");
        }
        StateStream stream =
            StateStream::ForLoading(bytes.subspan(position, sectionLength), sectionVersion);
        section->walk(stream, parts);
        if (!stream.failed() && stream.remaining() != 0) {
            return fail(error, "the save state's section " + tag + " is longer than its contents");
        }
        if (stream.failed()) {
            return fail(error, "the save state's section " + tag + " holds " + stream.error());
        }
        position += sectionLength;
    }
    for (size_t index = 0; index < kSectionCount; ++index) {
        if (!seen[index]) {
            return fail(error, "the save state lacks section " +
                                   std::string(kSections[index].tag.data(), 4));
        }
    }
    if (!eventTimesNearFrame(parts)) {
        return fail(error, "the save state's event times lie outside the frame");
    }

    // The disk now in the drive gives way to the state's; its unsaved writes go to its file
    // first, and if they cannot, the load is refused rather than lose them.
    if (machine.driveA.dirty) {
        // A failed save leaves the disk's record of its file as it was (a kept original is
        // looked for again next time); the refusal itself says why.
        const std::string lastSaveError = machine.driveA.saveError;
        const bool originalKept = machine.driveA.originalKept;
        std::string reason;
        if (!SaveDiskImage(machine.driveA, &reason)) {
            machine.driveA.saveError = lastSaveError;
            machine.driveA.originalKept = originalKept;
            return fail(error, "the disk in drive A has writes that cannot be saved: " + reason);
        }
    }

    // Everything is read and checked: commit.
    machine.cpu = scratch->cpu;
    machine.mfp = scratch->mfp;
    machine.ikbd = scratch->ikbd;
    machine.ym = std::move(scratch->ym);
    machine.sound.ymSynth = scratch->ymSynth;
    machine.sound.dmaSound = std::move(scratch->dmaSound);
    machine.sound.filter = scratch->filter;
    machine.driveSounds = scratch->driveSounds;
    machine.fdc = scratch->fdc;
    machine.driveA = std::move(scratch->disk);
    machine.shifter = std::move(scratch->shifter);
    machine.renderer.palette = scratch->renderer.palette;
    machine.renderer.hostPalette = scratch->renderer.hostPalette;
    machine.renderer.resolution = scratch->renderer.resolution;
    machine.frame = values.frame;
    machine.framesRun = values.framesRun;
    machine.lastSampleCount = values.lastSampleCount;
    machine.memory.memoryConfig = values.memoryConfig;
    machine.io.ymAccessCount = values.ymAccessCount;
    std::memcpy(machine.memory.ramBase, ram.loaded.data(), ram.loaded.size());
    // Above the machine's RAM nothing can be read back; clearing it makes a load into a used
    // machine the same as one into a fresh machine.
    std::memset(machine.memory.ramBase + ram.loaded.size(), 0, kRamAreaSize - ram.loaded.size());
    return true;
}

bool SaveStateFile(const Machine& machine, const std::string& path, std::string* error) {
    std::vector<uint8_t> bytes;
    if (!SaveState(machine, bytes)) return fail(error, path + ": the machine is not running");
    return writeFileAtomically(path, bytes, error);
}

bool LoadStateFile(Machine& machine, const std::string& path, std::string* error) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         std::fclose);
    if (!file) return fail(error, path + ": cannot open the file: " + std::strerror(errno));
    std::vector<uint8_t> bytes;
    uint8_t buffer[65536];
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + count);
        if (bytes.size() > kLargestState) return fail(error, path + ": not an Orvet save state");
    }
    if (std::ferror(file.get())) return fail(error, path + ": cannot read the file");
    std::string reason;
    if (!LoadState(machine, bytes, &reason)) return fail(error, path + ": " + reason);
    return true;
}

std::string SaveStateSlotPath(const std::string& dataFolder, int slot) {
    return dataFolder + "/states/state_" + std::to_string(slot) + ".ost";
}

}  // namespace orvet
