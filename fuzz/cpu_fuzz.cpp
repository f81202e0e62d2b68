// libFuzzer target for the 68000 core.
//
// Each input is a register file, a status register, a few choices about the machine and a stream
// of opcode words. The machine is small but shaped like an ST: RAM at 0, a second RAM block high
// in the address space, a block whose writes go through a handler (as the ST's video memory is
// watched), a write observer that overlaps RAM, and a device area whose handlers answer with
// input-derived values and may raise bus errors, add wait states, end the slice or post
// interrupts in the middle of an access. Every host block is allocated at exactly the size the
// core may touch, so AddressSanitizer reports any host access outside the memory it was given.
//
// Input layout, big-endian like the 68000 (bytes past the end of the input read as zero):
//   0   d0-d7                  68  status register            80  8 interrupt bytes (below)
//   32  a0-a7, a7 the active   70  option bits (kOption*)     88  RAM fill seed
//       stack pointer          71  slice count - 1 (0-7)      92  device seed
//   64  the other stack        72  8 slice lengths, in units  96  cycle counter at the start
//       pointer                    of 8 cycles                100 opcode words
// An interrupt byte posts, before its slice, level = bits 0-2 (0: none); bits 3-4 choose the
// vector: autovector, spurious, user vector 64 + bits 5-7, or an out-of-range request.
//
// Set ORVET_FUZZ_TRACE=1 to print how an input is read and what each slice returned, and
// ORVET_FUZZ_STRICT_BUS_TIME=1 to require device time stamps that never fall back at all.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "cpu/cpu.h"

namespace {

using namespace orvet;

// ---- The machine's map ----
constexpr uint32_t kLowRamBytes = 0x10000;
// The fetch region stops kFetchGuardBytes short of the RAM's end, so the guard the core may read
// lies inside the block and data accesses past 0xFFFF fall outside it.
constexpr uint32_t kLowFetchHigh = kLowRamBytes - 1 - kFetchGuardBytes;
constexpr uint32_t kUserLow = 0x800;  // below it, RAM answers the supervisor only
constexpr uint32_t kHighRamLow = 0xFA0000;
constexpr uint32_t kHighRamBytes = 0x4000;
constexpr uint32_t kWatchedLow = 0xFA2000;  // writes here also reach the observer
constexpr uint32_t kWatchedHigh = 0xFA2FFF;
constexpr uint32_t kLoggedRamLow = 0xFB0000;
constexpr uint32_t kLoggedRamBytes = 0x1000;
constexpr uint32_t kDeviceLow = 0xFF8000;
constexpr uint32_t kDeviceHigh = 0xFFFFFF;
constexpr uint32_t kExceptionHandler = 0x400;  // sane vectors point at an RTE here
constexpr uint16_t kReturnFromException = 0x4E73;

constexpr uint32_t kStartAddresses[4] = {
    0x1000,                           // low RAM
    kHighRamLow,                      // high RAM
    kLowFetchHigh + 1 - 6,            // the last three words of the low fetch region
    kHighRamLow + kHighRamBytes - 6,  // the last three words of high RAM
};

// ---- Input layout ----
constexpr size_t kDataRegistersAt = 0;
constexpr size_t kAddressRegistersAt = 32;
constexpr size_t kOtherStackAt = 64;
constexpr size_t kStatusAt = 68;
constexpr size_t kOptionsAt = 70;
constexpr size_t kSliceCountAt = 71;
constexpr size_t kSliceLengthsAt = 72;
constexpr size_t kInterruptsAt = 80;
constexpr size_t kFillSeedAt = 88;
constexpr size_t kDeviceSeedAt = 92;
constexpr size_t kCycleCounterAt = 96;
constexpr size_t kCodeAt = 100;
constexpr int kMaxSlices = 8;

constexpr uint8_t kOptionStartMask = 3;
constexpr uint8_t kOptionRandomVectors = 4;
constexpr uint8_t kOptionStartByReset = 8;
constexpr uint8_t kOptionResetHook = 16;
constexpr uint8_t kOptionDebuggerAccess = 32;
constexpr uint8_t kOptionServiceBetweenRuns = 64;
constexpr uint8_t kOptionDeviceActions = 128;

constexpr uint16_t kValidStatusBits = (kSrUpperMask << 8) | 0x1F;
constexpr int kMaxResets = 2;
constexpr int64_t kBusSlotCycles = 4;

bool gTrace = false;
// How far a bus time stamp may fall behind the latest one (see CheckAccess).
int64_t gBusTimeSlack = kBusSlotCycles;

// The processor of the input in progress, so a failure can say where the code was.
const CpuState* gCpu = nullptr;

[[noreturn]] void Fail(const char* what, uint32_t detail) {
    std::fprintf(stderr, "orvet_cpu_fuzz: %s (0x%X)\n", what, detail);
    if (gCpu && (gCpu->runFlags & kRunInProgress)) {
        // The live PC points past the words fetched so far; the opcode is among the last few.
        const uint8_t* live = gCpu->livePc;
        auto address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(live) -
                                             static_cast<uintptr_t>(gCpu->fetchDisplacement));
        std::fprintf(stderr, "orvet_cpu_fuzz: in a run, live PC %06X, SR %04X, words before it:",
                     address & 0xFFFFFF, CpuStatusRegister(*gCpu));
        if (gCpu->fetchHostLow && live >= gCpu->fetchHostLow) {
            auto fetched = static_cast<size_t>(live - gCpu->fetchHostLow);
            for (size_t back = std::min<size_t>(fetched, 8) & ~size_t{1}; back > 0; back -= 2) {
                uint16_t value;
                std::memcpy(&value, live - back, sizeof value);
                std::fprintf(stderr, " %04X", value);
            }
        }
        std::fprintf(stderr, "\n");
    }
    std::abort();
}
void Require(bool condition, const char* what, uint32_t detail = 0) {
    if (!condition) Fail(what, detail);
}

