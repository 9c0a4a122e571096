// CLumiscriber: render windows, window size, sound interface, and the operations on
// textures, host cells and image files (the hardware cursor is in lumiscriber_cursor.cpp).
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>

#include "core/event_log.h"
#include "core/exception.h"
#include "core/format_helpers.h"
#include "core/frame_clock.h"
#include "core/lumiscriber.h"
#include "core/render_target_texture.h"
#include "core/render_window.h"
#include "core/scene_manager.h"
#include "core/swap_chain.h"
#include "core/viewport.h"
#include "draw/d3d_texture.h"
#include "draw/draw_commands.h"
#include "draw/huge_texture.h"
#include "draw/level_readback.h"
#include "draw/tex_mgr.h"
#include "draw/texture_cell.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/dxerr/dxerr.h"
#include "platform/win32/window.h"

IRenderTarget* CLumiscriber::GetMainWindow() { return mainWindow_.get(); }

std::int16_t CLumiscriber::GetWidth() { return static_cast<std::int16_t>(param_.Width); }

std::int16_t CLumiscriber::GetHeight() { return static_cast<std::int16_t>(param_.Height); }

void CLumiscriber::SetSoundInterface(IHostSoundSystem* sound) { sound_ = sound; }

void CLumiscriber::UnsupportedMethodA() { ThrowUnsupported(); }

void CLumiscriber::UnsupportedMethodB() { ThrowUnsupported(); }

ISwapChain* CLumiscriber::CreateRenderWindow(HWND window, std::int32_t width, std::int32_t height) {
    if (device_ == nullptr || window == nullptr || !IsWindow(window) || width <= 0 || height <= 0) return nullptr;
    char name[32];
    std::snprintf(name, sizeof(name), "AutoWindow%d", autoWindowCounter_++);
    auto* renderWindow = new CD3DRenderWindow(window, this, true);
    try {
        renderWindow->Create(name, static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), false);
        if (!RegisterRenderTarget(renderWindow)) {
            delete renderWindow;
            return nullptr;
        }
        CCamera* camera = sceneManager_ ? sceneManager_->GetCamera("DefaultCamera") : nullptr;
        viewport_t* viewport = renderWindow->AddViewport(camera, 0, 0.0f, 0.0f, 1.0f, 1.0f);
        if (viewport != nullptr) viewport->SetClearFlags(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
    } catch (...) {
        UnregisterRenderTarget(renderWindow);
        delete renderWindow;
        throw;
    }
    extraWindows_.push_back(renderWindow);
    return renderWindow->GetSwapChain();
}

// Looks the handle up without touching it, so a handle the renderer no longer knows (or
// never made) is harmless.
CD3DRenderWindow* CLumiscriber::FindExtraWindow(const ISwapChain* swapChain) const {
    if (swapChain == nullptr) return nullptr;
    for (CD3DRenderWindow* window : extraWindows_) {
        if (window->GetSwapChain() == swapChain) return window;
    }
    return nullptr;
}

void CLumiscriber::DestroyRenderWindow(ISwapChain* swapChain) {
    CD3DRenderWindow* window = FindExtraWindow(swapChain);
    if (window == nullptr) return;
    const bool wasCurrent = currentTarget_ == window;
    UnregisterRenderTarget(window);
    for (auto it = extraWindows_.begin(); it != extraWindows_.end(); ++it) {
        if (*it == window) {
            extraWindows_.erase(it);
            break;
        }
    }
    delete window;
    // Draws must never go into a window that is gone: they fall back to the main window.
    if (wasCurrent) SelectRenderTarget(nullptr);
}

IRenderTarget* CLumiscriber::SelectRenderWindow(ISwapChain* swapChain) {
    if (swapChain == nullptr) return SelectRenderTarget(nullptr);
    CD3DRenderWindow* window = FindExtraWindow(swapChain);
    if (window == nullptr) return currentTarget_;
    return SelectRenderTarget(window);
}

// ---- Textures ----

