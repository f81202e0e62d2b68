// Random instruction streams run in long slices, the prefetched opcode carried between
// instructions and slices, must end exactly as when each instruction runs in a slice of its own
// and fetches its opcode from memory (see instruction_streams.h).
//
// ORVET_STREAM_SEED=N and ORVET_STREAMS=COUNT choose other streams; a failure names the seed
// that reruns the failing stream alone.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "instruction_streams.h"

namespace orvet::test::streams {
namespace {

constexpr uint64_t kDefaultSeed = 0x5EED0001;
constexpr int kDefaultStreams = 10000;

uint64_t FromEnvironment(const char* name, uint64_t fallback) {
    const char* text = std::getenv(name);
    return text && *text ? std::strtoull(text, nullptr, 0) : fallback;
}

StreamCase StreamOfSeed(uint64_t seed) {
    Choices state(seed);
    Choices code(~seed);
    return GenerateCase(state, code);
}

TEST(InstructionStreams, SlicedRunsEndAsOneInstructionPerSlice) {
    const uint64_t seed = FromEnvironment("ORVET_STREAM_SEED", kDefaultSeed);
    const auto count = static_cast<int>(FromEnvironment("ORVET_STREAMS", kDefaultStreams));
    StreamChecker checker;
    int failures = 0;
    for (int index = 0; index < count && failures < 3; ++index) {
        const uint64_t streamSeed = seed + static_cast<uint64_t>(index);
        const StreamVerdict verdict = checker.check(StreamOfSeed(streamSeed));
        if (!verdict.agree) {
            ++failures;
            ADD_FAILURE() << "stream " << index << " (ORVET_STREAM_SEED=0x" << std::hex
                          << streamSeed << " ORVET_STREAMS=1 reruns it alone)\n"
                          << verdict.report;
        }
    }
    std::printf("%s\n", checker.totals.summary().c_str());

    // The default streams must reach what they are there to test.
    if (count < kDefaultStreams) return;
    for (int kind = 0; kind < kExceptionKinds; ++kind) {
        EXPECT_GT(checker.totals.exceptions[kind], 0u)
            << "no stream took a " << ExceptionName(static_cast<ExceptionKind>(kind));
    }
    EXPECT_GT(checker.totals.cutBySelfModification, 0u);
    EXPECT_GT(checker.totals.stopped, 0u);
    EXPECT_GT(checker.totals.halted, 0u);
    EXPECT_GT(checker.totals.leftFetchRegions, 0u);
    EXPECT_GT(checker.totals.slices, checker.totals.streams);
}

// Streams written by hand: faults the random streams once found, and the one place where the two
// runs may rightly part.
TEST(InstructionStreams, NamedStreams) {
    // Each starts in supervisor mode with mask 7, A0 at $3000, the stack at $8000, no interrupts
    // and a quiet device, then adjusts what it is about.
    struct Named {
        const char* name;
        std::vector<uint16_t> code;
        std::function<void(StreamCase&)> adjust;
        bool writesOverNextOpcode = false;
    };
    const Named kStreams[] = {
        // The next opcode was taken before the displacement or address words, so the
        // instruction after the MOVEM ran the first of them.
        {"MOVEM to memory with extension words",
         {
             0x48E8, 0x0003, 0x0010,          // MOVEM.L D0-D1,16(A0)
             0x5282,                          // ADDQ.L #1,D2
             0x48B0, 0x0201, 0x3004,          // MOVEM.W D0/A1,4(A0,D3.W)
             0x5282,                          //
             0x48F8, 0x0001, 0x3100,          // MOVEM.L D0,$3100.W
             0x5282,                          //
             0x48F9, 0x0001, 0x0000, 0x3200,  // MOVEM.L D0,$3200.L
             0x5282,                          //
             0x4890, 0x0003,                  // MOVEM.W D0-D1,(A0)
             0x5282,                          //
             0x48A0, 0x0003,                  // MOVEM.W D0-D1,-(A0)
             0x5282,                          //
         },
         nullptr},
        // The 68000 runs the old opcode: only the sliced run can, so the comparison stops at
        // the write. A write further on is seen by both runs.
        {"MOVE over the next opcode",
         {
             0x3C3C, 0x4E71,  // MOVE.W #$4E71,D6
             0x3086,          // MOVE.W D6,(A0), A0 pointing at the next word
             0x7005,          // MOVEQ #5,D0
         },
         [](StreamCase& stream) { stream.a[0] = kCodeStart + 6; },
         true},
        {"MOVE over a later instruction",
         {
             0x3C3C, 0x4E71,  // MOVE.W #$4E71,D6
             0x3146, 0x000A,  // MOVE.W D6,10(A0)
             0x7005,          // MOVEQ #5,D0
             0x7206,          // MOVEQ #6,D1, a NOP by the time it runs
             0x7407,          // MOVEQ #7,D2
         },
         [](StreamCase& stream) { stream.a[0] = kCodeStart; }},
        // The level-6 autovector is odd. Acceptance left the mask at 2 when the handler could
        // not be reached, so level 4 came in under the address error handler, right away when
        // the slice had ended and only later when it had not.
        {"interrupt whose vector is odd",
         {0x4E71, 0x4E71, 0x4E71},
         [](StreamCase& stream) {
             stream.sr = 0x2200;
             stream.interrupts = {{6, -1}, {4, -1}};
             stream.setWord(30 * 4 + 2, static_cast<uint16_t>(stream.word(30 * 4 + 2) | 1));
         }},
        // MOVE to SR lets level 1 in, with the stack in the I/O page, and the device posts
        // level 4 while level 1's frame is written. Level 4 must come in before the level 1
        // handler's first instruction; after an instruction it came only after that one.
        {"interrupt posted while a frame is stacked",
         {0x46FC, 0x2000, 0x4E71, 0x4E71},  // MOVE #$2000,SR; NOP; NOP
         [](StreamCase& stream) {
             stream.a[7] = 0xFFC000;
             stream.interrupts = {{1, -1}};
             stream.deviceActions = true;
             stream.deviceSeed = 0x170C;  // the first access posts level 4, the next do nothing
         }},
        // A taken BMI.W near the end of RAM leaves the PC past the end of its host memory,
        // where the run loop will not fetch; the trace frame then faults on an unmapped stack,
        // and the group-0 frame's instruction register was read from beyond the block.
        {"fault after a branch past the end of the code",
         {},
         [](StreamCase& stream) {
             stream.pc = 0xFFE8;
             stream.setWord(0xFFE8, 0x6B00);  // BMI.W to $10020
             stream.setWord(0xFFEA, 0x0036);
             stream.sr = 0xA708;  // trace, supervisor, mask 7, N
             stream.a[7] = 0x500000;
         }},
    };
    StreamChecker checker;
    for (const Named& named : kStreams) {
        SCOPED_TRACE(named.name);
        Choices state(1);
        Choices code(2);
        StreamCase stream = GenerateCase(state, code, named.code);
        stream.pc = kCodeStart;
        stream.sr = 0x2700;
        for (uint32_t& value : stream.d) value = 0x11111111;
        stream.d[3] = 0x10;
        stream.a[0] = 0x3000;
        stream.a[1] = 0x4000;
        stream.a[7] = 0x8000;
        stream.interrupts.clear();
        stream.deviceActions = false;
        stream.maxInstructions = 16;
        if (named.adjust) named.adjust(stream);
        const uint64_t cutBefore = checker.totals.cutBySelfModification;
        const StreamVerdict verdict = checker.check(stream);
        EXPECT_TRUE(verdict.agree) << verdict.report;
        EXPECT_EQ(checker.totals.cutBySelfModification - cutBefore,
                  named.writesOverNextOpcode ? 1u : 0u);
    }
}

}  // namespace
}  // namespace orvet::test::streams
