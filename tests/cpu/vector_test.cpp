// Runs the single-instruction 68000 vectors through the core. Each vector gives the registers and
// the memory bytes an instruction sees, and what they hold once it has run; one test per file.
//
// Environment:
//   ORVET_TESTDATA=DIR          the folder that holds cpu68000/ (default: shared/testdata beside
//                               the repository)
//   ORVET_VECTOR_FILTER=NAME    run only the file NAME (e.g. "ADD.l"; a prefix such as "ADD" runs
//                               every file it starts), print every failure and every cycle
//                               disagreement, and check for stray writes after each vector

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "cpu/cpu.h"

namespace {

using nlohmann::json;
using namespace orvet;

static_assert(
    std::endian::native == std::endian::little,
    "the core's byte order trick (68000 byte A is host byte A^1) needs a little-endian host");

constexpr uint32_t kAddressMask = 0xFFFFFF;
constexpr uint32_t kMemorySize = 0x1000000;
constexpr int kFailuresShownPerFile = 5;

constexpr uint16_t kFlagCarry = 0x01;
constexpr uint16_t kFlagOverflow = 0x02;
constexpr uint16_t kFlagZero = 0x04;
constexpr uint16_t kFlagNegative = 0x08;
constexpr uint16_t kFlagExtend = 0x10;

// ---- Differences the harness excuses ----------------------------------------------------------
//
// Nothing but the rows below: registers, SR, PC and every memory byte are compared, exception
// frames included (a bus or address error's 14 bytes as much as any other).
//
// Condition codes the 68000 leaves undefined. The vectors hold what their reference
// implementation chose; Orvet sets these bits its own way. The masked bits are ignored in the final
// SR and in the SR stacked by an exception the instruction takes.
enum class ExcuseWhen {
    kAlways,
    kFinalOverflowSet,  // only when the vector's final SR has V set
    kNoException,       // only when the instruction took no exception
    kNegativeShiftedPastSize,  // a negative register shifted by a count above its size
};

struct Excuse {
    const char* operation;   // the file name up to its first '.', e.g. "DIVS" for DIVS.json.gz
    uint16_t ignoredSrBits;  // condition code bits not compared
    ExcuseWhen when;
    const char* reason;
};

// Edit this table to change what is excused; each row must say why. Several rows may name the
// same operation: the bits of every row whose condition holds are ignored together.
constexpr Excuse kExcuses[] = {
    {"ABCD", kFlagNegative | kFlagOverflow, ExcuseWhen::kAlways,
     "BCD arithmetic leaves N and V undefined"},
    {"SBCD", kFlagNegative | kFlagOverflow, ExcuseWhen::kAlways,
     "BCD arithmetic leaves N and V undefined"},
    {"NBCD", kFlagNegative | kFlagOverflow, ExcuseWhen::kAlways,
     "BCD arithmetic leaves N and V undefined"},
    {"CHK", kFlagZero | kFlagOverflow | kFlagCarry, ExcuseWhen::kAlways,
     "CHK leaves Z, V and C undefined"},
    {"CHK", kFlagNegative, ExcuseWhen::kNoException,
     "CHK defines N only when it traps (set below zero, cleared above the bound)"},
    {"DIVS", kFlagNegative | kFlagZero, ExcuseWhen::kFinalOverflowSet,
     "a DIVS overflow leaves N and Z undefined"},
    {"DIVU", kFlagNegative | kFlagZero, ExcuseWhen::kFinalOverflowSet,
     "a DIVU overflow leaves N and Z undefined"},
    {"ASR", kFlagExtend | kFlagCarry, ExcuseWhen::kNegativeShiftedPastSize,
     "once the count passes the size, every further step of ASR shifts out a copy of the sign, "
     "so Orvet's C and X are the sign bit; the vectors' reference gives 0 there (and the sign "
     "when the count equals the size)"},
};

// The condition code bits the excuses let differ in this vector's final SR.
uint16_t IgnoredSrBits(std::string_view operation, uint16_t expectedSr, bool exceptionTaken,
                       bool negativeShiftedPastSize) {
    uint16_t ignored = 0;
    for (const Excuse& excuse : kExcuses) {
        if (operation != excuse.operation) continue;
        const bool applies =
            excuse.when == ExcuseWhen::kAlways ||
            (excuse.when == ExcuseWhen::kFinalOverflowSet && (expectedSr & kFlagOverflow) != 0) ||
            (excuse.when == ExcuseWhen::kNoException && !exceptionTaken) ||
            (excuse.when == ExcuseWhen::kNegativeShiftedPastSize && negativeShiftedPastSize);
        if (applies) ignored |= excuse.ignoredSrBits;
    }
    return ignored;
}

// ---- The vectors ------------------------------------------------------------------------------

struct ProcessorState {
    uint32_t d[8] = {};
    uint32_t a[7] = {};
    uint32_t usp = 0;
    uint32_t ssp = 0;
    uint16_t sr = 0;
    uint32_t pc = 0;
    uint16_t prefetch[2] = {};
    std::vector<std::pair<uint32_t, uint8_t>> ram;
};

struct BusAccess {
    uint32_t address;
    uint32_t byteCount;
};

struct TestVector {
    std::string name;
    ProcessorState initial;
    ProcessorState final;
    uint32_t length = 0;
    std::vector<BusAccess> busAccesses;
};

struct VectorFormatError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string ReadGzipFile(const std::filesystem::path& path) {
    // The vector files are a few hundred kilobytes unpacked; anything far larger is not one.
    constexpr size_t kLargestAccepted = 256u << 20;
    gzFile file = gzopen(path.c_str(), "rb");
    if (file == nullptr) throw VectorFormatError("cannot open " + path.string());
    std::string text;
    char buffer[1 << 16];
    for (;;) {
        const int count = gzread(file, buffer, sizeof buffer);
        if (count < 0) {
            int errorNumber = 0;
            std::string message = gzerror(file, &errorNumber);
            gzclose(file);
            throw VectorFormatError(path.string() + ": cannot decompress: " + message);
        }
        if (count == 0) break;
        text.append(buffer, static_cast<size_t>(count));
        if (text.size() > kLargestAccepted) {
            gzclose(file);
            throw VectorFormatError(path.string() + ": more than 256 MB once decompressed");
        }
    }
    gzclose(file);
    return text;
}

uint64_t UnsignedField(const json& value, std::string_view what, uint64_t largest) {
    if (!value.is_number_unsigned()) {
        throw VectorFormatError(std::string(what) + " is not a non-negative integer");
    }
    const auto number = value.get<uint64_t>();
    if (number > largest) throw VectorFormatError(std::string(what) + " is out of range");
    return number;
}

uint64_t UnsignedMember(const json& object, const char* key, uint64_t largest) {
    const auto found = object.find(key);
    if (found == object.end()) throw VectorFormatError(std::string("missing \"") + key + "\"");
    return UnsignedField(*found, key, largest);
}

const json& ArrayMember(const json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_array()) {
        throw VectorFormatError(std::string("\"") + key + "\" is missing or not a list");
    }
    return *found;
}

