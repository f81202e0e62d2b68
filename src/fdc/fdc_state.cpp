// The floppy controller's share of a save state: the WD1772's registers and the command in
// progress with the time of its next event, and the DMA chip in front of it. The controller's
// connections to the other chips belong to the machine that loads the state.
#include "fdc/wd1772.h"
#include "machine/chip_state.h"
#include "machine/state_stream.h"

namespace orvet {

void SerializeFdc(StateStream& stream, Fdc& fdc) {
    FdcController& c = fdc.controller;
    stream.value(c.status);
    stream.value(c.track);
    stream.value(c.sector);
    stream.value(c.data);
    stream.value(c.finalStatus);
    stream.value(c.typeOneStatus);
    stream.value(c.command);
    stream.value(c.eventTime);
    stream.value(c.state, FdcState::Idle, FdcState::Restoring);
    stream.value(c.motorOn);
    stream.value(c.rotationOrigin);
    stream.value(c.stepInward);
    stream.value(c.sectorsLeft);
    stream.value(c.readUnderway);
    stream.value(c.restoreSteps);

    FdcDma& dma = fdc.dma;
    stream.value(dma.address);
    stream.value(dma.stagedAddress);
    stream.value(dma.sectorCount);
    stream.value(dma.towardsDisk);
    stream.value(dma.disabled);
    stream.value(dma.hardDiskSelected);
    stream.value(dma.selectedRegister, FdcRegister::CommandStatus, FdcRegister::SectorCount);
}

}  // namespace orvet
