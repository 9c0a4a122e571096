#include "demo/demo_scene.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "image/raster.h"

namespace demo {

namespace {

constexpr int kMemorySprites = 2000;  // textured quads from the in-memory textures
constexpr int kSpriteSide = 16;
// The file textures: three groups of sixteen 512x512 images in turn as PNG, BMP and TGA. The
// sprites show one group at a time, so the groups they left go idle and, with more than
// 32 MiB of texture pixels in memory, the texture manager unloads them.
constexpr int kFileGroups = 3;
constexpr int kFilesPerGroup = 16;
constexpr int kFileSide = 512;
constexpr int kFramesPerGroup = 60;

// Fonts from Debian packages (fonts-dejavu-core, fonts-wqy-microhei).
constexpr char16_t kLatinFont[] = u"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr char16_t kChineseFont[] = u"/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";
constexpr D3DCOLOR kPanel = 0xC0101018u;  // behind the text, so that it reads over the sprites

std::u16string FileName(int index) {
    static constexpr const char16_t* kExtensions[] = {u".png", u".bmp", u".tga"};
    std::u16string name = u"textures/tile";
    name += static_cast<char16_t>(u'0' + index / 10);
    name += static_cast<char16_t>(u'0' + index % 10);
    return name + kExtensions[index % 3];
}

DWORD FileType(int index) {
    static constexpr DWORD kTypes[] = {kRasterTypePng, kRasterTypeBmp, kRasterTypeTga};
    return kTypes[index % 3];
}

// A square image with a pattern of its own: checks, stripes or a gradient, tinted by `tint`.
bool WriteImage(const std::u16string& path, DWORD type, int pattern, int tint) {
    CRaster image;
    if (image.Create(kFileSide, kFileSide, 24, type) == nullptr) return false;
    const BYTE t = static_cast<BYTE>(tint * 5);
    for (LONG y = 0; y < kFileSide; ++y) {
        for (LONG x = 0; x < kFileSide; ++x) {
            RGBQUAD c{};
            switch (pattern) {
                case 0: c = ((x / 64 + y / 64) % 2) ? RGBQUAD{40, 200, t, 0} : RGBQUAD{t, 30, 120, 0}; break;
                case 1: c = (y / 32 % 2) ? RGBQUAD{0, t, 255, 0} : RGBQUAD{255, 255, 255, 0}; break;
                default: c = RGBQUAD{static_cast<BYTE>(x / 2), t, static_cast<BYTE>(y / 2), 0}; break;
            }
            image.SetPixelColor(x, y, c);
        }
    }
    return image.Save(path.c_str(), type);
}

D3DCOLOR Wave(int frame, int offset, BYTE alpha) {
    const double a = (frame * 2 + offset) * 0.0174533;
    auto ch = [&](double phase) { return static_cast<unsigned>(127.5 + 127.5 * std::sin(a + phase)) & 0xFFu; };
    return D3DCOLOR_ARGB(alpha, ch(0.0), ch(2.0944), ch(4.18879));
}

}  // namespace

bool WriteTextureFiles() {
    std::filesystem::create_directories("textures");
    for (int i = 0; i < kFileGroups * kFilesPerGroup; ++i)
        if (!WriteImage(FileName(i), FileType(i), i % 3, i)) return false;
    return true;
}

Scene::Scene(IRenderer* renderer) : renderer_(renderer) {
    // Two textures written by the host in memory: an opaque checker and a translucent disc.
    opaqueTexture_ = renderer_->CreateTexture(32, 32, D3DFMT_X8R8G8B8, 0);
    translucentTexture_ = renderer_->CreateTexture(32, 32, D3DFMT_A8R8G8B8, 0);
    WriteMemoryTextures();
    // Host-owned textured commands whose textures come from files, loaded in the background.
    for (int i = 0; i < kFilesPerGroup; ++i) {
        STRU_DRAW_COMMAND_BASE* cmd = renderer_->CreatePrimitive(kDrawCmdTexturedRect);
        if (cmd == nullptr) continue;
        renderer_->SetTexture(cmd, FileName(i).c_str(), false);
        fileSprites_.push_back(cmd);
    }
    // Text: a Latin line, a Chinese line (Latin from the western font), an outlined line,
    // a paragraph that wraps in a rectangle, and a counter that changes every frame.
    latinText_ = renderer_->CreatePrimitive(6);
    chineseText_ = renderer_->CreatePrimitive(6);
    outlinedText_ = renderer_->CreatePrimitive(6);
    wrappedText_ = renderer_->CreatePrimitive(6);
    counterText_ = renderer_->CreatePrimitive(6);
    hasText_ = std::filesystem::exists(std::filesystem::path(kLatinFont)) &&
               std::filesystem::exists(std::filesystem::path(kChineseFont));
    renderer_->SetFont(latinText_, kLatinFont, 18);
    renderer_->SetFonts(chineseText_, 0, kChineseFont, 18, 0, kLatinFont, 18, 0);
    renderer_->SetFont(outlinedText_, kLatinFont, 28);
    renderer_->SetFont(wrappedText_, kLatinFont, 14);
    renderer_->SetFont(counterText_, kLatinFont, 16);
    renderer_->SetText(latinText_, u"Lumiscriber draws text: glyphs rasterised by FreeType, packed into font pages.");
    renderer_->SetText(chineseText_, u"\u4F60\u597D\uFF0C\u4E16\u754C\uFF01\u8FD9\u662F\u6587\u5B57\u6E32\u67D3\u6F14\u793A (Chinese).");
    renderer_->SetText(outlinedText_, u"Outlined text");
    renderer_->SetText(wrappedText_,
                       u"This paragraph wraps inside its rectangle: a new line starts only while two line "
                       u"heights still fit, and what does not fit is left out.");
}

Scene::~Scene() {
    for (STRU_DRAW_COMMAND_BASE* cmd : fileSprites_) renderer_->ReleasePrimitive(cmd);
    for (STRU_DRAW_COMMAND_BASE* cmd : {latinText_, chineseText_, outlinedText_, wrappedText_, counterText_})
        renderer_->ReleasePrimitive(cmd);
    if (opaqueTexture_) renderer_->DestroyTexture(opaqueTexture_);
    if (translucentTexture_) renderer_->DestroyTexture(translucentTexture_);
}

void Scene::WriteMemoryTextures() {
    std::vector<std::uint32_t> pixels(32 * 32);
    if (opaqueTexture_) {
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) pixels[y * 32 + x] = ((x / 4 + y / 4) % 2) ? 0xFFE0E0E0u : 0xFF205080u;
        opaqueTexture_->UpdateRect(pixels.data(), 32, 32, 32 * 4, 32, 0, 0);
    }
    if (translucentTexture_) {
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                const double d = std::hypot(x - 15.5, y - 15.5);
                const unsigned a = d > 15.5 ? 0u : static_cast<unsigned>(255.0 * (1.0 - d / 16.0));
                pixels[y * 32 + x] = (a << 24) | 0x00FFC040u;
            }
        translucentTexture_->UpdateRect(pixels.data(), 32, 32, 32 * 4, 32, 0, 0);
    }
}