class InputReader {
public:
    InputReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t Byte(size_t at) const { return at < size_ ? data_[at] : 0; }
    uint16_t Word(size_t at) const { return static_cast<uint16_t>(Byte(at) << 8 | Byte(at + 1)); }
    uint32_t Long(size_t at) const { return static_cast<uint32_t>(Word(at)) << 16 | Word(at + 2); }
    size_t CodeWords() const { return size_ > kCodeAt ? (size_ - kCodeAt) / 2 : 0; }

private:
    const uint8_t* data_;
    size_t size_;
};

uint32_t NextRandom(uint32_t& state) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

void SetHostWord(uint8_t* host, uint16_t value) {
    std::memcpy(host, &value, sizeof value);
}

// What the device handlers share: a random stream from the input, whether they may disturb the
// processor, and the latest bus time seen, which later accesses must not fall behind.
struct Device {
    uint32_t random = 1;
    bool actions = false;
    int64_t lastCycleTime = INT32_MIN;
};

struct ResetCounter {
    int resets = 0;
    Device* device = nullptr;
};

Device& DeviceOf(const MemoryRegion& region) {
    return *static_cast<Device*>(region.context);
}

void CheckAccess(const MemoryRegion& region, uint32_t address, bool word, int32_t cycleTime) {
    if (gTrace) {
        std::fprintf(stderr, "  %s access at %06X, bus time %d\n", word ? "word" : "byte", address,
                     cycleTime);
    }
    Require(address >= region.low && address <= region.high, "handler called outside its range",
            address);
    Require(!word || (address & 1) == 0, "word handler called at an odd address", address);
    // The second word of a long access is stamped one bus slot after the first, ahead of the
    // instruction's own clock, so the access after it may carry an earlier stamp by that slot;
    // ORVET_FUZZ_STRICT_BUS_TIME=1 allows no slack.
    Device& device = DeviceOf(region);
    Require(cycleTime >= device.lastCycleTime - gBusTimeSlack, "bus time ran backwards",
            static_cast<uint32_t>(cycleTime));
    device.lastCycleTime = std::max<int64_t>(device.lastCycleTime, cycleTime);
}

// A device may answer with a bus error, stretch the access, stop the slice or raise an
// interrupt, all from inside the access, as the ST's chips do.
void DisturbProcessor(CpuState& cpu, Device& device) {
    if (!device.actions) return;
    uint32_t roll = NextRandom(device.random);
    if ((roll & 15) == 0) CpuSignalBusError(cpu);
    if (((roll >> 4) & 7) == 0) CpuAddWaitStates(cpu, static_cast<int32_t>((roll >> 8) & 15));
    if (((roll >> 12) & 31) == 0) CpuEndSlice(cpu);
    if (((roll >> 17) & 15) == 0) {
        int level = 1 + static_cast<int>((roll >> 21) % 7);
        int vector = (roll >> 24) & 1 ? -1 : static_cast<int>(64 + ((roll >> 25) & 63));
        Require(CpuPostInterrupt(cpu, level, vector) <= 1, "in-range interrupt refused");
    }
    (void)CpuCycleTime(cpu);
}