ProcessorState ParseProcessorState(const json& object) {
    if (!object.is_object()) throw VectorFormatError("a processor state is not an object");
    ProcessorState state;
    for (int index = 0; index < 8; ++index) {
        const std::string key = "d" + std::to_string(index);
        state.d[index] = static_cast<uint32_t>(UnsignedMember(object, key.c_str(), 0xFFFFFFFF));
    }
    for (int index = 0; index < 7; ++index) {
        const std::string key = "a" + std::to_string(index);
        state.a[index] = static_cast<uint32_t>(UnsignedMember(object, key.c_str(), 0xFFFFFFFF));
    }
    state.usp = static_cast<uint32_t>(UnsignedMember(object, "usp", 0xFFFFFFFF));
    state.ssp = static_cast<uint32_t>(UnsignedMember(object, "ssp", 0xFFFFFFFF));
    state.sr = static_cast<uint16_t>(UnsignedMember(object, "sr", 0xFFFF));
    state.pc = static_cast<uint32_t>(UnsignedMember(object, "pc", 0xFFFFFFFF));
    const json& prefetch = ArrayMember(object, "prefetch");
    if (prefetch.size() != 2) throw VectorFormatError("\"prefetch\" does not hold two words");
    for (size_t index = 0; index < 2; ++index) {
        state.prefetch[index] =
            static_cast<uint16_t>(UnsignedField(prefetch[index], "prefetch", 0xFFFF));
    }
    for (const json& pair : ArrayMember(object, "ram")) {
        if (!pair.is_array() || pair.size() != 2) {
            throw VectorFormatError("a \"ram\" entry is not an [address, byte] pair");
        }
        state.ram.emplace_back(
            static_cast<uint32_t>(UnsignedField(pair[0], "ram address", kAddressMask)),
            static_cast<uint8_t>(UnsignedField(pair[1], "ram byte", 0xFF)));
    }
    return state;
}

