// The differential frame test: a seeded random host script drives the renderer through
// IRenderer for many frames (textures created, destroyed, swapped on commands and written
// in the middle of frames; points, lines, triangles, rectangles and sprites at scales 1 and
// 2, opaque and translucent; device losses and display-mode changes between frames) while a
// plain reference (frame_reference.h) draws the same submissions one by one. Every frame
// must match pixel for pixel: the reference samples a texture as the renderer's atlas does
// at texel centres, so no tolerance is needed.
//
// CI runs a few seeds; LUMI_FRAME_SEEDS=<n> runs n seeds of many more frames each.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/format_helpers.h"
#include "core/render_target.h"
#include "draw/draw_commands.h"
#include "tests/draw/frame_reference.h"
#include "tests/draw/tex_mgr_fixture.h"

namespace lumi::test {
namespace {

constexpr int kCiSeeds = 3;
constexpr int kCiFrames = 12;
constexpr int kLongFrames = 40;
constexpr int kOperationsPerFrame = 250;
constexpr int kHostCommands = 8;
constexpr int kMostHostTextures = 16;
constexpr int kFewestHostTextures = 4;

struct DisplayMode {
    int width;
    int height;
};
constexpr DisplayMode kModes[2] = {{320, 240}, {256, 192}};

// The image files the script draws from: BMP files take the opaque format, PNG files the
// alpha format; a 20-texel image is padded to 32.
struct FileImage {
    const char16_t* path;
    int side;
    DWORD type;
};
constexpr FileImage kFiles[] = {{u"tex/d16.bmp", 16, kRasterTypeBmp},
                                {u"tex/d20.bmp", 20, kRasterTypeBmp},
                                {u"tex/d32.bmp", 32, kRasterTypeBmp},
                                {u"tex/d32.png", 32, kRasterTypePng},
                                {u"tex/d64.png", 64, kRasterTypePng}};

std::uint32_t FileTexel(int file, int x, int y) {
    return 0xFF000000u | static_cast<std::uint32_t>((x * 7 + file * 50) & 0xFF) << 16 |
           static_cast<std::uint32_t>((y * 11 + file * 30) & 0xFF) << 8 |
           static_cast<std::uint32_t>((x * y + file * 90) & 0xFF);
}

class FrameDifferentialTest : public TexMgrTest {
protected:
    struct HostTexture {
        ITexture* texture = nullptr;
        FrameReference::TextureRef model;
        const char16_t* path = nullptr;  // file textures; null for the host's own
    };
    using HostTextureRef = std::shared_ptr<HostTexture>;
    struct HostCommand {
        STRU_DRAW_COMMAND_BASE* cmd = nullptr;
        HostTextureRef texture;
    };

    void TearDown() override {
        EndScript();
        TexMgrTest::TearDown();
    }

    // Runs `frames` frames of the script of `seed`; a frame that differs ends it with a
    // failure naming the seed, the frame and the first pixels that differ.
    void RunSeed(unsigned seed, int frames) {
        StartScript(seed);
        FrameReference reference(mode_.width, mode_.height);
        ASSERT_TRUE(reference.Ready());
        reference_ = &reference;
        for (int frame = 0; frame < frames; ++frame) {
            if (frame > 0) BetweenFrames();
            renderer_->OnFrameBegin();
            renderer_->BeginScene();
            for (int i = 0; i < kOperationsPerFrame; ++i) Operate();
            ASSERT_TRUE(renderer_->EndScene(true));
            renderer_->OnFrameEnd();
            const std::string difference = Compare(reference.Flush());
            if (!difference.empty()) {
                ADD_FAILURE() << "seed " << seed << ", frame " << frame << ": " << difference;
                break;
            }
        }
        reference_ = nullptr;
        EndScript();
    }

private:
    int Pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(rng_); }
    int Between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
    bool Chance(int percent) { return Pick(100) < percent; }
    std::uint32_t AnyTexel() { return static_cast<std::uint32_t>(rng_()); }
    D3DCOLOR AnyColor() {
        switch (Pick(3)) {
            case 0: return 0xFFFFFFFF;
            case 1: return 0xFF000000u | (AnyTexel() & 0xFFFFFF);
            default: return static_cast<D3DCOLOR>(Between(0x30, 0xE0)) << 24 | (AnyTexel() & 0xFFFFFF);
        }
    }