uint32_t ReadDevice(CpuState& cpu, uint32_t address, const MemoryRegion& region, int32_t cycleTime,
                    bool word) {
    CheckAccess(region, address, word, cycleTime);
    Device& device = DeviceOf(region);
    uint32_t value = NextRandom(device.random) ^ address;
    DisturbProcessor(cpu, device);
    return word ? value & 0xFFFF : value & 0xFF;
}
uint32_t ReadDeviceByte(CpuState& cpu, uint32_t address, const MemoryRegion& region,
                        int32_t cycleTime) {
    return ReadDevice(cpu, address, region, cycleTime, false);
}
uint32_t ReadDeviceWord(CpuState& cpu, uint32_t address, const MemoryRegion& region,
                        int32_t cycleTime) {
    return ReadDevice(cpu, address, region, cycleTime, true);
}

void WriteDevice(CpuState& cpu, uint32_t address, uint32_t value, const MemoryRegion& region,
                 int32_t cycleTime, bool word) {
    CheckAccess(region, address, word, cycleTime);
    Require(value <= (word ? 0xFFFFu : 0xFFu), "device write value wider than the access", value);
    DisturbProcessor(cpu, DeviceOf(region));
}
void WriteDeviceByte(CpuState& cpu, uint32_t address, uint32_t value, const MemoryRegion& region,
                     int32_t cycleTime) {
    WriteDevice(cpu, address, value, region, cycleTime, false);
}
void WriteDeviceWord(CpuState& cpu, uint32_t address, uint32_t value, const MemoryRegion& region,
                     int32_t cycleTime) {
    WriteDevice(cpu, address, value, region, cycleTime, true);
}

// The logged block keeps its contents in host memory like RAM, but sees every write first.
void WriteLoggedByte(CpuState& cpu, uint32_t address, uint32_t value, const MemoryRegion& region,
                     int32_t cycleTime) {
    WriteDevice(cpu, address, value, region, cycleTime, false);
    region.hostBase[(address - region.low) ^ 1] = static_cast<uint8_t>(value);
}
void WriteLoggedWord(CpuState& cpu, uint32_t address, uint32_t value, const MemoryRegion& region,
                     int32_t cycleTime) {
    WriteDevice(cpu, address, value, region, cycleTime, true);
    SetHostWord(region.hostBase + (address - region.low), static_cast<uint16_t>(value));
}

// RESET reaches the devices, which may answer it as they answer an access.
void ResetDevices(CpuState& cpu, void* context) {
    auto& counter = *static_cast<ResetCounter*>(context);
    ++counter.resets;
    DisturbProcessor(cpu, *counter.device);
}

MemoryRegion Direct(uint32_t low, uint32_t high, uint8_t* hostBase) {
    MemoryRegion region;
    region.low = low;
    region.high = high;
    region.hostBase = hostBase;
    return region;
}
MemoryRegion Handled(uint32_t low, uint32_t high, ReadHandler read, WriteHandler write,
                     uint8_t* hostBase, Device* device) {
    MemoryRegion region;
    region.low = low;
    region.high = high;
    region.read = read;
    region.write = write;
    region.hostBase = hostBase;
    region.context = device;
    return region;
}

struct FuzzMachine {
    // Exactly what the core may touch: ASan's redzones start where these end.
    std::unique_ptr<uint8_t[]> lowRam{new uint8_t[kLowRamBytes]};
    std::unique_ptr<uint8_t[]> highRam{new uint8_t[kHighRamBytes + kFetchGuardBytes]};
    std::unique_ptr<uint8_t[]> loggedRam{new uint8_t[kLoggedRamBytes]};
    Device device;
    ResetCounter resetCounter;

    FetchRegion supervisorFetch[3];
    FetchRegion userFetch[3];
    MemoryRegion supervisorReadByte[5], supervisorReadWord[5];
    MemoryRegion supervisorWriteByte[6], supervisorWriteWord[6];
    MemoryRegion userRead[4], userWriteByte[4], userWriteWord[4];
    CpuState cpu;

