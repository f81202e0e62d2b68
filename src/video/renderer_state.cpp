// The renderer's share of a save state: the palette and resolution it draws the next frame with.
// Its host colours follow from the palette and the host's pixel format.
#include "machine/chip_state.h"
#include "machine/state_stream.h"
#include "video/renderer.h"

namespace orvet {

void SerializeRenderer(StateStream& stream, Renderer& renderer) {
    stream.values(renderer.palette);
    stream.value(renderer.resolution);
    stream.require(renderer.resolution <= 3, "a resolution the shifter lacks");
    if (stream.loading() && !stream.failed()) {
        for (size_t index = 0; index < renderer.palette.size(); ++index) {
            renderer.hostPalette[index] = renderer.colourTable[renderer.palette[index]];
        }
    }
}

}  // namespace orvet