TestVector ParseVector(const json& object) {
    if (!object.is_object()) throw VectorFormatError("the entry is not an object");
    TestVector vector;
    const auto name = object.find("name");
    if (name == object.end() || !name->is_string()) throw VectorFormatError("missing \"name\"");
    vector.name = name->get<std::string>();
    try {
        const auto initial = object.find("initial");
        const auto final = object.find("final");
        if (initial == object.end() || final == object.end()) {
            throw VectorFormatError("missing \"initial\" or \"final\"");
        }
        vector.initial = ParseProcessorState(*initial);
        vector.final = ParseProcessorState(*final);
        vector.length = static_cast<uint32_t>(UnsignedMember(object, "length", 1'000'000));
        for (const json& transaction : ArrayMember(object, "transactions")) {
            // [kind, cycles, function code, address, size, value]; idle cycles are [kind, cycles].
            if (!transaction.is_array() || transaction.empty() || !transaction[0].is_string()) {
                throw VectorFormatError("a transaction is not a list starting with its kind");
            }
            if (transaction[0] == "n") continue;
            if (transaction.size() < 5 || !transaction[4].is_string()) {
                throw VectorFormatError("a bus transaction lacks its address or size");
            }
            const auto address = static_cast<uint32_t>(
                UnsignedField(transaction[3], "transaction address", 0xFFFFFFFF));
            vector.busAccesses.push_back({address, transaction[4] == ".l" ? 4u : 2u});
        }
    } catch (const VectorFormatError& error) {
        throw VectorFormatError("\"" + vector.name + "\": " + error.what());
    }
    return vector;
}

std::vector<TestVector> LoadVectorFile(const std::filesystem::path& path) {
    json document;
    try {
        document = json::parse(ReadGzipFile(path));
    } catch (const json::exception& error) {
        throw VectorFormatError(path.string() + ": not valid JSON: " + error.what());
    }
    if (!document.is_array()) throw VectorFormatError(path.string() + ": not a list of vectors");
    std::vector<TestVector> vectors;
    vectors.reserve(document.size());
    for (size_t index = 0; index < document.size(); ++index) {
        try {
            vectors.push_back(ParseVector(document[index]));
        } catch (const std::exception& error) {
            throw VectorFormatError(path.string() + ": vector " + std::to_string(index) + " " +
                                    error.what());
        }
    }
    return vectors;
}

// ---- Where the files are ----------------------------------------------------------------------

std::filesystem::path VectorFolder() {
    const char* overridden = std::getenv("ORVET_TESTDATA");
    const std::filesystem::path testData =
        overridden != nullptr && *overridden != '\0' ? overridden : ORVET_TESTDATA_DIR;
    return testData / "cpu68000";
}

std::string VectorFilter() {
    const char* filter = std::getenv("ORVET_VECTOR_FILTER");
    return filter != nullptr ? filter : "";
}

std::string FileStem(const std::filesystem::path& path) {
    std::string name = path.filename().string();
    constexpr std::string_view kSuffix = ".json.gz";
    if (name.ends_with(kSuffix)) name.resize(name.size() - kSuffix.size());
    return name;
}

// The vector files to run, sorted by name: all of them, or those ORVET_VECTOR_FILTER names.
std::vector<std::string> SelectedVectorFiles() {
    std::vector<std::string> stems;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(VectorFolder(), error)) {
        if (entry.path().filename().string().ends_with(".json.gz"))
            stems.push_back(FileStem(entry.path()));
    }
    std::sort(stems.begin(), stems.end());
    const std::string filter = VectorFilter();
    if (filter.empty()) return stems;
    if (std::find(stems.begin(), stems.end(), filter) != stems.end()) return {filter};
    std::erase_if(stems, [&](const std::string& stem) { return !stem.starts_with(filter); });
    return stems;
}