int Scene::SpritesPerFrame() const { return kMemorySprites + static_cast<int>(fileSprites_.size()); }

bool Scene::HasText() const { return hasText_; }

int Scene::LoadedFilesOfGroup(int group) const {
    int loaded = 0;
    for (int i = 0; i < kFilesPerGroup; ++i)
        if (renderer_->IsTextureLoaded(FileName(group * kFilesPerGroup + i).c_str())) ++loaded;
    return loaded;
}

int Scene::Draw(int frame, int width, int height) {
    return DrawMemorySprites(frame, width, height) + DrawFileSprites(frame, width) + DrawShapes(frame, width, height);
}

int Scene::DrawShapes(int frame, int width, int height) {
    STRU_DRAW_COMMAND_BASE* scratch = ScratchCommand();
    const int cx = width / 2, cy = height / 2;
    constexpr int kPoints = 64, kLines = 12;
    // Points on a circle, lines fanning out, a filled and an outlined triangle and rectangle.
    for (int i = 0; i < kPoints; ++i) {
        const double a = i * 0.0981748 + frame * 0.02;
        renderer_->DrawPoint(scratch, cx + static_cast<int>(100 * std::cos(a)),
                             cy + static_cast<int>(100 * std::sin(a)), 0xFFFFFFFFu);
    }
    for (int i = 0; i < kLines; ++i) {
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
    return kPoints + kLines + 6;
}

int Scene::DrawMemorySprites(int frame, int width, int height) {
    int submitted = 0;
    for (int i = 0; i < kMemorySprites; ++i) {
        ITexture* texture = (i % 3 == 0) ? translucentTexture_ : opaqueTexture_;
        if (texture == nullptr) continue;
        const int x = static_cast<int>((i * 37 + frame * (1 + i % 5)) % (width + kSpriteSide)) - kSpriteSide;
        const int y = static_cast<int>((i * 53) % (height + kSpriteSide)) - kSpriteSide;
        const RECT destination{x, y, x + kSpriteSide, y + kSpriteSide};
        const RECT source{0, 0, 32, 32};
        renderer_->DrawTexture(texture, &destination, &source, 0xFFFFFFFFu, 0);
        ++submitted;
    }
    return submitted;
}

int Scene::DrawFileSprites(int frame, int width) {
    // A new group of files every few seconds' worth of frames: the commands take the new
    // textures, and the old ones lose their last reference and go idle.
    if (frame > 0 && frame % kFramesPerGroup == 0) {
        const int group = (frame / kFramesPerGroup) % kFileGroups;
        for (std::size_t f = 0; f < fileSprites_.size(); ++f)
            renderer_->SetTexture(fileSprites_[f], FileName(group * kFilesPerGroup + static_cast<int>(f)).c_str(), false);
    }
    // Nothing shows of a sprite until its file has loaded.
    for (std::size_t f = 0; f < fileSprites_.size(); ++f) {
        const int i = static_cast<int>(f);
        const int x = (i * 72 + frame * 2) % (width + 96) - 96;
        const int y = 140 + (i % 4) * 100 + static_cast<int>(30 * std::sin((frame + i * 20) * 0.05));
        const RECT destination{x, y, x + 96, y + 96};
        renderer_->DrawTexturePrimitiveEx(fileSprites_[f], x, y, 0xFFFFFFFFu, &destination, nullptr);
    }
    return static_cast<int>(fileSprites_.size());
}

int Scene::DrawTextLines(int frame, int width, int height) {
    STRU_DRAW_COMMAND_BASE* scratch = ScratchCommand();
    // A small target has room for the counter only: the two long lines would run past its edge.
    const bool small = width < 400;
    const int lineHeight = small ? 22 : 28;
    const int lines = small ? 1 : 3;
    renderer_->DrawRect(scratch, 0, 0, width, 8 + lines * lineHeight, kPanel, true);

    char counter[96];
    std::snprintf(counter, sizeof(counter), "Frame %03d of a %dx%d target", frame, width, height);
    std::u16string counterText(counter, counter + std::strlen(counter));
    renderer_->SetText(counterText_, counterText.c_str());

    int y = 6;
    renderer_->DrawText(counterText_, 8, y, 0xFFFFFFFFu, false, 0, 0);
    // Outlined over the sprites, where the outline keeps it readable.
    renderer_->DrawText(outlinedText_, 12, height / 2 + (small ? 10 : 60), 0xFFFFFFFFu, true, 0xFF000000u, 1);
    if (small) return 3;
    y += lineHeight;
    renderer_->DrawText(latinText_, 8, y, 0xFFE0E8FFu, false, 0, 0);
    y += lineHeight;
    renderer_->DrawText(chineseText_, 8, y, 0xFFFFE080u, false, 0, 0);
    // The paragraph in a framed box low on the right.
    const RECT box{width - 330, height - 150, width - 20, height - 60};
    renderer_->DrawRect(scratch, box.left - 6, box.top - 6, box.right + 6, box.bottom + 6, kPanel, true);
    renderer_->DrawRect(scratch, box.left - 6, box.top - 6, box.right + 6, box.bottom + 6, 0xFF8090A0u, false);
    renderer_->DrawTextInRect(wrappedText_, box.left, box.top, box.right, box.bottom, 0xFFFFFFFFu, true, false, 0, 0);
    return 8;
}

}  // namespace demo
