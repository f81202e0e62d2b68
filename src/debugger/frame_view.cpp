#include "debugger/frame_view.h"

#include <cstdio>

#include "machine/machine.h"

namespace orvet {
namespace {

// The picture's geometry, as the renderer draws it: 300 lines from line 13, each line's cycles
// from 64 to 447 at two pixels a cycle from column 16, every line on two rows.
constexpr int32_t kFirstShownLine = 13, kShownLines = 300;
constexpr int32_t kFirstShownCycle = 64, kShownCycles = 384;
constexpr float kLeftColumn = 16;

}  // namespace

bool RunFrameForView(Machine& machine) {
    if (!RunFrame(machine)) return false;
    HardwareWriteLog& log = machine.shifter.log;
    log.recordWriters = log.recordedFromStart = true;
    log.writers.clear();
    bool ended = false;
    while (!ended) {
        const int32_t granted = FrameStep(machine);
        if (granted < 0) {
            ended = true;  // the frame's end kept its log and writers
        } else if (granted > 0) {
            log.currentWriter = machine.cpu.pc;
            if (CpuExecute(machine.cpu, 4) != kCpuRunEnded) break;
        }
    }
    log.recordWriters = log.recordedFromStart = false;
    log.writers.clear();
    if (!ended) {
        ResetMachine(machine, true);
        machine.shifter.lastFrame = {};
    }
    return ended;
}

std::vector<FrameEvent> RecordedFrameEvents(const Shifter& shifter) {
    std::vector<FrameEvent> events;
    const RecordedFrame& frame = shifter.lastFrame;
    if (!frame.complete) return events;
    int32_t cycle = 0;
    size_t index = 0;
    for (size_t word = 0; word + 2 < frame.words.size() && frame.words[word] != kLogEndMark;
         word += 3, ++index) {
        cycle += static_cast<int32_t>(frame.words[word]);
        events.push_back({cycle, frame.words[word + 1], frame.words[word + 2],
                          index < frame.writers.size() ? frame.writers[index] : 0u});
    }
    return events;
}

std::string DescribeFrameEvent(const FrameEvent& event) {
    char text[48];
    if (event.kind < kLogDisplayPointer) {
        std::snprintf(text, sizeof text, "Colour %u = $%03X", event.kind / 2, event.value & 0xFFF);
        return text;
    }
    switch (event.kind) {
        case kLogDisplayPointer:
            std::snprintf(text, sizeof text, "Display pointer = $%06X", event.value);
            return text;
        case kLogResolution:
            std::snprintf(text, sizeof text, "Resolution = %u", event.value);
            return text;
        case kLogRightBorderOpen:
            return "Right border open";
        case kLogLeftBorderOpen:
            return "Left border open";
        case kLogLineStop:
            return "Line stopped early";
        case kLogLineShort:
            return "Line ended early";
        default:
            return "?";
    }
}

PicturePoint FrameEventPoint(int32_t cycle) {
    const int32_t line = cycle / 512 - kFirstShownLine, position = cycle % 512 - kFirstShownCycle;
    PicturePoint point;
    point.visible = line >= 0 && line < kShownLines && position >= 0 && position < kShownCycles;
    point.x = kLeftColumn + 2.0f * static_cast<float>(position);
    point.y = 2.0f * static_cast<float>(line);
    return point;
}

}  // namespace orvet
