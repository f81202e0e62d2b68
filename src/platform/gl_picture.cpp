#include "platform/gl_picture.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <array>

namespace orvet {
namespace {

constexpr int kPictureWidth = 800;
constexpr int kPictureHeight = 600;

// One table for the whole 16-bit range: the conversion is a lookup per pixel.
const std::array<uint32_t, 65536>& WideningTable() {
    static const auto table = [] {
        std::array<uint32_t, 65536> entries{};
        for (uint32_t pixel = 0; pixel < 65536; ++pixel) {
            const uint32_t red = pixel >> 11, green = (pixel >> 5) & 0x3F, blue = pixel & 0x1F;
            const uint32_t r = red << 3 | red >> 2, g = green << 2 | green >> 4,
                           b = blue << 3 | blue >> 2;
            // Blue, green, red, alpha in memory: the layout drivers keep textures in, so the upload
            // is a plain copy.
            entries[pixel] = b | g << 8 | r << 16 | 0xFF000000u;
        }
        return entries;
    }();
    return table;
}

constexpr const char* kVertexShader = R"(#version 330 core
layout(location = 0) in vec2 corner;
uniform vec2 offset;
uniform vec2 scale;
out vec2 textureCoordinate;
void main() {
    textureCoordinate = vec2(corner.x, 1.0 - corner.y);
    gl_Position = vec4(offset + corner * scale, 0.0, 1.0);
}
)";

constexpr const char* kFragmentShader = R"(#version 330 core
in vec2 textureCoordinate;
uniform sampler2D picture;
out vec4 colour;
void main() { colour = texture(picture, textureCoordinate); }
)";

