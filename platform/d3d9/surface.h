#pragma once
// A surface of the software device: its pixels in system memory, whatever the pool. Texture
// levels and swap-chain back buffers belong to their container (counts are forwarded to it);
// plain, render-target and depth-stencil surfaces made by the device stand alone.
#include <cstdint>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/pixel_format.h"
#include "platform/d3d9/ref_counted.h"

namespace d3d9sw {

class Device;

class Surface final : public IDirect3DSurface9, public RefCounted {
public:
    struct Options {
        bool lockable = true;  // false: LockRect fails (render targets, DEFAULT textures, depth
                               // buffers but D16_LOCKABLE ones)
        bool dynamic = false;  // D3DLOCK_DISCARD allowed
    };
    // `container`/`containerInterface` null: a standalone surface holding its device.
    // The memory is allocated (zeroed) here; callers check desc sizes beforehand.
    Surface(Device* device, RefCounted* container, IUnknown* containerInterface, const D3DSURFACE_DESC& desc,
            Options options);
    ~Surface() override;

    // IUnknown
    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    // IDirect3DResource9
    HRESULT GetDevice(IDirect3DDevice9** device) override;
    DWORD SetPriority(DWORD priority) override;
    DWORD GetPriority() override;
    void PreLoad() override;
    D3DRESOURCETYPE GetType() override;
    // IDirect3DSurface9
    HRESULT GetContainer(REFIID riid, void** container) override;
    HRESULT GetDesc(D3DSURFACE_DESC* desc) override;
    HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect() override;

    // For the device and the containers (no logging, no scripted failures).
    HRESULT Lock(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags);
    HRESULT Unlock();
    bool IsLocked() const { return locked_; }
    const D3DSURFACE_DESC& Desc() const { return desc_; }
    Device* OwnerDevice() const { return device_; }
    // The memory, once the device's queued draws are drawn (surface memory is only ever read
    // or written through this or a lock, both of which flush the queue).
    SurfaceView View();
    // The memory as it is, for a draw that is queued itself.
    SurfaceView MemoryView();
    // Of a depth buffer: the lowest depth its memory may hold, in the format's units, kept by
    // the draw queue (DrawState::depthFloor) as it draws and clears. A lock or View sets it to
    // 0: whoever asked may write anything.
    std::uint32_t* DepthFloor() { return &depthFloor_; }
    std::size_t Bytes() const { return bytes_; }
    // A clear of every pixel's colour is about to be queued: what the memory holds no longer
    // matters, and an X8R8G8B8 surface holds 0xFF in every pixel's unused byte once drawn
    // (clears and draws write it so) until its memory is handed out (View, a lock) or
    // exchanged.
    void NoteColourClearedWhole();
    // Hands the memory to `window` to show and takes the window's pixels in its place, as a
    // flip does, after drawing what is queued. Only where the memory shows as it is, 32-bit
    // pixels of the window's client size row after row with an opaque or real alpha byte, and
    // the surface is not locked; false, nothing exchanged, otherwise. The surface's pixels are
    // what the window shows now: the first use of its memory other than a whole clear copies
    // them back from the window, if it still shows them.
    bool ExchangeWithWindow(HWND window);
    bool Standalone() const { return containerInterface_ == nullptr; }

    // The implementation behind an interface pointer of ours; null for null or a foreign object.
    static Surface* From(IDirect3DSurface9* surface);

private:
    std::uint8_t* Bits() { return reinterpret_cast<std::uint8_t*>(memory_.data()); }
    // The pixels given to a window by the last exchange copied back, if it still shows them.
    void TakeBackShownPixels();

    Device* device_;
    IUnknown* containerInterface_;
    D3DSURFACE_DESC desc_;
    Options options_;
    std::size_t bytes_;
    std::vector<std::uint32_t> memory_;  // bytes_ rounded up to whole words, so that a window can take it
    int pitch_;
    bool unusedBytesOpaque_ = false;  // the memory starts zeroed
    // After an exchange: the window showing this surface's pixels, and its pixels then.
    HWND shownIn_ = nullptr;
    const std::uint32_t* shownPixels_ = nullptr;
    bool locked_ = false;
    std::uint32_t depthFloor_ = 0;  // the memory starts zeroed
    DWORD priority_ = 0;
};

// Checks a lock rectangle against a surface of `desc` (inside, non-empty, 4x4-aligned for DXT).
bool LockRectValid(const D3DSURFACE_DESC& desc, const RECT& rect);

}  // namespace d3d9sw