    void StartScript(unsigned seed) {
        rng_.seed(seed);
        mode_ = kModes[0];
        if (renderer_->GetWidth() != mode_.width) {
            ASSERT_TRUE(renderer_->ChangeDisplayMode(mode_.width, mode_.height, 32, 1, false, true));
        }
        for (int i = 0; i < static_cast<int>(std::size(kFiles)); ++i) {
            const FileImage& file = kFiles[i];
            WriteImage(file.path, file.side, file.side, file.type, [i](int x, int y) { return FileTexel(i, x, y); });
            auto texture = std::make_shared<HostTexture>();
            texture->path = file.path;
            texture->texture = renderer_->CreateTexture(file.path);
            ASSERT_TRUE(LoadNow(static_cast<CD3DTexture*>(texture->texture)));
            auto model = std::make_shared<FrameReference::Texture>();
            model->width = static_cast<int>(NextPowerOfTwo(static_cast<std::uint32_t>(file.side)));
            model->height = model->width;
            model->format = file.type == kRasterTypePng ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
            model->texels.assign(static_cast<std::size_t>(model->width * model->height), 0);
            for (int y = 0; y < file.side; ++y)
                for (int x = 0; x < file.side; ++x) model->texels[y * model->width + x] = FileTexel(i, x, y);
            texture->model = model;
            files_.push_back(texture);
        }
        for (int i = 0; i < kHostCommands; ++i) commands_.push_back({renderer_->CreatePrimitive(kDrawCmdTexturedRect), {}});
        while (static_cast<int>(hostTextures_.size()) < kFewestHostTextures * 2) CreateHostTexture();
        SetScale(1.0f);
    }

    void EndScript() {
        for (HostCommand& command : commands_) renderer_->ReleasePrimitive(command.cmd);
        commands_.clear();
        for (const HostTextureRef& texture : hostTextures_) renderer_->DestroyTexture(texture->texture);
        hostTextures_.clear();
        files_.clear();
    }

    // ---- Textures ----

    void CreateHostTexture() {
        static constexpr int kSides[] = {8, 16, 20, 32, 48, 64};
        const int width = kSides[Pick(6)];
        const int height = Chance(50) ? width : kSides[Pick(6)];
        auto model = std::make_shared<FrameReference::Texture>();
        model->width = width;
        model->height = height;
        model->format = Chance(50) ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
        model->texels.resize(static_cast<std::size_t>(width * height));
        for (std::uint32_t& texel : model->texels) texel = AnyTexel();
        auto texture = std::make_shared<HostTexture>();
        texture->model = model;
        texture->texture = renderer_->CreateTexture(width, height, model->format, 0);
        ASSERT_NE(texture->texture, nullptr);
        WriteWhole(*texture);
        hostTextures_.push_back(texture);
    }

    void WriteWhole(const HostTexture& texture) {
        const FrameReference::Texture& model = *texture.model;
        EXPECT_TRUE(texture.texture->UpdateRect(model.texels.data(), model.width, model.height, model.width * 4, 32, 0, 0));
    }

    void UpdateHostTexture() {
        HostTexture& texture = *hostTextures_[Pick(static_cast<int>(hostTextures_.size()))];
        FrameReference::Texture& model = *texture.model;
        const int x = Pick(model.width);
        const int y = Pick(model.height);
        const int width = Between(1, model.width - x);
        const int height = Between(1, model.height - y);
        std::vector<std::uint32_t> texels(static_cast<std::size_t>(width * height));
        for (std::uint32_t& texel : texels) texel = AnyTexel();
        ASSERT_TRUE(texture.texture->UpdateRect(texels.data(), width, height, width * 4, 32, x, y));
        for (int row = 0; row < height; ++row)
            for (int column = 0; column < width; ++column)
                model.texels[(y + row) * model.width + x + column] = texels[row * width + column];
    }