    FuzzMachine() {
        const uint32_t highRamHigh = kHighRamLow + kHighRamBytes - 1;
        supervisorFetch[0] = {0, kLowFetchHigh, FetchDisplacement(lowRam.get(), 0)};
        supervisorFetch[1] = {kHighRamLow, highRamHigh,
                              FetchDisplacement(highRam.get(), kHighRamLow)};
        userFetch[0] = {kUserLow, kLowFetchHigh, FetchDisplacement(lowRam.get(), 0)};
        userFetch[1] = supervisorFetch[1];

        const MemoryRegion low = Direct(0, kLowRamBytes - 1, lowRam.get());
        const MemoryRegion lowForUser = Direct(kUserLow, kLowRamBytes - 1, lowRam.get() + kUserLow);
        const MemoryRegion high = Direct(kHighRamLow, highRamHigh, highRam.get());
        const MemoryRegion loggedRead =
            Direct(kLoggedRamLow, kLoggedRamLow + kLoggedRamBytes - 1, loggedRam.get());
        const MemoryRegion loggedWriteByte = Handled(loggedRead.low, loggedRead.high, nullptr,
                                                     WriteLoggedByte, loggedRam.get(), &device);
        const MemoryRegion loggedWriteWord = Handled(loggedRead.low, loggedRead.high, nullptr,
                                                     WriteLoggedWord, loggedRam.get(), &device);
        const MemoryRegion watchedByte =
            Handled(kWatchedLow, kWatchedHigh, nullptr, WriteDeviceByte, nullptr, &device);
        const MemoryRegion watchedWord =
            Handled(kWatchedLow, kWatchedHigh, nullptr, WriteDeviceWord, nullptr, &device);
        const MemoryRegion deviceByte =
            Handled(kDeviceLow, kDeviceHigh, ReadDeviceByte, WriteDeviceByte, nullptr, &device);
        const MemoryRegion deviceWord =
            Handled(kDeviceLow, kDeviceHigh, ReadDeviceWord, WriteDeviceWord, nullptr, &device);

        const MemoryRegion readByte[] = {low, high, loggedRead, deviceByte};
        const MemoryRegion readWord[] = {low, high, loggedRead, deviceWord};
        const MemoryRegion writeByte[] = {low, high, watchedByte, loggedWriteByte, deviceByte};
        const MemoryRegion writeWord[] = {low, high, watchedWord, loggedWriteWord, deviceWord};
        std::copy(std::begin(readByte), std::end(readByte), supervisorReadByte);
        std::copy(std::begin(readWord), std::end(readWord), supervisorReadWord);
        std::copy(std::begin(writeByte), std::end(writeByte), supervisorWriteByte);
        std::copy(std::begin(writeWord), std::end(writeWord), supervisorWriteWord);
        // User mode reaches neither the bottom of RAM nor the devices, as on the ST; the logged
        // block is read-only to it.
        const MemoryRegion userReadList[] = {lowForUser, high, loggedRead};
        const MemoryRegion userWriteByteList[] = {lowForUser, high, watchedByte};
        const MemoryRegion userWriteWordList[] = {lowForUser, high, watchedWord};
        std::copy(std::begin(userReadList), std::end(userReadList), userRead);
        std::copy(std::begin(userWriteByteList), std::end(userWriteByteList), userWriteByte);
        std::copy(std::begin(userWriteWordList), std::end(userWriteWordList), userWriteWord);

        Restart();
    }
    FuzzMachine(const FuzzMachine&) = delete;
    FuzzMachine& operator=(const FuzzMachine&) = delete;

    // A fresh processor and devices on the same memory map, for the next input.
    void Restart() {
        device = Device{};
        resetCounter = ResetCounter{0, &device};
        cpu = CpuState{};
        cpu.supervisorLists = {supervisorFetch, supervisorReadByte, supervisorReadWord,
                               supervisorWriteByte, supervisorWriteWord};
        cpu.userLists = {userFetch, userRead, userRead, userWriteByte, userWriteWord};
        cpu.currentLists = cpu.supervisorLists;
    }