namespace {

constexpr DWORD kDynamicUsage = 0x200;  // D3DUSAGE_DYNAMIC: the host asks for a pooled texture
constexpr std::uint32_t kLargestSide = 0xFFFF;  // texture sides are 16-bit
constexpr D3DCOLOR kDrawAsIs = 0xFFFFFFFF;

// Copies `path` into the shared path buffer in key form. Throws "string overflow." past 259
// units, as the texture manager would for the same name.
const WCHAR* ToPathBuffer(const WCHAR* path) {
    std::size_t length = 0;
    for (; path[length] != 0; ++length) {
        if (length + 1 >= static_cast<std::size_t>(kPathBufferUnits)) throw lumi::Exception("string overflow.");
        g_PathBuffer[length] = path[length];
    }
    g_PathBuffer[length] = 0;
    NormalizePath(g_PathBuffer);
    return g_PathBuffer;
}

bool IsEmpty(const WCHAR* text) { return text == nullptr || *text == 0; }

// Whether the image of a file that D3DX is about to decode into an A8R8G8B8 texture fits the
// device and the load budget; a refusal is logged with the operation's name.
bool AdmitImageFile(IDirect3DDevice9* device, bool squareOnly, const D3DXIMAGE_INFO& info, const char16_t* operation,
                    const WCHAR* path) {
    char reason[192];
    if (AdmitImage(LimitsOfDevice(device, squareOnly, D3DFMT_A8R8G8B8), info.Width, info.Height,
                   LoadCostBytes(0, info.Width, info.Height, kDecodeBytesPerPixel, 4, 1), reason, sizeof(reason)))
        return true;
    WriteLog(u"CLumiscriber::%s() refused.[%s] %hs", operation, path, reason);
    return false;
}

// The host's texture as the library's own; null for anything else.
CD3DTexture* AsTexture(ITexture* texture) {
    auto* d3dTexture = static_cast<CD3DTexture*>(texture);
    return d3dTexture != nullptr && d3dTexture->GetTag() == CD3DTexture::kTag ? d3dTexture : nullptr;
}

// Type-5 commands only; the scratch value and other types are refused.
STRU_RECT_COMMAND* TexturedCommand(STRU_DRAW_COMMAND_BASE* cmd) {
    if (cmd == nullptr || IsScratchCommand(cmd) || cmd->type != kDrawCmdTexturedRect) return nullptr;
    return static_cast<STRU_RECT_COMMAND*>(cmd);
}

// The command takes a reference on `texture` (null leaves it without one) and gives up the
// one it held.
void SwapCommandTexture(STRU_RECT_COMMAND* cmd, CD3DTexture* texture) {
    if (cmd->texture == texture) return;
    if (texture != nullptr) texture->AddRef();
    if (cmd->texture != nullptr) cmd->texture->Release();
    cmd->texture = texture;
}

// Level 0 holds what the host wrote in the system copy; a render-target texture has only
// its video copy.
IDirect3DTexture9* PixelTexture(CD3DTexture* texture) {
    IDirect3DTexture9* pixels = texture->GetSystemTexture();
    return pixels != nullptr ? pixels : texture->GetD3DTexture();
}

// The text after the last '.', compared without case; none and unknown ones give BMP.
D3DXIMAGE_FILEFORMAT FileTypeOf(const WCHAR* path, bool withDdsAndDib) {
    const WCHAR* dot = nullptr;
    for (const WCHAR* at = path; *at != 0; ++at) {
        if (*at == u'.') dot = at;
    }
    if (dot == nullptr) return D3DXIFF_BMP;
    std::string extension;
    for (const WCHAR* at = dot + 1; *at != 0; ++at) {
        const WCHAR unit = *at;
        extension.push_back(unit < 0x80 ? static_cast<char>(std::tolower(static_cast<int>(unit))) : '?');
    }
    if (extension == "jpg") return D3DXIFF_JPG;
    if (extension == "tga") return D3DXIFF_TGA;
    if (extension == "png") return D3DXIFF_PNG;
    if (withDdsAndDib && extension == "dds") return D3DXIFF_DDS;
    if (withDdsAndDib && extension == "dib") return D3DXIFF_DIB;
    return D3DXIFF_BMP;
}

// The log line of SaveTexture for the call that failed to read a level back.
const char16_t* ReadbackErrorFormat(CLevelReadback::Step step) {
    switch (step) {
    case CLevelReadback::Step::kLevelDesc: return u"IDirect3DTexture9::GetLevelDesc() error. Desc = [%s]";
    case CLevelReadback::Step::kSurfaceLevel: return u"IDirect3DDevice9::GetSurfaceLevel() error. Desc = [%s]";
    case CLevelReadback::Step::kCreateCopy: return u"IDirect3DDevice9::CreateOffscreenPlainSurface error. Desc = [%s]";
    default: return u"IDirect3DDevice9::GetRenderTargetData() error. Desc = [%s]";
    }
}

bool HasAlphaChannel(D3DFORMAT format) {
    return GetAlphaChannelBits(format) > 0 || format == D3DFMT_A8 || format == D3DFMT_DXT2 ||
           format == D3DFMT_DXT3 || format == D3DFMT_DXT4 || format == D3DFMT_DXT5;
}

// Owns one reference of a Direct3D object for the length of a scope.
template <class T>
class ComRef {
public:
    ComRef() = default;
    ~ComRef() {
        if (object_ != nullptr) object_->Release();
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    T** Out() { return &object_; }
    T* Get() const { return object_; }

private:
    T* object_ = nullptr;
};

// Calls `visit(x, y, alpha)` for every pixel of a locked A8R8G8B8 level 0 until it returns
// false.
template <class Visit>
void ForEachAlpha(const D3DLOCKED_RECT& locked, UINT width, UINT height, Visit visit) {
    const auto* rows = static_cast<const std::uint8_t*>(locked.pBits);
    for (UINT y = 0; y < height; ++y) {
        const std::uint8_t* row = rows + static_cast<std::size_t>(y) * static_cast<std::size_t>(locked.Pitch);
        for (UINT x = 0; x < width; ++x) {
            if (!visit(x, y, row[x * 4 + 3])) return;
        }
    }
}

}  // namespace

ITexture* CLumiscriber::CreateUITexture(std::int32_t width, std::int32_t height) {
    if (!texMgr_ || width < 0 || height < 0 || static_cast<std::uint32_t>(width) > kLargestSide ||
        static_cast<std::uint32_t>(height) > kLargestSide)
        return nullptr;
    return texMgr_->CreateUITexture(static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height));
}