// ---- A flat 16 MB machine ---------------------------------------------------------------------

class FlatMachine {
public:
    FlatMachine() : storage_(new uint64_t[(kMemorySize + kFetchGuardBytes + 7) / 8]()) {
        host_ = reinterpret_cast<uint8_t*>(storage_.get());
        dataRegions_[0] = MemoryRegion{0, kAddressMask, nullptr, nullptr, host_, nullptr};
        fetchRegions_[0] = FetchRegion{0, kAddressMask, FetchDisplacement(host_, 0)};
        lists_ = ListSet{fetchRegions_, dataRegions_, dataRegions_, dataRegions_, dataRegions_};
    }

    const ListSet& Lists() const { return lists_; }

    // The 68000 byte at A lives at host byte A^1: a 68000 word is one host-order uint16.
    void SetByte(uint32_t address, uint8_t value) { host_[(address & kAddressMask) ^ 1] = value; }
    uint8_t Byte(uint32_t address) const { return host_[(address & kAddressMask) ^ 1]; }
    void SetWord(uint32_t address, uint16_t value) {
        SetByte(address, static_cast<uint8_t>(value >> 8));
        SetByte(address + 1, static_cast<uint8_t>(value));
    }

    // Addresses of non-zero bytes, at most `limit` of them, each cleared.
    std::vector<uint32_t> TakeNonZeroBytes(size_t limit) {
        std::vector<uint32_t> found;
        const uint64_t* words = storage_.get();
        for (size_t index = 0; index < kMemorySize / 8; ++index) {
            if (words[index] == 0) continue;
            for (uint32_t host = static_cast<uint32_t>(index * 8); host < index * 8 + 8; ++host) {
                if (host_[host] != 0 && found.size() < limit) found.push_back(host ^ 1);
            }
            storage_[index] = 0;
        }
        std::sort(found.begin(), found.end());
        return found;
    }

private:
    std::unique_ptr<uint64_t[]> storage_;
    uint8_t* host_ = nullptr;
    MemoryRegion dataRegions_[2];  // the second entry, left default, ends the list
    FetchRegion fetchRegions_[2];
    ListSet lists_;
};

// ---- Running one vector -----------------------------------------------------------------------

struct Difference {
    std::string field;
    uint32_t expected;
    uint32_t got;
    int hexDigits;
};

struct VectorOutcome {
    bool passed = false;
    bool excused = false;  // passed only because an excuse hid a difference
    bool cyclesAgree = false;
    int32_t cycles = 0;
    uint32_t runResult = kCpuRunEnded;
    std::vector<Difference> differences;
    std::vector<Difference> excusedDifferences;
};

std::optional<uint8_t> InitialByte(const TestVector& vector, uint32_t address) {
    for (const auto& [ramAddress, value] : vector.initial.ram) {
        if (ramAddress == (address & kAddressMask)) return value;
    }
    return std::nullopt;
}

// A register shift by a count held in a data register (1110 ccc d ss 1 00 rrr), of a negative
// operand, by more places than the operand has bits.
bool NegativeShiftedPastSize(const TestVector& vector) {
    const uint16_t opcode = vector.initial.prefetch[0];
    if ((opcode & 0xF000) != 0xE000 || (opcode & 0x00C0) == 0x00C0 || !(opcode & 0x0020)) {
        return false;
    }
    const unsigned bits = 8u << ((opcode >> 6) & 3);
    const uint32_t count = vector.initial.d[(opcode >> 9) & 7] & 63;
    const uint32_t operand = vector.initial.d[opcode & 7];
    return count > bits && ((operand >> (bits - 1)) & 1) != 0;
}

// The field of an exception frame that the byte at `offset` from the new SSP belongs to, or
// nullptr past the frame.
const char* FrameField(bool group0, uint32_t offset) {
    if (!group0) return offset < 2 ? "SR" : offset < 6 ? "PC" : nullptr;
    if (offset < 2) return "access word";
    if (offset < 6) return "fault address";
    if (offset < 8) return "instruction register";
    if (offset < 10) return "SR";
    return offset < 14 ? "PC" : nullptr;
}

