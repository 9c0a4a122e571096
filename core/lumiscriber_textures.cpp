// CLumiscriberCommon: the operations on textures and image files, the same in both builds (those
// that differ are in each build's own files).
#include <algorithm>
#include <string>

#include "core/event_log.h"
#include "core/exception.h"
#include "core/format_helpers.h"
#include "core/frame_clock.h"
#include "core/host_handles.h"
#include "core/lumiscriber.h"
#include "draw/d3d_texture.h"
#include "draw/draw_commands.h"
#include "draw/image_limits.h"
#include "draw/level_readback.h"
#include "draw/tex_mgr.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/dxerr/dxerr.h"

using lumi::AsTexture;
using lumi::HasPixels;
using lumi::IsEmptyText;
using lumi::IsTextureSide;
using lumi::SwapCommandTexture;
using lumi::TexturedCommand;

namespace {

constexpr DWORD kDynamicUsage = 0x200;  // D3DUSAGE_DYNAMIC: the host asks for a pooled texture

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

// Level 0 holds what the host wrote in the system copy; a render-target texture has only
// its video copy.
IDirect3DTexture9* PixelTexture(CD3DTexture* texture) {
    IDirect3DTexture9* pixels = texture->GetSystemTexture();
    return pixels != nullptr ? pixels : texture->GetD3DTexture();
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

// Whether the image of a file that D3DX is about to decode into an A8R8G8B8 texture fits the
// device and the load budget; a refusal is logged with the operation's name.
bool AdmitImageFile(IDirect3DDevice9* device, bool squareOnly, const D3DXIMAGE_INFO& info, const char16_t* operation,
                    const WCHAR* path) {
    char reason[192];
    if (AdmitImage(LimitsOfDevice(device, squareOnly), info.Width, info.Height,
                   LoadCostBytes(0, info.Width, info.Height, kDecodeBytesPerPixel, 4, 1), reason, sizeof(reason)))
        return true;
    WriteLog(u"CLumiscriber::%s() refused.[%s] %hs", operation, path, reason);
    return false;
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

std::int16_t CLumiscriberCommon::GetWidth() { return static_cast<std::int16_t>(param_.Width); }

std::int16_t CLumiscriberCommon::GetHeight() { return static_cast<std::int16_t>(param_.Height); }

ITexture* CLumiscriberCommon::CreateUITexture(std::int32_t width, std::int32_t height) {
    if (!texMgr_ || !IsTextureSide(width) || !IsTextureSide(height)) return nullptr;
    return texMgr_->CreateUITexture(static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height));
}

ITexture* CLumiscriberCommon::CreateSizedTexture(std::int32_t width, std::int32_t height, D3DFORMAT format,
                                                 DWORD usage) {
    if (!texMgr_ || !IsTextureSide(width) || !IsTextureSide(height)) return nullptr;
    return texMgr_->CreateTexture(static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), format, usage,
                                  (usage & kDynamicUsage) != 0);
}

ITexture* CLumiscriberCommon::CreateTexture(const WCHAR* path) {
    if (IsEmptyText(path) || !texMgr_) return nullptr;
    CD3DTexture* texture = texMgr_->FindOrCreateTexture(ToPathBuffer(path), true);
    if (texture == nullptr) WriteLog(u"CLumiscriber::CreateTexture(apszTex) failed. apszTex=[%s]", path);
    return texture;
}

ITexture* CLumiscriberCommon::CreateTexture() {
    CD3DTexture* texture = texMgr_ ? texMgr_->CreateTexture() : nullptr;
    if (texture == nullptr) WriteLog(u"CLumiscriber::CreateTexure() failed.");
    return texture;
}

ITexture* CLumiscriberCommon::CreateMaskTexture(float size) {
    // NaN, negative and oversized sides make no texture.
    if (!texMgr_ || !(size >= 0.0f && size < static_cast<float>(lumi::kLargestTextureSide + 1))) return nullptr;
    const auto side = static_cast<std::uint16_t>(size);
    return texMgr_->CreateMaskTexture(side, side);
}

void CLumiscriberCommon::DestroyTexture(ITexture* texture) {
    if (texMgr_) texMgr_->DestroyTexture(AsTexture(texture));
}

void CLumiscriberCommon::PreloadTexture(const WCHAR* path) {
    if (IsEmptyText(path) || !texMgr_) return;
    CD3DTexture* texture = texMgr_->FindOrCreateTexture(ToPathBuffer(path), false);
    if (texture != nullptr && !texture->IsLoaded()) texture->Restore();
}

bool CLumiscriberCommon::IsTextureLoaded(const WCHAR* path) {
    if (IsEmptyText(path) || !texMgr_) return false;
    // A name too long for the buffer is never registered.
    if (std::char_traits<WCHAR>::length(path) >= static_cast<std::size_t>(kPathBufferUnits)) return false;
    return texMgr_->IsTextureLoaded(ToPathBuffer(path));
}

bool CLumiscriberCommon::IsPrimitiveTextureLoaded(STRU_DRAW_COMMAND_BASE* cmd) {
    STRU_RECT_COMMAND* rect = TexturedCommand(cmd);
    if (rect == nullptr) return false;
    if (rect->texture == nullptr) return true;
    rect->texture->Restore();
    return rect->texture->IsLoaded();
}

bool CLumiscriberCommon::SetTexture(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* path, bool urgent) {
    STRU_RECT_COMMAND* rect = TexturedCommand(cmd);
    if (rect == nullptr || !texMgr_) return false;
    CD3DTexture* texture = nullptr;
    if (!IsEmptyText(path)) {
        texture = texMgr_->FindOrCreateTexture(ToPathBuffer(path), urgent);
        if (texture == nullptr) {
            WriteLog(u"CLumiscriber::SetTexture() failed. tex=[%s]", path);
            return false;
        }
    }
    SwapCommandTexture(rect, texture);
    if (texture != nullptr && !HasPixels(texture)) texture->Restore();
    return true;
}

bool CLumiscriberCommon::GetTextureSize(STRU_DRAW_COMMAND_BASE* cmd, std::int16_t* width, std::int16_t* height) {
    STRU_RECT_COMMAND* rect = TexturedCommand(cmd);
    if (rect == nullptr || rect->texture == nullptr) return false;
    if (width != nullptr) *width = static_cast<std::int16_t>(rect->texture->GetWidth());
    if (height != nullptr) *height = static_cast<std::int16_t>(rect->texture->GetHeight());
    return true;
}

bool CLumiscriberCommon::IsPixelTransparent(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y) {
    STRU_RECT_COMMAND* rect = TexturedCommand(cmd);
    if (deviceLost_ || rect == nullptr || rect->texture == nullptr || !rect->texture->HasAlphaFormat()) return true;
    return rect->texture->IsPixelTransparent(x, y);
}

D3DCOLOR CLumiscriberCommon::GetPixelColor(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y) {
    STRU_RECT_COMMAND* rect = TexturedCommand(cmd);
    if (rect == nullptr || rect->texture == nullptr) return 0;
    return rect->texture->GetPixel(x, y);
}

bool CLumiscriberCommon::SavePrimitiveTexture(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* path, const RECT* rect) {
    STRU_RECT_COMMAND* textured = TexturedCommand(cmd);
    if (textured == nullptr || textured->texture == nullptr || IsEmptyText(path)) return false;
    return textured->texture->SaveToFile(path, rect);
}

void CLumiscriber::DumpTextureAtlas() {
    if (texMgr_) texMgr_->DumpAtlasPages();
}

bool CLumiscriberCommon::SaveTexture(ITexture* texture, const WCHAR* path) {
    CD3DTexture* d3dTexture = AsTexture(texture);
    if (d3dTexture == nullptr || IsEmptyText(path)) return false;
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
    const HRESULT hr = D3DXSaveSurfaceToFileW(path, SaveFileFormatOf(path, SaveFormats::kWithDdsAndDib),
                                              level.Surface(), nullptr, nullptr);
    if (FAILED(hr)) {
        WriteLog(u"CLumiscriber::SaveTexture() error.");
        WriteLog(u"D3DXSaveSurfaceToFile() failed. [%s] file=[%s]", DXGetErrorDescriptionW(hr), path);
        return false;
    }
    return true;
}

bool CLumiscriberCommon::SaveImageRegion(const WCHAR* imagePath, const RECT* region, const WCHAR* outPath,
                                         const SIZE* size) {
    if (!texMgr_ || device_ == nullptr || IsEmptyText(imagePath) || IsEmptyText(outPath)) return false;
    IDirect3DSurface9* cached = texMgr_->GetCachedSurface(imagePath);
    if (cached == nullptr) return false;
    D3DSURFACE_DESC desc{};
    if (FAILED(cached->GetDesc(&desc))) return false;
    const RECT whole{0, 0, static_cast<LONG>(desc.Width), static_cast<LONG>(desc.Height)};
    const RECT from = region != nullptr ? *region : whole;
    const D3DXIMAGE_FILEFORMAT type = SaveFileFormatOf(outPath, SaveFormats::kBasic);
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

bool CLumiscriberCommon::IsImageTransparent(const WCHAR* path) {
    D3DXIMAGE_INFO info{};
    if (IsEmptyText(path) || FAILED(D3DXGetImageInfoFromFileW(path, &info))) return true;
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

bool CLumiscriberCommon::GetTexOptimizationRect(const WCHAR* path, RECT* out) {
    if (out == nullptr || IsEmptyText(path)) return false;
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

STRU_IMAGE_FILE_SIZE CLumiscriberCommon::GetImageFileSize(const WCHAR* path) {
    D3DXIMAGE_INFO info{};
    if (IsEmptyText(path) || FAILED(D3DXGetImageInfoFromFileW(path, &info))) return STRU_IMAGE_FILE_SIZE{0, 0};
    return STRU_IMAGE_FILE_SIZE{static_cast<std::int32_t>(info.Width), static_cast<std::int32_t>(info.Height)};
}