ITexture* CLumiscriber::CreateTexture(std::int32_t width, std::int32_t height, D3DFORMAT format, DWORD usage) {
    if (format != D3DFMT_A8R8G8B8 && format != D3DFMT_X8R8G8B8 && format != D3DFMT_A4R4G4B4) {
        WriteLog(u"CLumiscriber::CreateTexture() - unknown texture format.");
        return nullptr;
    }
    if (!texMgr_ || width < 0 || height < 0 || static_cast<std::uint32_t>(width) > kLargestSide ||
        static_cast<std::uint32_t>(height) > kLargestSide)
        return nullptr;
    return texMgr_->CreateTexture(static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), format, usage,
                                  (usage & kDynamicUsage) != 0);
}

ITexture* CLumiscriber::CreateTexture(const WCHAR* path) {
    if (IsEmpty(path) || !texMgr_) return nullptr;
    CD3DTexture* texture = texMgr_->FindOrCreateTexture(ToPathBuffer(path), true);
    if (texture == nullptr) WriteLog(u"CLumiscriber::CreateTexture(apszTex) failed. apszTex=[%s]", path);
    return texture;
}

ITexture* CLumiscriber::CreateTexture() {
    CD3DTexture* texture = texMgr_ ? texMgr_->CreateTexture() : nullptr;
    if (texture == nullptr) WriteLog(u"CLumiscriber::CreateTexure() failed.");
    return texture;
}