// The exception vector the instruction went through, recognised by its table entry having been
// read (it is in the initial memory list) and holding the final PC; -1 when none was taken.
int ExceptionTaken(const TestVector& vector) {
    if ((vector.final.sr & kSrSupervisor) == 0) return -1;
    for (int number = 2; number < 256; ++number) {
        uint32_t handler = 0;
        bool present = true;
        for (uint32_t offset = 0; offset < 4 && present; ++offset) {
            const auto byte = InitialByte(vector, number * 4 + offset);
            present = byte.has_value();
            handler = handler << 8 | byte.value_or(0);
        }
        if (present && handler == vector.final.pc) return number;
    }
    return -1;
}

std::string Hex(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "$%0*" PRIX32, digits, value);
    return text;
}

void ClearVectorMemory(FlatMachine& machine, const TestVector& vector) {
    for (uint32_t offset = 0; offset < 4; ++offset) machine.SetByte(vector.initial.pc + offset, 0);
    for (const auto& [address, value] : vector.initial.ram) machine.SetByte(address, 0);
    for (const auto& [address, value] : vector.final.ram) machine.SetByte(address, 0);
    for (const BusAccess& access : vector.busAccesses) {
        for (uint32_t offset = 0; offset < access.byteCount; ++offset) {
            machine.SetByte((access.address & ~1u) + offset, 0);
        }
    }
}

void IgnoreReset(CpuState&, void*) {}

VectorOutcome RunVector(FlatMachine& machine, const TestVector& vector,
                        std::string_view operation) {
    const ProcessorState& initial = vector.initial;
    const ProcessorState& expected = vector.final;

    machine.SetWord(initial.pc, initial.prefetch[0]);
    machine.SetWord(initial.pc + 2, initial.prefetch[1]);
    for (const auto& [address, value] : initial.ram) machine.SetByte(address, value);

    CpuState cpu;
    cpu.supervisorLists = machine.Lists();
    cpu.userLists = machine.Lists();
    cpu.currentLists = machine.Lists();
    cpu.resetHook = IgnoreReset;
    std::copy(std::begin(initial.d), std::end(initial.d), cpu.d);
    std::copy(std::begin(initial.a), std::end(initial.a), cpu.a);
    const bool startsSupervisor = (initial.sr & kSrSupervisor) != 0;
    cpu.a[7] = startsSupervisor ? initial.ssp : initial.usp;
    cpu.otherStackPointer = startsSupervisor ? initial.usp : initial.ssp;
    cpu.sr = initial.sr;
    cpu.pc = initial.pc;
    cpu.cycleCounter = 0;

    VectorOutcome outcome;
    // A slice of 4 cycles runs exactly one instruction.
    outcome.runResult = CpuExecute(cpu, 4);
    outcome.cycles = cpu.cycleCounter;
    outcome.cyclesAgree = outcome.cycles == static_cast<int32_t>((vector.length + 3) & ~3u);

    auto compare = [&](std::string field, uint32_t want, uint32_t got, int digits,
                       uint32_t ignoredBits = 0) {
        if (((want ^ got) & ~ignoredBits) != 0) {
            outcome.differences.push_back({std::move(field), want, got, digits});
        } else if (want != got) {
            outcome.excusedDifferences.push_back({std::move(field), want, got, digits});
        }
    };

    if (outcome.runResult == kCpuHalted)
        outcome.differences.push_back({"run result (halted)", kCpuRunEnded, outcome.runResult, 8});

    for (int index = 0; index < 8; ++index)
        compare("D" + std::to_string(index), expected.d[index], cpu.d[index], 8);
    for (int index = 0; index < 7; ++index)
        compare("A" + std::to_string(index), expected.a[index], cpu.a[index], 8);
    const bool endsSupervisor = (cpu.sr & kSrSupervisor) != 0;
    compare("USP", expected.usp, endsSupervisor ? cpu.otherStackPointer : cpu.a[7], 8);
    compare("SSP", expected.ssp, endsSupervisor ? cpu.a[7] : cpu.otherStackPointer, 8);
    const int exception = ExceptionTaken(vector);
    const uint16_t ignoredSrBits = IgnoredSrBits(operation, expected.sr, exception >= 0,
                                                 NegativeShiftedPastSize(vector));
    compare("SR", expected.sr, cpu.sr, 4, ignoredSrBits);
    compare("PC", expected.pc, cpu.pc, 8);

    // Every byte is compared, exception frames included; the bytes of a frame are named by
    // their field, and the stacked SR's undefined condition codes are excused like the final SR's.
    const bool group0 = exception == 2 || exception == 3;
    const uint32_t frameBase = expected.ssp & kAddressMask;
    const uint32_t stackedSrLowByte = (frameBase + (group0 ? 9 : 1)) & kAddressMask;
    for (const auto& [address, value] : expected.ram) {
        const uint32_t got = machine.Byte(address);
        const uint32_t offset = (address - frameBase) & kAddressMask;
        const char* field = exception < 0 ? nullptr : FrameField(group0, offset);
        const std::string name = field != nullptr
                                     ? std::string("frame ") + field + " byte " + Hex(address, 6)
                                     : "byte " + Hex(address, 6);
        const bool stackedSr = exception >= 0 && address == stackedSrLowByte;
        compare(name, value, got, 2, stackedSr ? ignoredSrBits : 0);
    }

    outcome.passed = outcome.differences.empty();
    outcome.excused = outcome.passed && !outcome.excusedDifferences.empty();
    ClearVectorMemory(machine, vector);
    return outcome;
}

