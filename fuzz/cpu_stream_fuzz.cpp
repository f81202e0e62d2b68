// libFuzzer target: a random 68000 instruction stream run in long slices, its prefetched opcode
// carried along, must end exactly as when each instruction runs in a slice of its own (the
// property and the machine of tests/cpu/instruction_streams.h). A difference aborts with the
// start state, the steps and the first differing field.
//
// Input layout (choices past the end of the input come from a generator seeded by the whole
// input, so every input makes a full stream):
//   0        options: bit 0, the code's first words are the input's own words from byte 128 on
//   1-127    the choices of the start state: registers, SR, stacks, vectors, pending interrupts,
//            the device, where the code starts; a 0 byte picks the plainest option
//   128-     the choices that draw the instructions, or with bit 0 the words themselves,
//            big-endian, followed by drawn instructions
//
// ORVET_FUZZ_TRACE=1 prints every slice of both runs.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "instruction_streams.h"

namespace {

using namespace orvet::test::streams;

constexpr size_t kStateAt = 1;
constexpr size_t kCodeAt = 128;
constexpr uint8_t kOptionLiteralCode = 1;
constexpr size_t kMaxLiteralWords = (kHandlerCode - kCodeStart) / 2;

uint64_t HashOf(const uint8_t* data, size_t size) {
    uint64_t hash = 0xCBF29CE484222325ull;
    for (size_t index = 0; index < size; ++index) hash = (hash ^ data[index]) * 0x100000001B3ull;
    return hash;
}

StreamChecker* gChecker = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    gChecker = new StreamChecker;
    const char* trace = std::getenv("ORVET_FUZZ_TRACE");
    gChecker->setTrace(trace && *trace && *trace != '0');
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> input(data, size);
    const uint64_t seed = HashOf(data, size);
    const uint8_t options = size > 0 ? data[0] : 0;
    const auto state =
        input.subspan(std::min(kStateAt, size), std::min(kCodeAt, size) - std::min(kStateAt, size));
    const auto code = input.subspan(std::min(kCodeAt, size));

    Choices stateChoices(state, seed);
    std::vector<uint16_t> literal;
    Choices codeChoices(std::span<const uint8_t>{}, ~seed);
    if (options & kOptionLiteralCode) {
        for (size_t at = 0; at + 1 < code.size() && literal.size() < kMaxLiteralWords; at += 2) {
            literal.push_back(static_cast<uint16_t>(code[at] << 8 | code[at + 1]));
        }
    } else {
        codeChoices = Choices(code, ~seed);
    }
    // One case for the whole run: its memory images are reused from input to input.
    static StreamCase* const stream = new StreamCase;
    GenerateCase(stateChoices, codeChoices, literal, *stream);
    const StreamVerdict verdict = gChecker->check(*stream);
    if (!verdict.agree) {
        std::fprintf(stderr, "orvet_cpu_stream_fuzz: %s", verdict.report.c_str());
        std::abort();
    }
    return 0;
}
