#include "frontend/capture_view.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <imgui.h>

#include <cstdint>
#include <string>

#include "frontend/widget_map_view.h"

namespace orvet {
namespace {

// The capture window's texts have always been this pale blue on black.
constexpr ImU32 kText = IM_COL32(200, 200, 255, 255);
constexpr ImU32 kFrame = IM_COL32(96, 96, 128, 255);

// A labelled frame around a group of controls, its label breaking the top line.
void GroupBox(ImVec2 origin, const char* label, float left, float top, float right, float bottom) {
    ImDrawList& draw = *ImGui::GetWindowDrawList();
    const float lineY = origin.y + top + ImGui::GetTextLineHeight() / 2;
    draw.AddRect({origin.x + left, lineY}, {origin.x + right, origin.y + bottom}, kFrame);
    const ImVec2 size = ImGui::CalcTextSize(label);
    draw.AddRectFilled({origin.x + left + 6, origin.y + top},
                       {origin.x + left + 14 + size.x, origin.y + top + size.y},
                       IM_COL32_BLACK);
    draw.AddText({origin.x + left + 10, origin.y + top}, kText, label);
}

void Place(ImVec2 origin, float x, float y) {
    ImGui::SetCursorScreenPos({origin.x + x, origin.y + y});
}

void UploadPreview(CapturePreview& preview, const CaptureWindow& window) {
    if (!preview.texture) {
        glGenTextures(1, &preview.texture);
        glBindTexture(GL_TEXTURE_2D, preview.texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
    if (preview.uploaded && preview.captureNumber == window.captureNumber) return;
    // The preview shows the surface's own pixels, before the reduction to 12 bits.
    glBindTexture(GL_TEXTURE_2D, preview.texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, kCaptureWidth, kCaptureHeight, 0, GL_RGB,
                 GL_UNSIGNED_SHORT_5_6_5, window.capture.previewPixels.data());
    preview.captureNumber = window.captureNumber;
    preview.uploaded = true;
}

void ScreenShot(CaptureWindow& window, CapturePreview& preview, ImVec2 origin) {
    GroupBox(origin, "Screen Shot :", 8, 4, 440, 384);
    Place(origin, 24, 28);
    ImGui::TextUnformatted(window.previewText.c_str());
    Place(origin, 24, 52);
    UploadPreview(preview, window);
    ImGui::Image(reinterpret_cast<ImTextureID>(static_cast<uintptr_t>(preview.texture)),
                 {static_cast<float>(kCaptureWidth), static_cast<float>(kCaptureHeight)});
    NoteWidget("capture.preview");

    GroupBox(origin, "Picture Format :", 456, 4, 776, 124);
    static const struct {
        const char* label;
        const char* name;
        PictureFormat format;
    } formats[] = {{"TGA", "capture.tga", PictureFormat::Tga},
                   {"GIF", "capture.gif", PictureFormat::Gif},
                   {"PNG", "capture.png", PictureFormat::Png}};
    Place(origin, 472, 30);
    for (const auto& choice : formats) {
        if (ImGui::RadioButton(choice.label, window.pictureFormat == choice.format)) {
            window.pictureFormat = choice.format;
        }
        NoteWidget(choice.name);
        ImGui::SameLine(0, 24);
    }
    Place(origin, 472, 72);
    if (ImGui::Button("Save Screenshot", {160, 0})) SaveCaptureScreenshot(window);
    NoteWidget("capture.save");
}

void MovieRecorder(CaptureWindow& window, ImVec2 origin) {
    GroupBox(origin, "Movie Recorder :", 456, 136, 776, 236);
    ImGui::BeginDisabled();
    Place(origin, 472, 162);
    // The two recorders' buttons read alike; ImGui tells them apart by what follows "##".
    ImGui::Button(window.movieRecording ? "Stop Recording##movie" : "Start Recording##movie",
                  {160, 0});
    ImGui::SameLine(0, 16);
    bool includeSound = false;
    ImGui::Checkbox("Include sound", &includeSound);
    ImGui::EndDisabled();
    Place(origin, 472, 202);
    ImGui::TextUnformatted(window.movieText.c_str());
}

void SoundRecorderControls(CaptureWindow& window, Machine& machine, ImVec2 origin) {
    GroupBox(origin, "Sound Recorder", 456, 248, 776, 384);
    Place(origin, 472, 276);
    const std::string label = std::string(SoundButtonText(window)) + "##sound";
    if (ImGui::Button(label.c_str(), {160, 0})) ToggleSoundRecording(window, machine);
    NoteWidget("capture.soundButton");

    GroupBox(origin, "Sound Format", 648, 264, 764, 312);
    Place(origin, 660, 284);
    if (ImGui::RadioButton("WAV", window.soundFormat == SoundFormat::Wav)) {
        window.soundFormat = SoundFormat::Wav;
    }
    NoteWidget("capture.wav");
    ImGui::SameLine(0, 12);
    if (ImGui::RadioButton("YM", window.soundFormat == SoundFormat::Ym)) {
        window.soundFormat = SoundFormat::Ym;
    }
    NoteWidget("capture.ym");

    Place(origin, 472, 324);
    ImGui::Checkbox("Wait YM write", &window.waitYmWrite);
    NoteWidget("capture.waitYm");
    Place(origin, 472, 352);
    ImGui::Checkbox("Sound visual debug", &window.soundVisualDebug);
    NoteWidget("capture.visual");

    GroupBox(origin, "Recording Status :", 8, 396, 776, 444);
    Place(origin, 24, 418);
    ImGui::TextUnformatted(window.soundText.c_str());
}

}  // namespace

void DrawCapture(CaptureWindow& window, Machine& machine, CapturePreview& preview) {
    const ImVec2 origin = ImGui::GetCursorScreenPos();
    ImGui::PushStyleColor(ImGuiCol_Text, kText);
    ScreenShot(window, preview, origin);
    MovieRecorder(window, origin);
    SoundRecorderControls(window, machine, origin);
    ImGui::PopStyleColor();
    // For the window tests, which wait on what the recorder is doing.
    NoteWidgetRect(window.recorder ? "capture.recorder=on" : "capture.recorder=off", 0, 0, 0, 0,
                   false);
}

void ReleaseCapturePreview(CapturePreview& preview) {
    if (preview.texture) glDeleteTextures(1, &preview.texture);
    preview = CapturePreview{};
}

}  // namespace orvet
