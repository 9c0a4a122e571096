#pragma once
// The demo's scene: what a host draws through IRenderer each frame.
#include <cstdint>
#include <vector>

#include "core/renderer_interface.h"

namespace demo {

// Writes the scene's image files (48 of 512x512, in turn PNG, BMP and TGA) with the image
// library's own encoders into textures/ under the working folder. False when one could not
// be written.
bool WriteTextureFiles();

class Scene {
public:
    // Creates the in-memory textures and the host's textured commands bound to the files.
    explicit Scene(IRenderer* renderer);
    ~Scene();
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    // Submits one frame's sprites and shapes into the current render target of `width` x
    // `height`; returns the number of draw operations submitted.
    int Draw(int frame, int width, int height);
    // Submits the frame's text lines with their panels; a host draws them last, so that
    // nothing it draws afterwards (the particle effects' panels) lies over the text. Returns
    // the number of draw operations submitted.
    int DrawTextLines(int frame, int width, int height);

    // Writes the pixels of the in-memory textures. A display-mode change unloads every
    // texture, so a host writes its own textures again after one (files reload by themselves).
    void WriteMemoryTextures();

    // Sprites submitted per frame, for the printout.
    int SpritesPerFrame() const;
    // Whether the text lines have their fonts (DejaVu Sans and WenQuanYi Micro Hei).
    bool HasText() const;
    // How many files of a group (0..2) have their texture loaded right now.
    int LoadedFilesOfGroup(int group) const;

private:
    // Each returns the number of draw operations it submitted.
    int DrawShapes(int frame, int width, int height);
    int DrawMemorySprites(int frame, int width, int height);
    int DrawFileSprites(int frame, int width);

    IRenderer* renderer_;
    ITexture* opaqueTexture_ = nullptr;       // made in memory, X8R8G8B8
    ITexture* translucentTexture_ = nullptr;  // made in memory, A8R8G8B8 with a soft edge
    std::vector<STRU_DRAW_COMMAND_BASE*> fileSprites_;  // host-owned commands, one per file
    // Host-owned text commands.
    STRU_DRAW_COMMAND_BASE* latinText_ = nullptr;
    STRU_DRAW_COMMAND_BASE* chineseText_ = nullptr;
    STRU_DRAW_COMMAND_BASE* outlinedText_ = nullptr;
    STRU_DRAW_COMMAND_BASE* wrappedText_ = nullptr;
    STRU_DRAW_COMMAND_BASE* counterText_ = nullptr;
    bool hasText_ = false;
};

}  // namespace demo
