// The disk in drive A as a save state carries it: its sectors with every write the program has
// made, written back or not, its geometry, and the file it goes back to with the state of that
// write-back. Loading a state puts this disk in the drive in place of the one there.
#include "disk/disk_image.h"
#include "machine/chip_state.h"
#include "machine/state_stream.h"

namespace orvet {

namespace {
// Longer than any path the host takes.
constexpr uint32_t kLongestPath = 4096;
constexpr uint32_t kLongestMessage = 1024;
constexpr uint32_t kDimHeaderBytes = 32;
}  // namespace

void SerializeDiskImage(StateStream& stream, DiskImage& disk) {
    stream.byteVector(disk.data, kLargestDiskImageSize);
    stream.value(disk.tracks);
    stream.value(disk.sides);
    stream.value(disk.sectors);
    // The controller finds a sector from this geometry and reads it only where the data has it,
    // so any geometry is safe; a negative one is simply not a disk.
    stream.require(disk.tracks >= 0 && disk.sides >= 0 && disk.sectors >= 0,
                   "a disk with a negative geometry");
    stream.text(disk.path, kLongestPath);
    stream.value(disk.format, DiskImageFormat::NotRecognised, DiskImageFormat::Dim);
    stream.byteVector(disk.dimHeader, kDimHeaderBytes);
    stream.value(disk.writeProtected);
    stream.text(disk.protectReason, kLongestMessage);
    stream.value(disk.protectReported);
    stream.value(disk.dirty);
    stream.value(disk.framesSinceWrite);
    stream.value(disk.originalKept);
    stream.text(disk.saveError, kLongestMessage);
}

}  // namespace orvet