GLuint CompileShader(GLenum kind, const char* source, std::string* error) {
    GLuint shader = glCreateShader(kind);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint compiled = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (!compiled) {
        char log[512] = {};
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        if (error) *error = std::string("the picture's shader does not compile: ") + log;
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

}  // namespace

PictureRect PlacePicture(int windowWidth, int windowHeight, bool integerScaling) {
    PictureRect rect;
    if (windowWidth <= 0 || windowHeight <= 0) return rect;
    const int whole = std::min(windowWidth / kPictureWidth, windowHeight / kPictureHeight);
    if (integerScaling && whole >= 1) {
        rect.width = kPictureWidth * whole;
        rect.height = kPictureHeight * whole;
    } else if (static_cast<int64_t>(windowWidth) * kPictureHeight <=
               static_cast<int64_t>(windowHeight) * kPictureWidth) {
        rect.width = windowWidth;
        rect.height = std::max(1, windowWidth * kPictureHeight / kPictureWidth);
    } else {
        rect.height = windowHeight;
        rect.width = std::max(1, windowHeight * kPictureWidth / kPictureHeight);
    }
    rect.x = (windowWidth - rect.width) / 2;
    rect.y = (windowHeight - rect.height) / 2;
    return rect;
}

bool CreateGlPicture(GlPicture& picture, std::string* error) {
    GLuint vertexShader = CompileShader(GL_VERTEX_SHADER, kVertexShader, error);
    if (!vertexShader) return false;
    GLuint fragmentShader = CompileShader(GL_FRAGMENT_SHADER, kFragmentShader, error);
    if (!fragmentShader) {
        glDeleteShader(vertexShader);
        return false;
    }
    picture.program = glCreateProgram();
    glAttachShader(picture.program, vertexShader);
    glAttachShader(picture.program, fragmentShader);
    glLinkProgram(picture.program);
    glDeleteShader(vertexShader);
    glDeleteShader(fragmentShader);
    GLint linked = 0;
    glGetProgramiv(picture.program, GL_LINK_STATUS, &linked);
    if (!linked) {
        if (error) *error = "the picture's shader does not link";
        DestroyGlPicture(picture);
        return false;
    }
    picture.offsetLocation = glGetUniformLocation(picture.program, "offset");
    picture.scaleLocation = glGetUniformLocation(picture.program, "scale");

    const float corners[] = {0, 0, 1, 0, 0, 1, 1, 1};
    glGenVertexArrays(1, &picture.vertexArray);
    glBindVertexArray(picture.vertexArray);
    glGenBuffers(1, &picture.vertexBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, picture.vertexBuffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof corners, corners, GL_STATIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    glBindVertexArray(0);

    glGenTextures(1, &picture.texture);
    glBindTexture(GL_TEXTURE_2D, picture.texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kPictureWidth, kPictureHeight, 0, GL_BGRA,
                 GL_UNSIGNED_INT_8_8_8_8_REV, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    picture.pixels.assign(static_cast<size_t>(kPictureWidth) * kPictureHeight, 0xFF000000u);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, kPictureWidth, kPictureHeight, GL_BGRA,
                    GL_UNSIGNED_INT_8_8_8_8_REV, picture.pixels.data());
    if (glGetError() != GL_NO_ERROR) {
        if (error) *error = "the picture's texture cannot be made";
        DestroyGlPicture(picture);
        return false;
    }
    return true;
}

void DestroyGlPicture(GlPicture& picture) {
    if (picture.texture) glDeleteTextures(1, &picture.texture);
    if (picture.vertexBuffer) glDeleteBuffers(1, &picture.vertexBuffer);
    if (picture.vertexArray) glDeleteVertexArrays(1, &picture.vertexArray);
    if (picture.program) glDeleteProgram(picture.program);
    picture = GlPicture{};
}

void UploadPicture(GlPicture& picture, const uint16_t* frame) {
    const auto& table = WideningTable();
    const size_t count = picture.pixels.size();
    for (size_t index = 0; index < count; ++index) picture.pixels[index] = table[frame[index]];
    glBindTexture(GL_TEXTURE_2D, picture.texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, kPictureWidth, kPictureHeight, GL_BGRA,
                    GL_UNSIGNED_INT_8_8_8_8_REV, picture.pixels.data());
}

void DrawPicture(const GlPicture& picture, PictureRect rect, int windowWidth, int windowHeight) {
    glViewport(0, 0, windowWidth, windowHeight);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    if (rect.width <= 0 || rect.height <= 0 || windowWidth <= 0 || windowHeight <= 0) return;
    const bool whole = rect.width % kPictureWidth == 0 && rect.height % kPictureHeight == 0;
    glBindTexture(GL_TEXTURE_2D, picture.texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, whole ? GL_NEAREST : GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, whole ? GL_NEAREST : GL_LINEAR);
    glUseProgram(picture.program);
    // Normalised device coordinates: the rect's bottom-left corner and its size.
    const float left = 2.0f * rect.x / windowWidth - 1.0f;
    const float bottom = 1.0f - 2.0f * (rect.y + rect.height) / windowHeight;
    glUniform2f(picture.offsetLocation, left, bottom);
    glUniform2f(picture.scaleLocation, 2.0f * rect.width / windowWidth,
                2.0f * rect.height / windowHeight);
    glBindVertexArray(picture.vertexArray);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glBindVertexArray(0);
    glUseProgram(0);
}

void ReadDrawnPicture(PictureRect rect, int windowHeight, std::vector<uint8_t>& rgb) {
    const size_t rowBytes = static_cast<size_t>(rect.width) * 3;
    std::vector<uint8_t> bottomUp(rowBytes * rect.height);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(rect.x, windowHeight - rect.y - rect.height, rect.width, rect.height, GL_RGB,
                 GL_UNSIGNED_BYTE, bottomUp.data());
    rgb.resize(bottomUp.size());
    for (int row = 0; row < rect.height; ++row) {
        std::copy_n(bottomUp.data() + (rect.height - 1 - row) * rowBytes, rowBytes,
                    rgb.data() + row * rowBytes);
    }
}

}  // namespace orvet