    // Memory starts as a 1 KB tile of input-seeded noise, repeated: varied data for the code to
    // read, and cheap enough to lay down for every input.
    void Fill(uint32_t seed) {
        uint8_t tile[1024];
        uint32_t state = seed | 1;
        for (size_t offset = 0; offset < sizeof tile; offset += 4) {
            uint32_t value = NextRandom(state);
            std::memcpy(tile + offset, &value, sizeof value);
        }
        FillBlock(lowRam.get(), kLowRamBytes, tile, sizeof tile);
        FillBlock(highRam.get(), kHighRamBytes + kFetchGuardBytes, tile, sizeof tile);
        FillBlock(loggedRam.get(), kLoggedRamBytes, tile, sizeof tile);
    }
    static void FillBlock(uint8_t* block, size_t bytes, const uint8_t* tile, size_t tileBytes) {
        for (size_t offset = 0; offset < bytes; offset += tileBytes) {
            std::memcpy(block + offset, tile, std::min(tileBytes, bytes - offset));
        }
    }

    // The 68000's view of the blocks, for setting up the image.
    uint8_t* HostOf(uint32_t address) {
        if (address < kLowRamBytes) return &lowRam[address];
        if (address >= kHighRamLow && address < kHighRamLow + kHighRamBytes + kFetchGuardBytes) {
            return &highRam[address - kHighRamLow];
        }
        return nullptr;
    }
    void SetWord(uint32_t address, uint16_t value) { SetHostWord(HostOf(address), value); }
    void SetLong(uint32_t address, uint32_t value) {
        SetWord(address, static_cast<uint16_t>(value >> 16));
        SetWord(address + 2, static_cast<uint16_t>(value));
    }
};

void CheckAfterRun(const FuzzMachine& machine, uint32_t result, int32_t cycleCounterBefore) {
    const CpuState& cpu = machine.cpu;
    uint16_t sr = CpuStatusRegister(cpu);
    Require((sr & ~kValidStatusBits) == 0, "status register holds bits the 68000 lacks", sr);
    const ListSet& expected = (sr & kSrSupervisor) ? cpu.supervisorLists : cpu.userLists;
    Require(cpu.currentLists.fetch == expected.fetch &&
                cpu.currentLists.readWord == expected.readWord &&
                cpu.currentLists.writeByte == expected.writeByte,
            "current lists do not match the S bit", sr);
    Require((cpu.runFlags & kRunInProgress) == 0, "run still marked in progress", cpu.runFlags);
    Require(cpu.cycleCounter >= cycleCounterBefore, "cycle counter went backwards",
            static_cast<uint32_t>(cpu.cycleCounter));
    if (result == kCpuRunEnded) Require((cpu.pc & 1) == 0, "run ended with an odd PC", cpu.pc);
    if (result != kCpuRunEnded && result != kCpuHalted && result != kCpuLeftFetchRegions) {
        Require(result <= 0xFFFFFF, "unknown run result", result);
        Require(cpu.resetHook == nullptr, "RESET ended the run although a hook is installed",
                result);
    }
}

void PostInterruptFromInput(CpuState& cpu, uint8_t request) {
    int level = request & 7;
    if (level == 0) return;
    int vector = 0;
    bool inRange = true;
    switch ((request >> 3) & 3) {
        case 0:
            vector = -1;
            break;
        case 1:
            vector = -2;
            break;
        case 2:
            vector = 64 + (request >> 5);
            break;
        default:
            inRange = false;
            if (request & 0x20) level = 8;
            vector = (request & 0x40) ? 256 : -3;
            if (!(request & 0x60)) level = 0;
            break;
    }
    int answer = CpuPostInterrupt(cpu, level, vector);
    if (inRange)
        Require(answer == 0 || answer == 1, "in-range interrupt refused", request);
    else
        Require(answer == 2, "out-of-range interrupt accepted", request);
}