ITexture* CLumiscriber::CreateMaskTexture(float size) {
    // NaN, negative and oversized sides make no texture.
    if (!texMgr_ || !(size >= 0.0f && size < static_cast<float>(kLargestSide + 1))) return nullptr;
    const auto side = static_cast<std::uint16_t>(size);
    return texMgr_->CreateMaskTexture(side, side);
}

void CLumiscriber::DestroyTexture(ITexture* texture) {
    if (texMgr_) texMgr_->DestroyTexture(AsTexture(texture));
}

ITextureCell* CLumiscriber::AllocTextureCell(std::int32_t size) {
    if (!texMgr_ || size < 0 || static_cast<std::uint32_t>(size) > kLargestSide) return nullptr;
    return texMgr_->CreateTextureCell(static_cast<std::uint32_t>(size));
}

void CLumiscriber::ReleaseTextureCell(ITextureCell** cell) {
    if (cell == nullptr || *cell == nullptr) return;
    auto* held = static_cast<CTextureCell*>(*cell);
    *cell = nullptr;
    // The host gave the cell back itself: its listener is forgotten, not told.
    held->listener = nullptr;
    if (held->page != nullptr) held->page->FreeCell(held);
}

void CLumiscriber::PreloadTexture(const WCHAR* path) {
    if (IsEmpty(path) || !texMgr_) return;
    CD3DTexture* texture = texMgr_->FindOrCreateTexture(ToPathBuffer(path), false);
    if (texture != nullptr && !texture->IsLoaded()) texture->Restore();
}

bool CLumiscriber::IsTextureLoaded(const WCHAR* path) {
    if (IsEmpty(path) || !texMgr_) return false;
    // A name too long for the buffer is never registered.
    if (std::char_traits<WCHAR>::length(path) >= static_cast<std::size_t>(kPathBufferUnits)) return false;
    return texMgr_->IsTextureLoaded(ToPathBuffer(path));
}

bool CLumiscriber::IsPrimitiveTextureLoaded(STRU_DRAW_COMMAND_BASE* cmd) {
    STRU_RECT_COMMAND* rect = TexturedCommand(cmd);
    if (rect == nullptr) return false;
    if (rect->texture == nullptr) return true;
    rect->texture->Restore();
    return rect->texture->IsLoaded();
}

bool CLumiscriber::SetTexture(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* path, bool urgent) {
    STRU_RECT_COMMAND* rect = TexturedCommand(cmd);
    if (rect == nullptr || !texMgr_) return false;
    CD3DTexture* texture = nullptr;
    if (!IsEmpty(path)) {
        texture = texMgr_->FindOrCreateTexture(ToPathBuffer(path), urgent);
        if (texture == nullptr) {
            WriteLog(u"CLumiscriber::SetTexture() failed. tex=[%s]", path);
            return false;
        }
    }
    SwapCommandTexture(rect, texture);
    if (texture != nullptr && !texture->IsLoaded()) texture->Restore();
    return true;
}

bool CLumiscriber::AttachTexture(STRU_DRAW_COMMAND_BASE* cmd, ITexture* texture, std::int32_t) {
    STRU_RECT_COMMAND* rect = TexturedCommand(cmd);
    CD3DTexture* d3dTexture = AsTexture(texture);
    if (rect == nullptr || (texture != nullptr && d3dTexture == nullptr)) return false;
    SwapCommandTexture(rect, d3dTexture);
    if (d3dTexture != nullptr && !d3dTexture->IsLoaded()) d3dTexture->Restore();
    // Hosts ignore the result, so it stays false even when the texture was attached.
    return false;
}

bool CLumiscriber::GetTextureSize(STRU_DRAW_COMMAND_BASE* cmd, std::int16_t* width, std::int16_t* height) {
    STRU_RECT_COMMAND* rect = TexturedCommand(cmd);
    if (rect == nullptr || rect->texture == nullptr) return false;
    if (width != nullptr) *width = static_cast<std::int16_t>(rect->texture->GetWidth());
    if (height != nullptr) *height = static_cast<std::int16_t>(rect->texture->GetHeight());
    return true;
}

