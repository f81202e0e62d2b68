// The machine's 800 x 600 picture on the host screen through OpenGL 3: the RGB565 frame the
// renderer drew is uploaded to a texture and drawn into the window, aspect kept, black around it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvet {

// Where the picture lies in a window of the given size, in pixels from the window's top left.
struct PictureRect {
    int x = 0, y = 0, width = 0, height = 0;
};

// Integer scaling takes the largest whole multiple of 800 x 600 that fits, so every ST pixel
// stays the same size; a window smaller than the picture gets it shrunk to fit instead. Smooth
// scaling fills the window's height or width, whichever limits, with the 4:3 shape kept.
PictureRect PlacePicture(int windowWidth, int windowHeight, bool integerScaling);

struct GlPicture {
    unsigned texture = 0, vertexArray = 0, vertexBuffer = 0, program = 0;
    int offsetLocation = -1, scaleLocation = -1;
    std::vector<uint32_t> pixels;  // the frame widened to 8 bits a channel, as uploaded
};

// Builds the texture, the quad and its shader in the current context. False with a reason.
bool CreateGlPicture(GlPicture& picture, std::string* error);
void DestroyGlPicture(GlPicture& picture);

// Uploads an 800 x 600 RGB565 frame. Each field is widened by repeating its top bits, as the
// PNG writer does, so a screenshot of the screen equals a screenshot of the frame.
void UploadPicture(GlPicture& picture, const uint16_t* frame);

// Clears the window to black and draws the last uploaded frame into rect; nearest pixels at
// whole multiples, filtered otherwise.
void DrawPicture(const GlPicture& picture, PictureRect rect, int windowWidth, int windowHeight);

// Reads rect of what was drawn (before the buffers are swapped) as 8-bit RGB rows, top first.
void ReadDrawnPicture(PictureRect rect, int windowHeight, std::vector<uint8_t>& rgb);

}  // namespace orvet