void TraceInput(const InputReader& input, uint32_t start, size_t codeWords) {
    std::fprintf(stderr, "d:");
    for (int reg = 0; reg < 8; ++reg)
        std::fprintf(stderr, " %08X", input.Long(kDataRegistersAt + reg * 4));
    std::fprintf(stderr, "\na:");
    for (int reg = 0; reg < 8; ++reg)
        std::fprintf(stderr, " %08X", input.Long(kAddressRegistersAt + reg * 4));
    std::fprintf(stderr, "\nother sp %08X sr %04X options %02X start %06X slices %d\ncode:",
                 input.Long(kOtherStackAt), input.Word(kStatusAt) & kValidStatusBits,
                 input.Byte(kOptionsAt), start, input.Byte(kSliceCountAt) % kMaxSlices + 1);
    for (size_t word = 0; word < codeWords && word < 64; ++word) {
        std::fprintf(stderr, " %04X", input.Word(kCodeAt + word * 2));
    }
    std::fprintf(stderr, "\n");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    CpuBuildDispatch();
    const char* trace = std::getenv("ORVET_FUZZ_TRACE");
    gTrace = trace && *trace && *trace != '0';
    const char* strict = std::getenv("ORVET_FUZZ_STRICT_BUS_TIME");
    if (strict && *strict && *strict != '0') gBusTimeSlack = 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const InputReader input(data, size);
    // One machine for the whole run: its blocks keep their exact sizes, and rebuilding it per
    // input would cost more than most inputs take to run.
    static FuzzMachine* const machine = new FuzzMachine;
    gCpu = &machine->cpu;
    machine->Restart();
    machine->Fill(input.Long(kFillSeedAt));
    CpuState& cpu = machine->cpu;
    const uint8_t options = input.Byte(kOptionsAt);

    machine->device.random = input.Long(kDeviceSeedAt) | 1;
    machine->device.actions = (options & kOptionDeviceActions) != 0;

    const uint32_t start = kStartAddresses[options & kOptionStartMask];
    machine->SetLong(0, input.Long(kAddressRegistersAt + 7 * 4));
    machine->SetLong(4, start);
    if (!(options & kOptionRandomVectors)) {
        for (uint32_t vector = 2; vector < 256; ++vector)
            machine->SetLong(vector * 4, kExceptionHandler);
        machine->SetWord(kExceptionHandler, kReturnFromException);
    }
    // The code runs on into the fetch guard, as far as the host block goes.
    size_t codeWords = input.CodeWords();
    for (size_t word = 0; word < codeWords; ++word) {
        uint8_t* host = machine->HostOf(start + static_cast<uint32_t>(word * 2));
        if (!host) break;
        SetHostWord(host, input.Word(kCodeAt + word * 2));
    }
    if (gTrace) TraceInput(input, start, codeWords);

    if (options & kOptionResetHook) {
        cpu.resetHook = ResetDevices;
        cpu.resetHookContext = &machine->resetCounter;
    }
    cpu.cycleCounter = static_cast<int32_t>(input.Long(kCycleCounterAt) & 0x3FFFFFFF) - 0x20000000;
    if (options & kOptionStartByReset) {
        Require(CpuReset(cpu) == 0, "reset refused with a valid reset vector");
    } else {
        for (int reg = 0; reg < 8; ++reg) {
            cpu.d[reg] = input.Long(kDataRegistersAt + reg * 4);
            cpu.a[reg] = input.Long(kAddressRegistersAt + reg * 4);
        }
        cpu.otherStackPointer = input.Long(kOtherStackAt);
        cpu.sr = input.Word(kStatusAt) & kValidStatusBits;
        cpu.currentLists = (cpu.sr & kSrSupervisor) ? cpu.supervisorLists : cpu.userLists;
        cpu.pc = start;
    }

    const int slices = input.Byte(kSliceCountAt) % kMaxSlices + 1;
    int resets = 0;
    for (int slice = 0; slice < slices; ++slice) {
        PostInterruptFromInput(cpu, input.Byte(kInterruptsAt + slice));
        if (options & kOptionServiceBetweenRuns) CpuServiceInterrupts(cpu);
        const int32_t cycleCounterBefore = cpu.cycleCounter;
        const int32_t cycles = input.Byte(kSliceLengthsAt + slice) * 8;
        const uint32_t result = CpuExecute(cpu, cycles);
        if (gTrace) {
            std::fprintf(stderr, "slice %d: %d cycles -> %08X, pc %08X sr %04X, %d cycles run\n",
                         slice, cycles, result, cpu.pc, CpuStatusRegister(cpu),
                         cpu.cycleCounter - cycleCounterBefore);
        }
        CheckAfterRun(*machine, result, cycleCounterBefore);
        if (options & kOptionDebuggerAccess) {
            (void)CpuPeekWord(cpu, cpu.a[0]);
            CpuPokeByte(cpu, cpu.a[1], static_cast<uint8_t>(cpu.d[0]));
        }
        if (result == kCpuHalted || result == kCpuLeftFetchRegions) {
            if (++resets > kMaxResets || CpuReset(cpu) != 0) break;
        }
    }
    return 0;
}