    // The host lets go of a texture: every command drops it first, so that the destruction is
    // not refused; a draw queued from it this frame still draws it.
    void DestroyHostTexture() {
        const int at = Pick(static_cast<int>(hostTextures_.size()));
        const HostTextureRef texture = hostTextures_[at];
        for (HostCommand& command : commands_) {
            if (command.texture != texture) continue;
            renderer_->AttachTexture(command.cmd, nullptr, 0);
            command.texture.reset();
        }
        renderer_->DestroyTexture(texture->texture);
        hostTextures_.erase(hostTextures_.begin() + at);
    }

    HostTextureRef AnyTexture() {
        const int count = static_cast<int>(files_.size() + hostTextures_.size());
        const int at = Pick(count);
        return at < static_cast<int>(files_.size()) ? files_[at] : hostTextures_[at - files_.size()];
    }

    void SwapCommandTexture() {
        HostCommand& command = commands_[Pick(kHostCommands)];
        command.texture = Chance(15) ? HostTextureRef() : AnyTexture();
        if (command.texture && command.texture->path != nullptr) {
            ASSERT_TRUE(renderer_->SetTexture(command.cmd, command.texture->path, true));
        } else {
            renderer_->AttachTexture(command.cmd, command.texture ? command.texture->texture : nullptr, 0);
        }
    }

    // ---- Drawing ----

    void SetScale(float scale) {
        scale_ = scale;
        renderer_->GetMainWindow()->SetScale(scale);
    }

    int AnyX() { return Between(-8, mode_.width + 8); }
    int AnyY() { return Between(-8, mode_.height + 8); }

    void Sprite(bool hostCommand) {
        HostCommand* command = hostCommand ? &commands_[Pick(kHostCommands)] : nullptr;
        const HostTextureRef texture = command != nullptr ? command->texture : AnyTexture();
        if (!texture) return;  // a command without texture draws nothing
        const FrameReference::Texture& model = *texture->model;
        RECT source{0, 0, model.width, model.height};
        if (Chance(30)) {
            source.left = Pick(model.width);
            source.top = Pick(model.height);
            source.right = Between(source.left + 1, model.width);
            source.bottom = Between(source.top + 1, model.height);
        }
        const int stretch = Chance(35) ? 2 : 1;
        const int x = AnyX();
        const int y = AnyY();
        const RECT destination{x, y, x + (source.right - source.left) * stretch, y + (source.bottom - source.top) * stretch};
        static constexpr std::int32_t kFlags[] = {0, 1, 2, 0x20002};
        const std::int32_t flags = kFlags[Pick(4)];
        const D3DCOLOR color = AnyColor();
        if (command != nullptr) {
            renderer_->DrawTexturePrimitive(command->cmd, &source, &destination, flags, color);
        } else {
            renderer_->DrawTexture(texture->texture, &destination, &source, color, flags);
        }
        reference_->Sprite(texture->model, source, destination, color, flags, scale_);
    }

    void Shape() {
        const D3DCOLOR color = AnyColor();
        switch (Pick(4)) {
            case 0: {
                const int x = AnyX();
                const int y = AnyY();
                renderer_->DrawPoint(ScratchCommand(), x, y, color);
                reference_->Point(x, y, color, scale_);
                break;
            }
            case 1: {
                const int x1 = AnyX(), y1 = AnyY(), x2 = AnyX(), y2 = AnyY();
                renderer_->DrawLine(ScratchCommand(), x1, y1, x2, y2, color);
                reference_->Line(x1, y1, x2, y2, color, scale_);
                break;
            }
            case 2: {
                const int x = AnyX();
                const int y = AnyY();
                const RECT rect{x, y, x + Between(1, 60), y + Between(1, 60)};
                const bool filled = Chance(75);
                renderer_->DrawRect(ScratchCommand(), rect.left, rect.top, rect.right, rect.bottom, color, filled);
                reference_->Rect(rect, color, filled, scale_);
                break;
            }
            default: {
                const int x = AnyX();
                const int y = AnyY();
                const int x2 = x + Between(-50, 50), y2 = y + Between(-50, 50);
                const int x3 = x + Between(-50, 50), y3 = y + Between(-50, 50);
                const bool filled = Chance(75);
                renderer_->DrawTriangle(ScratchCommand(), x, y, x2, y2, x3, y3, color, filled);
                reference_->Triangle(x, y, x2, y2, x3, y3, color, filled, scale_);
                break;
            }
        }
    }