bool CLumiscriber::IsPixelTransparent(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y) {
    STRU_RECT_COMMAND* rect = TexturedCommand(cmd);
    if (deviceLost_ || rect == nullptr || rect->texture == nullptr || !rect->texture->HasAlphaFormat()) return true;
    return rect->texture->IsPixelTransparent(x, y);
}

D3DCOLOR CLumiscriber::GetPixelColor(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y) {
    STRU_RECT_COMMAND* rect = TexturedCommand(cmd);
    if (rect == nullptr || rect->texture == nullptr) return 0;
    return rect->texture->GetPixel(x, y);
}

bool CLumiscriber::SavePrimitiveTexture(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* path, const RECT* rect) {
    STRU_RECT_COMMAND* textured = TexturedCommand(cmd);
    if (textured == nullptr || textured->texture == nullptr || IsEmpty(path)) return false;
    return textured->texture->SaveToFile(path, rect);
}

void CLumiscriber::DumpTextureAtlas() {
    if (texMgr_) texMgr_->DumpAtlasPages();
}

// ---- Image files ----

bool CLumiscriber::SaveTexture(ITexture* texture, const WCHAR* path) {
    CD3DTexture* d3dTexture = AsTexture(texture);
    if (d3dTexture == nullptr || IsEmpty(path)) return false;
    d3dTexture->Restore();
    IDirect3DTexture9* pixels = d3dTexture->GetMemory() != nullptr ? PixelTexture(d3dTexture) : nullptr;
    if (pixels == nullptr || device_ == nullptr) {
        WriteLog(u"CLumiscriber::SaveTexture() - tex no memory alloc.");
        return false;
    }
    CLevelReadback level;
    if (!level.Read(device_, pixels)) {
        WriteLog(ReadbackErrorFormat(level.FailedStep()), DXGetErrorDescriptionW(level.Error()));
        return false;
    }
    const HRESULT hr = D3DXSaveSurfaceToFileW(path, FileTypeOf(path, true), level.Surface(), nullptr, nullptr);
    if (FAILED(hr)) {
        WriteLog(u"CLumiscriber::SaveTexture() error.");
        WriteLog(u"D3DXSaveSurfaceToFile() failed. [%s] file=[%s]", DXGetErrorDescriptionW(hr), path);
        return false;
    }
    return true;
}

bool CLumiscriber::SaveImageRegion(const WCHAR* imagePath, const RECT* region, const WCHAR* outPath,
                                   const SIZE* size) {
    if (!texMgr_ || device_ == nullptr || IsEmpty(imagePath) || IsEmpty(outPath)) return false;
    IDirect3DSurface9* cached = texMgr_->GetCachedSurface(imagePath);
    if (cached == nullptr) return false;
    D3DSURFACE_DESC desc{};
    if (FAILED(cached->GetDesc(&desc))) return false;
    const RECT whole{0, 0, static_cast<LONG>(desc.Width), static_cast<LONG>(desc.Height)};
    const RECT from = region != nullptr ? *region : whole;
    const D3DXIMAGE_FILEFORMAT type = FileTypeOf(outPath, false);
    if (size == nullptr || (size->cx == from.right - from.left && size->cy == from.bottom - from.top))
        return D3DXSaveSurfaceToFileW(outPath, type, cached, nullptr, &from) == S_OK;
    if (size->cx <= 0 || size->cy <= 0) return false;
    // The region is scaled to the requested size; the surface lives for this call only, so
    // nothing of a failed call stays behind.
    ComRef<IDirect3DSurface9> scaled;
    if (FAILED(device_->CreateOffscreenPlainSurface(static_cast<UINT>(size->cx), static_cast<UINT>(size->cy),
                                                    desc.Format, D3DPOOL_SYSTEMMEM, scaled.Out(), nullptr)))
        return false;
    if (FAILED(D3DXLoadSurfaceFromSurface(scaled.Get(), nullptr, nullptr, cached, nullptr, &from, D3DX_DEFAULT, 0)))
        return false;
    return D3DXSaveSurfaceToFileW(outPath, type, scaled.Get(), nullptr, nullptr) == S_OK;
}

