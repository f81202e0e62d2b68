#include "machine/ikbd.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "cpu/cpu.h"

namespace orvet {
namespace {

constexpr uint32_t kControl = 0xFFFC00;
constexpr uint32_t kData = 0xFFFC02;

struct Link {
    Ikbd ikbd;
    HostInput input;
    CpuState cpu;

    void Send(std::initializer_list<uint8_t> bytes) {
        for (uint8_t value : bytes) IkbdWriteByte(ikbd, cpu, kData, value, 0);
    }
    uint8_t Read(uint32_t address) { return IkbdReadByte(ikbd, cpu, address, 0); }
    // Runs steps, reading each delivered byte as the machine's interrupt handler would, until a
    // step delivers nothing.
    std::vector<uint8_t> Drain() {
        std::vector<uint8_t> received;
        while (IkbdStep(ikbd, input)) received.push_back(Read(kData));
        return received;
    }
    void Press(uint8_t virtualKey) { input.keyState[virtualKey] = 0x80; }
    void Release(uint8_t virtualKey) { input.keyState[virtualKey] = 0; }
};

using Bytes = std::vector<uint8_t>;

TEST(IkbdTest, ResetAnswersF0OnlyAfterItsProperSecondByte) {
    Link link;
    EXPECT_EQ(link.Drain(), Bytes{});  // no 0xF0 at program start
    link.Send({0x12, 0x1A});           // mouse and joystick off
    link.Send({0x80, 0x00});
    EXPECT_EQ(link.Drain(), Bytes{});
    EXPECT_FALSE(link.ikbd.processor.mouseEnabled);
    link.Send({0x01});
    EXPECT_TRUE(link.ikbd.processor.mouseEnabled);
    EXPECT_TRUE(link.ikbd.processor.joystickEnabled);
    // The answer waits for the next step of the link.
    EXPECT_EQ(link.Read(kControl) & 0x01, 0);
    EXPECT_EQ(link.Drain(), Bytes{0xF0});
}

TEST(IkbdTest, CommandParametersAndUnknownCodes) {
    Link link;
    link.Send({0x09, 0x01, 0x3F, 0x00, 0xC7});  // absolute mode, 319 x 199
    EXPECT_TRUE(link.ikbd.processor.mouseAbsolute);
    EXPECT_EQ(link.ikbd.processor.maxX, 0x013F);
    EXPECT_EQ(link.ikbd.processor.maxY, 0x00C7);
    link.Send({0x0E, 0xAA, 0x00, 0x20, 0x00, 0x10});
    EXPECT_EQ(link.ikbd.processor.absoluteX, 0x20);
    EXPECT_EQ(link.ikbd.processor.absoluteY, 0x10);
    // 0x1B (set clock) is not known: its six BCD bytes are taken as commands; 0x12 among them
    // turns the mouse off.
    link.Send({0x1B, 0x85, 0x01, 0x12, 0x00, 0x00, 0x00});
    EXPECT_FALSE(link.ikbd.processor.mouseEnabled);
    EXPECT_EQ(link.ikbd.processor.paramsLeft, 0);
    EXPECT_EQ(link.Drain(), Bytes{});
}

TEST(IkbdTest, KeysSendOneMakeAndOneBreakCode) {
    Link link;
    link.Press('A');
    EXPECT_EQ(link.Drain(), Bytes{0x1E});
    EXPECT_EQ(link.Drain(), Bytes{});  // held: nothing more
    link.Release('A');
    EXPECT_EQ(link.Drain(), Bytes{0x9E});
    // Two host keys on one ST key: releasing one of them while the other is held is no break.
    link.Press(vk::kRightControl);
    link.Drain();
    link.Press(vk::kLeftControl);
    link.Release(vk::kRightControl);
    EXPECT_EQ(link.Drain(), (Bytes{0xFF, 0x80}));  // only the joystick fire changes
    // F11 and F12 belong to the driver and send nothing, but the snapshot still shows them.
    link.Press(vk::kF12);
    EXPECT_EQ(link.Drain(), Bytes{});
    EXPECT_TRUE(IsKeyDown(link.ikbd, vk::kF12));
}

TEST(IkbdTest, JoystickEventsAndInterrogation) {
    Link link;
    link.Press(vk::kRight);
    link.Press(vk::kLeftControl);
    EXPECT_EQ(link.Drain(), (Bytes{0x1D, 0xFF, 0x88}));  // Control held, then the joystick
    link.Send({0x15});  // interrogation mode: changes are no longer reported
    link.Release(vk::kRight);
    link.Release(vk::kLeftControl);
    EXPECT_EQ(link.Drain(), Bytes{0x9D});
    link.Press(vk::kUp);
    link.Drain();
    link.Send({0x16});
    EXPECT_EQ(link.Drain(), (Bytes{0xFD, 0x00, 0x01}));
    link.Send({0x1A, 0x16});  // the interrogation itself re-enables the joystick
    EXPECT_EQ(link.Drain(), (Bytes{0xFD, 0x00, 0x01}));
}

TEST(IkbdTest, RelativeMousePackets) {
    Link link;
    link.input.mouseMovementX = 5;
    link.input.mouseMovementY = -3;
    link.input.mouseLeftButton = true;
    EXPECT_EQ(link.Drain(), (Bytes{0xFA, 0x05, 0xFD}));
    EXPECT_EQ(link.input.mouseMovementX, 0);  // the step consumed the movement
    link.input.mouseLeftButton = false;
    link.input.mouseRightButton = true;
    EXPECT_EQ(link.Drain(), (Bytes{0xF9, 0x00, 0x00}));  // a button change alone reports
    // +200 does not fit a signed byte: two packets, never a wrap to -56.
    link.input.mouseMovementX = 200;
    EXPECT_EQ(link.Drain(), (Bytes{0xF9, 0x7F, 0x00, 0xF9, 0x49, 0x00}));
    // An absurd movement is clamped to what the step's packets carry.
    link.input.mouseMovementY = -100000;
    EXPECT_EQ(link.Drain().size(), 3u * kMaxMousePacketsPerStep);
    // Movement made while reports are off is discarded, not saved up.
    link.Send({0x12});
    link.input.mouseMovementX = 40;
    EXPECT_EQ(link.Drain(), Bytes{});
    link.Send({0x08});
    EXPECT_EQ(link.Drain(), Bytes{});
    link.Send({0x09, 0x01, 0x3F, 0x00, 0xC7});  // absolute mode sends nothing
    link.input.mouseMovementX = 40;
    EXPECT_EQ(link.Drain(), Bytes{});
    link.Send({0x0A, 0x01, 0x01});  // keycode mode reports as relative
    link.input.mouseMovementX = 40;
    EXPECT_EQ(link.Drain(), (Bytes{0xF9, 40, 0x00}));
    // A host without a mouse this step: no report, and no stale movement later.
    link.input.mouseAvailable = false;
    link.input.mouseMovementX = 9;
    EXPECT_EQ(link.Drain(), Bytes{});
    link.input.mouseAvailable = true;
    EXPECT_EQ(link.Drain(), Bytes{});
}

std::function<UtcDateTime()> FixedClock(UtcDateTime time) {
    return [time] { return time; };
}

TEST(IkbdTest, TimeReportInBcd) {
    Link link;
    link.input.readUtcClock = FixedClock({2024, 12, 31, 9, 5, 42});
    link.Press('Q');
    link.Send({0x1C});
    // The report comes ahead of what the same step scans.
    EXPECT_EQ(link.Drain(), (Bytes{0xFC, 0x24, 0x12, 0x31, 0x09, 0x05, 0x42, 0x10}));
    link.input.readUtcClock = nullptr;  // the host clock: a plausible BCD date
    link.Send({0x1C});
    const Bytes report = link.Drain();
    ASSERT_EQ(report.size(), 7u);
    for (size_t index = 1; index < 7; ++index) {
        EXPECT_LE(report[index] & 0x0F, 9) << index;
        EXPECT_LE(report[index] >> 4, 9) << index;
    }
}

TEST(IkbdTest, PauseHoldsTheQueueUntilAnyByte) {
    Link link;
    link.Send({0x13});
    link.Press('A');
    EXPECT_EQ(link.Drain(), Bytes{});
    EXPECT_EQ(link.ikbd.queue.count, 1);
    link.Send({0x00});  // any byte resumes
    EXPECT_EQ(link.Drain(), Bytes{0x1E});
}

TEST(IkbdTest, QueueHolds255BytesAndDropsWholeReportsBeyond) {
    Link link;
    for (int index = 0; index < 254; ++index) {
        ASSERT_TRUE(IkbdQueueBytes(link.ikbd, {static_cast<uint8_t>(index)}));
    }
    EXPECT_FALSE(IkbdQueueBytes(link.ikbd, {0xFD, 0x00, 0x00}));  // no half report
    EXPECT_TRUE(IkbdQueueBytes(link.ikbd, {0xEE}));
    EXPECT_FALSE(IkbdQueueBytes(link.ikbd, {0xEF}));  // the newest is dropped
    EXPECT_EQ(link.ikbd.queue.count, 255);
    EXPECT_EQ(link.ikbd.queue.droppedBytes, 4u);
    for (int index = 0; index < 254; ++index) {
        ASSERT_EQ(IkbdTakeByte(link.ikbd), index);
    }
    EXPECT_EQ(IkbdTakeByte(link.ikbd), 0xEE);
    EXPECT_FALSE(IkbdByteAvailable(link.ikbd));
    // The ring keeps working after wrapping.
    link.Send({0x80, 0x01});
    EXPECT_EQ(link.Drain(), Bytes{0xF0});
}

// The status after a byte arrives, by control value: the interrupt request (bit 7, and the line
// to GPIP 4) needs receive interrupts enabled (bit 7); a master reset clears the status, and a
// receiver held in it loses what arrives. Control values never show in the status.
TEST(IkbdTest, AciaInterruptRequestFollowsTheReceiveInterruptEnable) {
    struct Case {
        uint8_t control;
        bool received;
        uint8_t status;
    };
    const Case cases[] = {{0x96, true, 0x83},
                          {0x16, true, 0x03},
                          {0xD5, true, 0x83},
                          {0x03, false, 0x02},
                          {0x83, false, 0x02}};
    for (const Case& c : cases) {
        Link link;
        IkbdWriteByte(link.ikbd, link.cpu, kControl, c.control, 0);
        IkbdQueueBytes(link.ikbd, {0x5A});
        EXPECT_EQ(IkbdStep(link.ikbd, link.input), c.received) << int(c.control);
        EXPECT_EQ(link.Read(kControl), c.status) << int(c.control);
        EXPECT_EQ(IkbdInterruptLineActive(link.ikbd), (c.status & 0x80) != 0) << int(c.control);
        EXPECT_EQ(link.ikbd.queue.count, 0) << "the line delivered it either way";
    }
    // Enabling receive interrupts with a byte waiting raises the request at once; a master reset
    // drops it with the byte.
    Link link;
    IkbdWriteByte(link.ikbd, link.cpu, kControl, 0x16, 0);
    IkbdQueueBytes(link.ikbd, {0x5A});
    IkbdStep(link.ikbd, link.input);
    IkbdWriteByte(link.ikbd, link.cpu, kControl, 0x96, 0);
    EXPECT_TRUE(IkbdInterruptLineActive(link.ikbd));
    IkbdWriteByte(link.ikbd, link.cpu, kControl, 0x03, 0);
    IkbdWriteByte(link.ikbd, link.cpu, kControl, 0x96, 0);
    EXPECT_EQ(link.Read(kControl), 0x02);
}

TEST(IkbdTest, AciaRegisters) {
    Link link;
    Ikbd& ikbd = link.ikbd;
    EXPECT_EQ(link.Read(kControl), 0x02);  // transmitter always empty
    link.Send({0x80, 0x01});
    IkbdWriteByte(ikbd, link.cpu, kControl, 0x96, 0);
    ASSERT_TRUE(IkbdStep(ikbd, link.input));
    EXPECT_EQ(IkbdReadWord(ikbd, link.cpu, kData, 0), 0xF0FF);  // the ACIA is the high byte
    EXPECT_EQ(link.Read(kControl), 0x02);
    EXPECT_FALSE(IkbdInterruptLineActive(ikbd));
    EXPECT_EQ(link.Read(kData), 0xF0);  // nothing new: the last byte again
    // A byte not read in time is replaced by the next.
    IkbdQueueBytes(ikbd, {0x11, 0x22});
    IkbdStep(ikbd, link.input);
    IkbdStep(ikbd, link.input);
    EXPECT_EQ(link.Read(kData), 0x22);
    // MIDI stores its bytes; odd addresses and the rest of the page are not registers.
    IkbdWriteByte(ikbd, link.cpu, 0xFFFC06, 0x5A, 0);
    EXPECT_EQ(link.Read(0xFFFC06), 0x5A);
    IkbdWriteByte(ikbd, link.cpu, 0xFFFC04, 0x95, 0);
    EXPECT_EQ(link.Read(0xFFFC04), 0x02);
    EXPECT_EQ(link.Read(0xFFFC03), 0xFF);
    EXPECT_TRUE(IkbdHasRegister(0xFFFC07));
    EXPECT_FALSE(IkbdHasRegister(0xFFFC08));
    EXPECT_FALSE(IkbdHasRegister(0xFFFBFF));
    // Word writes send the high byte.
    IkbdWriteWord(ikbd, link.cpu, kData, 0x1200, 0);
    EXPECT_FALSE(ikbd.processor.mouseEnabled);
}

TEST(IkbdTest, StepTimeAdvancesAndRebases) {
    Link link;
    EXPECT_EQ(IkbdNextEventTime(link.ikbd), 10016);
    for (int step = 0; step < 16; ++step) IkbdStep(link.ikbd, link.input);
    EXPECT_EQ(IkbdNextEventTime(link.ikbd), 17 * 10016);
    IkbdRebase(link.ikbd, 160256);
    EXPECT_EQ(IkbdNextEventTime(link.ikbd), 17 * 10016 - 160256);
}

}  // namespace
}  // namespace orvet
