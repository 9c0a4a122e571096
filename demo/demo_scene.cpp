#include "demo/demo_scene.h"

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "draw/texture.h"
#include "image/raster.h"

namespace demo {

namespace {

constexpr int kMemorySprites = 2000;  // textured quads from the in-memory textures
constexpr int kSpriteSide = 16;
constexpr const char16_t* kTextureFiles[] = {u"textures/checker.png", u"textures/stripes.bmp",
                                             u"textures/ring.tga"};

// A 64x64 image with a pattern of its own; `alpha` adds a plane that fades to the edge.
bool WriteImage(const char16_t* path, DWORD type, int pattern, bool alpha) {
    CRaster image;
    if (image.Create(64, 64, 24, type) == nullptr) return false;
    if (alpha && !image.CreateAlpha()) return false;
    for (LONG y = 0; y < 64; ++y) {
        for (LONG x = 0; x < 64; ++x) {
            RGBQUAD c{};
            switch (pattern) {
                case 0: c = ((x / 8 + y / 8) % 2) ? RGBQUAD{40, 200, 240, 0} : RGBQUAD{30, 30, 120, 0}; break;
                case 1: c = (y / 4 % 2) ? RGBQUAD{0, 140, 255, 0} : RGBQUAD{255, 255, 255, 0}; break;
                default: c = RGBQUAD{static_cast<BYTE>(x * 4), 80, static_cast<BYTE>(y * 4), 0}; break;
            }
            image.SetPixelColor(x, y, c);
            if (alpha) {
                const double d = std::hypot(x - 31.5, y - 31.5);
                image.SetAlphaAt(x, y, d > 31.0 ? 0 : d < 16.0 ? 96 : 255);
            }
        }
    }
    return image.Save(path, type);
}

D3DCOLOR Wave(int frame, int offset, BYTE alpha) {
    const double a = (frame * 2 + offset) * 0.0174533;
    auto ch = [&](double phase) { return static_cast<unsigned>(127.5 + 127.5 * std::sin(a + phase)) & 0xFFu; };
    return D3DCOLOR_ARGB(alpha, ch(0.0), ch(2.0944), ch(4.18879));
}

}  // namespace

bool WriteTextureFiles() {
    std::filesystem::create_directories("textures");
    return WriteImage(kTextureFiles[0], kRasterTypePng, 0, true) &&
           WriteImage(kTextureFiles[1], kRasterTypeBmp, 1, false) &&
           WriteImage(kTextureFiles[2], kRasterTypeTga, 2, true);
}

Scene::Scene(IRenderer* renderer) : renderer_(renderer) {
    // Two textures written by the host in memory: an opaque checker and a translucent disc.
    std::vector<std::uint32_t> pixels(32 * 32);
    opaqueTexture_ = renderer_->CreateTexture(32, 32, D3DFMT_X8R8G8B8, 0);
    if (opaqueTexture_) {
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) pixels[y * 32 + x] = ((x / 4 + y / 4) % 2) ? 0xFFE0E0E0u : 0xFF205080u;
        opaqueTexture_->UpdateRect(pixels.data(), 32, 32, 32 * 4, 32, 0, 0);
    }
    translucentTexture_ = renderer_->CreateTexture(32, 32, D3DFMT_A8R8G8B8, 0);
    if (translucentTexture_) {
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                const double d = std::hypot(x - 15.5, y - 15.5);
                const unsigned a = d > 15.5 ? 0u : static_cast<unsigned>(255.0 * (1.0 - d / 16.0));
                pixels[y * 32 + x] = (a << 24) | 0x00FFC040u;
            }
        translucentTexture_->UpdateRect(pixels.data(), 32, 32, 32 * 4, 32, 0, 0);
    }
    // Host-owned textured commands whose textures come from files, loaded in the background.
    for (const char16_t* path : kTextureFiles) {
        STRU_DRAW_COMMAND_BASE* cmd = renderer_->CreatePrimitive(5);
        if (cmd == nullptr) continue;
        renderer_->SetTexture(cmd, path, false);
        fileSprites_.push_back(cmd);
    }
}