bool CLumiscriber::IsImageTransparent(const WCHAR* path) {
    D3DXIMAGE_INFO info{};
    if (IsEmpty(path) || FAILED(D3DXGetImageInfoFromFileW(path, &info))) return true;
    if (!HasAlphaChannel(info.Format)) return false;
    // Every alpha format is looked at in A8R8G8B8, so none is taken for transparent unseen.
    ComRef<IDirect3DTexture9> image;
    if (device_ == nullptr || !AdmitImageFile(device_, squareOnly_, info, u"IsImageTransparent", path) ||
        FAILED(D3DXCreateTextureFromFileExW(device_, path, D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT_NONPOW2, 1, 0,
                                            D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, D3DX_FILTER_NONE, D3DX_FILTER_NONE,
                                            0, nullptr, nullptr, image.Out())))
        return true;
    D3DSURFACE_DESC desc{};
    D3DLOCKED_RECT locked{};
    if (FAILED(image.Get()->GetLevelDesc(0, &desc)) || desc.Format != D3DFMT_A8R8G8B8 ||
        FAILED(image.Get()->LockRect(0, &locked, nullptr, D3DLOCK_READONLY)))
        return true;
    bool transparent = true;
    ForEachAlpha(locked, std::min(desc.Width, info.Width), std::min(desc.Height, info.Height),
                 [&](UINT, UINT, std::uint8_t alpha) {
                     if (alpha != 0) transparent = false;
                     return transparent;
                 });
    image.Get()->UnlockRect(0);
    return transparent;
}

bool CLumiscriber::GetTexOptimizationRect(const WCHAR* path, RECT* out) {
    if (out == nullptr || IsEmpty(path)) return false;
    D3DXIMAGE_INFO info{};
    if (FAILED(D3DXGetImageInfoFromFileW(path, &info))) {
        WriteLog(u"CLumiscriber::GetTexOptimizationRect() fail.");
        WriteLog(u"file not found.[%s]", path);
        return false;
    }
    // The file's format as near as the device has it: an exact request would fail for the
    // formats most devices lack (24-bit colour, colour tables).
    ComRef<IDirect3DTexture9> image;
    if (device_ == nullptr || !AdmitImageFile(device_, squareOnly_, info, u"GetTexOptimizationRect", path) ||
        FAILED(D3DXCreateTextureFromFileExW(device_, path, D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT_NONPOW2, 1, 0,
                                            D3DFMT_UNKNOWN, D3DPOOL_SYSTEMMEM, D3DX_FILTER_NONE,
                                            D3DX_FILTER_NONE, 0, nullptr, nullptr, image.Out()))) {
        WriteLog(u"CLumiscriber::GetTexOptimizationRect() fail.");
        return false;
    }
    D3DSURFACE_DESC desc{};
    D3DLOCKED_RECT locked{};
    if (FAILED(image.Get()->GetLevelDesc(0, &desc)) || FAILED(image.Get()->LockRect(0, &locked, nullptr, D3DLOCK_READONLY)))
        return false;
    if (info.Format != D3DFMT_A8R8G8B8 || desc.Format != D3DFMT_A8R8G8B8) {
        image.Get()->UnlockRect(0);
        WriteLog(u"CLumiscriber::GetTexOptimizationRect() error [%s][Not D3DFMT_A8R8G8B8 format]", path);
        *out = RECT{0, 0, static_cast<LONG>(info.Width), static_cast<LONG>(info.Height)};
        return false;
    }
    // D3DX makes the texture no larger than the device takes and, without a filter, crops
    // the image to it: the scan stays inside what was made.
    RECT box{static_cast<LONG>(info.Width), static_cast<LONG>(info.Height), 0, 0};
    ForEachAlpha(locked, std::min(desc.Width, info.Width), std::min(desc.Height, info.Height),
                 [&](UINT x, UINT y, std::uint8_t alpha) {
                     if (alpha != 0) {
                         box.left = std::min(box.left, static_cast<LONG>(x));
                         box.top = std::min(box.top, static_cast<LONG>(y));
                         box.right = std::max(box.right, static_cast<LONG>(x) + 1);
                         box.bottom = std::max(box.bottom, static_cast<LONG>(y) + 1);
                     }
                     return true;
                 });
    image.Get()->UnlockRect(0);
    *out = box.right > box.left ? box : RECT{};
    return true;
}