// ---- Reporting --------------------------------------------------------------------------------

struct Tally {
    int vectors = 0;
    int passed = 0;
    int excused = 0;
    int cyclesAgree = 0;
    int files = 0;
    int filesPassing = 0;
};

Tally& GrandTally() {
    static Tally tally;
    return tally;
}

const char* WhenText(ExcuseWhen when) {
    switch (when) {
        case ExcuseWhen::kAlways:
            return "";
        case ExcuseWhen::kFinalOverflowSet:
            return " when V ends set";
        case ExcuseWhen::kNoException:
            return " when no exception is taken";
        case ExcuseWhen::kNegativeShiftedPastSize:
            return " when a negative register is shifted by more than its size";
    }
    return "";
}

// What the per-file lines below mean, printed once before the first file runs.
void PrintVectorHeader() {
    std::printf("68000 vectors from %s\n", VectorFolder().c_str());
    std::printf(
        "Excused differences (a vector passes with them; \"excused\" counts those it hid):\n");
    for (const Excuse& excuse : kExcuses) {
        std::printf("  %s: SR bits %s ignored%s: %s\n", excuse.operation,
                    Hex(excuse.ignoredSrBits, 4).c_str(), WhenText(excuse.when), excuse.reason);
    }
    std::printf(
        "Cycles are compared with the 68000's count rounded up to a multiple of 4 and never "
        "fail a test.\n");
    std::fflush(stdout);
}

class VectorTotals : public ::testing::Environment {
public:
    void TearDown() override {
        const Tally& tally = GrandTally();
        if (tally.files < 2) return;
        std::printf(
            "TOTAL: passed %d of %d (excused %d), cycles agree %d; files passing %d of %d\n",
            tally.passed, tally.vectors, tally.excused, tally.cyclesAgree, tally.filesPassing,
            tally.files);
        std::fflush(stdout);
    }
};

[[maybe_unused]] const ::testing::Environment* const kVectorTotals =
    ::testing::AddGlobalTestEnvironment(new VectorTotals);

std::string DescribeDifferences(const TestVector& vector,
                                const std::vector<Difference>& differences) {
    std::string text = "  \"" + vector.name + "\":";
    for (const Difference& difference : differences) {
        text += " " + difference.field + " expected " +
                Hex(difference.expected, difference.hexDigits) + " got " +
                Hex(difference.got, difference.hexDigits) + ";";
    }
    return text + "\n";
}

std::string DescribeStrayWrites(const std::vector<uint32_t>& addresses, const std::string& where) {
    std::string text = "  memory written outside the bytes the vectors list (" + where + "):";
    for (const uint32_t address : addresses) text += " " + Hex(address, 6);
    return text + "\n";
}

// ---- The tests --------------------------------------------------------------------------------

class CpuVectorFile : public ::testing::TestWithParam<std::string> {
protected:
    static void SetUpTestSuite() {
        CpuBuildDispatch();
        PrintVectorHeader();
    }
};