Scene::~Scene() {
    for (STRU_DRAW_COMMAND_BASE* cmd : fileSprites_) renderer_->ReleasePrimitive(cmd);
    if (opaqueTexture_) renderer_->DestroyTexture(opaqueTexture_);
    if (translucentTexture_) renderer_->DestroyTexture(translucentTexture_);
}

int Scene::SpritesPerFrame() const { return kMemorySprites + static_cast<int>(fileSprites_.size()) * 12; }

void Scene::Draw(int frame, int width, int height) {
    DrawMemorySprites(frame, width, height);
    DrawFileSprites(frame, width);
    DrawShapes(frame, width, height);
}

void Scene::DrawShapes(int frame, int width, int height) {
    STRU_DRAW_COMMAND_BASE* scratch = ScratchCommand();
    const int cx = width / 2, cy = height / 2;
    // Points on a circle, lines fanning out, a filled and an outlined triangle and rectangle.
    for (int i = 0; i < 64; ++i) {
        const double a = i * 0.0981748 + frame * 0.02;
        renderer_->DrawPoint(scratch, cx + static_cast<int>(100 * std::cos(a)),
                             cy + static_cast<int>(100 * std::sin(a)), 0xFFFFFFFFu);
    }
    for (int i = 0; i < 12; ++i) {
        const double a = i * 0.523599 + frame * 0.01;
        renderer_->DrawLine(scratch, cx, cy, cx + static_cast<int>(80 * std::cos(a)),
                            cy + static_cast<int>(80 * std::sin(a)), Wave(frame, i * 30, 0xFF));
    }
    renderer_->DrawTriangle(scratch, 20, height - 20, 120, height - 20, 70, height - 110, 0xFF30C030u, true);
    renderer_->DrawTriangle(scratch, 140, height - 20, 240, height - 20, 190, height - 110, 0xFFFFFF00u, false);
    renderer_->DrawRect(scratch, width - 140, 20, width - 20, 100, 0xFFC03030u, true);
    renderer_->DrawRect(scratch, width - 150, 10, width - 10, 110, 0xFFFFFFFFu, false);
    // Translucent shapes over everything drawn before them.
    renderer_->DrawRect(scratch, cx - 150, cy - 40, cx + 150, cy + 40, Wave(frame, 90, 0x80), true);
    renderer_->DrawTriangle(scratch, cx - 60, cy + 90, cx + 60, cy + 90, cx, cy - 10, Wave(frame, 200, 0x60), true);
}

void Scene::DrawMemorySprites(int frame, int width, int height) {
    for (int i = 0; i < kMemorySprites; ++i) {
        ITexture* texture = (i % 3 == 0) ? translucentTexture_ : opaqueTexture_;
        if (texture == nullptr) continue;
        const int x = static_cast<int>((i * 37 + frame * (1 + i % 5)) % (width + kSpriteSide)) - kSpriteSide;
        const int y = static_cast<int>((i * 53) % (height + kSpriteSide)) - kSpriteSide;
        const RECT destination{x, y, x + kSpriteSide, y + kSpriteSide};
        const RECT source{0, 0, 32, 32};
        renderer_->DrawTexture(texture, &destination, &source, 0xFFFFFFFFu, 0);
    }
}

void Scene::DrawFileSprites(int frame, int width) {
    // Each file texture drawn twelve times along a wave; nothing shows until it has loaded.
    for (std::size_t f = 0; f < fileSprites_.size(); ++f) {
        for (int i = 0; i < 12; ++i) {
            const int x = (i * 80 + frame * 2 + static_cast<int>(f) * 27) % (width + 64) - 64;
            const int y = 140 + static_cast<int>(f) * 90 + static_cast<int>(30 * std::sin((frame + i * 20) * 0.05));
            const RECT destination{x, y, x + 64, y + 64};
            renderer_->DrawTexturePrimitiveEx(fileSprites_[f], x, y, 0xFFFFFFFFu, &destination, nullptr);
        }
    }
}

}  // namespace demo