    void Operate() {
        const int roll = Pick(100);
        if (roll < 30) return Sprite(false);
        if (roll < 45) return Sprite(true);
        if (roll < 80) return Shape();
        if (roll < 86) return SwapCommandTexture();
        if (roll < 92) return UpdateHostTexture();
        if (roll < 95) {
            if (static_cast<int>(hostTextures_.size()) < kMostHostTextures) CreateHostTexture();
            return;
        }
        if (roll < 98) {
            if (static_cast<int>(hostTextures_.size()) > kFewestHostTextures) DestroyHostTexture();
            return;
        }
        SetScale(scale_ == 1.0f ? 2.0f : 1.0f);
    }

    // ---- Between frames ----

    void BetweenFrames() {
        const int roll = Pick(100);
        if (roll < 8) {
            // A lost frame draws nothing; the next one resets the device.
            d3d9ctl::LoseDevice();
            RunFrame();
            ASSERT_TRUE(Renderer()->IsDeviceLost());
            d3d9ctl::RestoreDevice();
            reference_->Recover();
        } else if (roll < 14) {
            mode_ = mode_.width == kModes[0].width ? kModes[1] : kModes[0];
            ASSERT_TRUE(renderer_->ChangeDisplayMode(mode_.width, mode_.height, 32, 1, false, true));
            // Every texture was unloaded: the host writes its own again, files load again,
            // and the new main window draws at scale 1.
            for (const HostTextureRef& texture : hostTextures_) WriteWhole(*texture);
            for (const HostTextureRef& file : files_) ASSERT_TRUE(LoadNow(static_cast<CD3DTexture*>(file->texture)));
            scale_ = 1.0f;
            reference_->Resize(mode_.width, mode_.height);
        }
    }

    // Empty when the window shows what the reference drew.
    std::string Compare(const std::vector<std::uint32_t>& expected) const {
        int width = 0;
        int height = 0;
        const std::uint32_t* shown = win32::WindowPixels(window_, &width, &height);
        if (shown == nullptr || width != mode_.width || height != mode_.height ||
            expected.size() != static_cast<std::size_t>(width * height)) {
            return "no frame to compare";
        }
        int differing = 0;
        std::ostringstream first;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const std::uint32_t got = shown[y * width + x] & 0xFFFFFF;
                const std::uint32_t want = expected[y * width + x];
                if (got == want) continue;
                if (differing++ < 5) first << std::hex << " (" << std::dec << x << ", " << y << ") 0x" << std::hex << got
                                           << " instead of 0x" << want << ";";
            }
        }
        if (differing == 0) return {};
        return std::to_string(differing) + " pixels differ:" + first.str();
    }

    std::mt19937 rng_;
    DisplayMode mode_ = kModes[0];
    float scale_ = 1.0f;
    FrameReference* reference_ = nullptr;
    std::vector<HostTextureRef> files_;
    std::vector<HostTextureRef> hostTextures_;
    std::vector<HostCommand> commands_;
};

TEST_F(FrameDifferentialTest, EveryFrameMatchesAPlainReference) {
    const char* seeds = std::getenv("LUMI_FRAME_SEEDS");
    const int count = seeds != nullptr ? std::atoi(seeds) : kCiSeeds;
    const int frames = seeds != nullptr ? kLongFrames : kCiFrames;
    for (int seed = 1; seed <= count && !HasFailure(); ++seed) RunSeed(static_cast<unsigned>(seed), frames);
}

}  // namespace
}  // namespace lumi::test