STRU_IMAGE_FILE_SIZE CLumiscriber::GetImageFileSize(const WCHAR* path) {
    D3DXIMAGE_INFO info{};
    if (IsEmpty(path) || FAILED(D3DXGetImageInfoFromFileW(path, &info))) return STRU_IMAGE_FILE_SIZE{0, 0};
    return STRU_IMAGE_FILE_SIZE{static_cast<std::int32_t>(info.Width), static_cast<std::int32_t>(info.Height)};
}

// ---- Drawing one texture into another ----

bool CLumiscriber::DrawTex2Tex(const WCHAR* path, const RECT* source, IRenderTarget* target, const POINT* position) {
    if (device_ == nullptr) {
        WriteLog(u"CLumiscriber::DrawTex2Tex() - \t\t\t\t\t\t\t   error invalid d3d device pointer!");
        return false;
    }
    auto* textureTarget = dynamic_cast<CD3DRenderTarget*>(target);
    viewport_t* viewport = textureTarget != nullptr ? textureTarget->GetViewport(0) : nullptr;
    if (viewport == nullptr || IsEmpty(path) || !texMgr_) {
        WriteLog(u"CLumiscriber::DrawTex2Tex() - \t\t\t\t\t\t\t   invalided param!");
        return false;
    }
    // The frame the host is building goes on afterwards as if nothing happened: its viewport
    // and its draw order come back, and this draw leaves nothing queued in the target.
    viewport_t* previous = currentViewport_;
    viewport_t* previousScene = sceneManager_ ? sceneManager_->GetCurrentViewport() : nullptr;
    const std::uint32_t previousSequence = drawSequence_;
    const std::size_t previousQueued = queuedThisFrame_.size();
    const std::size_t previousHolds = texMgr_->FrameHoldCount();
    STRU_DRAW_COMMAND_BASE* cmd = nullptr;
    auto restore = [&]() {
        // The target's layers are empty again: this draw's command and texture are let go at
        // once, also outside a frame, rather than at a frame end that may be far off.
        textureTarget->ResetViewportLayers();
        queuedThisFrame_.resize(previousQueued);
        if (cmd != nullptr) ReleasePrimitive(cmd);
        texMgr_->ReleaseFrameHolds(previousHolds);
        drawSequence_ = previousSequence;
        if (previous != nullptr) {
            ApplyViewport(previous);
        } else {
            currentViewport_ = nullptr;
            currentTarget_ = nullptr;
        }
        if (sceneManager_) sceneManager_->SetCurrentViewport(previousScene);
    };
    bool drawn = false;
    try {
        ApplyViewport(viewport);
        viewport->SetClearFlags(D3DCLEAR_ZBUFFER);
        drawSequence_ = 0;
        textureTarget->ResetViewportLayers();
        cmd = CreatePrimitive(kDrawCmdTexturedRect);
        SetTexture(cmd, path, true);
        texMgr_->WaitForResourceLoader();
        const POINT at = position != nullptr ? *position : POINT{0, 0};
        DrawTexturePrimitiveAt(cmd, at.x, at.y, source, kDrawFlagOpaque, kDrawAsIs);
        std::uint32_t vertexBytes = 0;
        std::uint32_t indexBytes = 0;
        textureTarget->GetDrawStats(&vertexBytes, &indexBytes);
        // Nothing queued (a file that is missing or does not decode, a lost device) draws
        // nothing, and is no success.
        drawn = vertexBytes != 0 && GrowDynamicBuffers(vertexBytes, indexBytes);
        if (drawn) {
            texMgr_->RefreshHeldTextures(previousHolds);
            textureTarget->Render(true);
            drawn = !deviceLost_;
        }
    } catch (...) {
        restore();
        throw;
    }
    restore();
    texMgr_->Update();
    return drawn;
}