TEST_P(CpuVectorFile, MatchesThe68000) {
    const std::string stem = GetParam();
    const bool debugging = !VectorFilter().empty();
    std::vector<TestVector> vectors;
    try {
        vectors = LoadVectorFile(VectorFolder() / (stem + ".json.gz"));
    } catch (const std::exception& error) {
        FAIL() << error.what();
    }
    const std::string operation = stem.substr(0, stem.find('.'));

    static FlatMachine machine;
    Tally fileTally;
    int failures = 0;
    int leftFetchRegions = 0;
    std::string report;
    for (const TestVector& vector : vectors) {
        const VectorOutcome outcome = RunVector(machine, vector, operation);
        ++fileTally.vectors;
        fileTally.passed += outcome.passed;
        fileTally.excused += outcome.excused;
        fileTally.cyclesAgree += outcome.cyclesAgree;
        leftFetchRegions += outcome.runResult == kCpuLeftFetchRegions;
        if (!outcome.passed && (debugging || ++failures <= kFailuresShownPerFile)) {
            report += DescribeDifferences(vector, outcome.differences);
        }
        if (debugging && outcome.excused) {
            std::printf("  excused%s",
                        DescribeDifferences(vector, outcome.excusedDifferences).c_str() + 1);
        }
        if (debugging && !outcome.cyclesAgree) {
            std::printf(
                "  cycles \"%s\": expected %" PRIu32 " (68000: %" PRIu32 ") got %" PRId32 "\n",
                vector.name.c_str(), (vector.length + 3) & ~3u, vector.length, outcome.cycles);
        }
        if (debugging && outcome.runResult != kCpuRunEnded) {
            std::printf("  run result \"%s\": %s\n", vector.name.c_str(),
                        Hex(outcome.runResult, 8).c_str());
        }
        if (debugging) {
            const auto stray = machine.TakeNonZeroBytes(16);
            if (!stray.empty()) {
                ++failures;
                report += DescribeStrayWrites(stray, "after \"" + vector.name + "\"");
            }
        }
    }
    // Every byte the vectors touched has been cleared again; anything left was written by the core
    // where the 68000 did not write.
    const auto stray = machine.TakeNonZeroBytes(16);
    if (!stray.empty()) {
        report += DescribeStrayWrites(
            stray, "somewhere in this file; ORVET_VECTOR_FILTER=" + stem + " finds the vector");
    }
    if (failures > kFailuresShownPerFile && !debugging) {
        report += "  ... and " + std::to_string(failures - kFailuresShownPerFile) +
                  " more (run with ORVET_VECTOR_FILTER=" + stem + " to see all)\n";
    }

    std::printf("%s: passed %d of %d (excused %d), cycles agree %d", stem.c_str(), fileTally.passed,
                fileTally.vectors, fileTally.excused, fileTally.cyclesAgree);
    if (leftFetchRegions != 0) std::printf(", left fetch regions %d", leftFetchRegions);
    std::printf("\n");
    std::fflush(stdout);

    Tally& grand = GrandTally();
    grand.vectors += fileTally.vectors;
    grand.passed += fileTally.passed;
    grand.excused += fileTally.excused;
    grand.cyclesAgree += fileTally.cyclesAgree;
    grand.files += 1;
    const bool filePasses =
        fileTally.passed == fileTally.vectors && stray.empty() && report.empty();
    grand.filesPassing += filePasses;

    EXPECT_TRUE(filePasses) << stem << ": " << fileTally.vectors - fileTally.passed << " of "
                            << fileTally.vectors << " vectors differ\n"
                            << report;
}

std::string TestNameFor(const ::testing::TestParamInfo<std::string>& info) {
    std::string name = info.param;
    for (char& character : name) {
        if (!std::isalnum(static_cast<unsigned char>(character))) character = '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Vectors, CpuVectorFile, ::testing::ValuesIn(SelectedVectorFiles()),
                         TestNameFor);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CpuVectorFile);

// Without this a missing data folder would pass as "no tests".
TEST(CpuVectorData, FilesArePresent) {
    const auto files = SelectedVectorFiles();
    if (VectorFilter().empty()) {
        EXPECT_FALSE(files.empty()) << "no *.json.gz vector files in " << VectorFolder()
                                    << " (set ORVET_TESTDATA to the folder that holds cpu68000/)";
    } else {
        EXPECT_FALSE(files.empty())
            << "ORVET_VECTOR_FILTER=" << VectorFilter() << " names no file in " << VectorFolder();
    }
}

}  // namespace
