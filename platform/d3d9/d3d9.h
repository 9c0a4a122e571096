#pragma once
// The software Direct3D 9: the interfaces the library calls, declared by us from the documented
// behaviour of the platform. Objects are reference counted (AddRef/Release); every method
// validates its arguments and fails with D3DERR_INVALIDCALL (or E_POINTER) rather than crash.
// Methods the library never calls are declared only where a sibling needs them and report
// E_NOTIMPL (with a line on stderr), never a silent success.
//
// Tests and hosts configure the adapters, script failures and read surfaces back through
// platform/d3d9/control.h; product code includes only this header.
#include "platform/d3d9/d3d9_types.h"
#include "platform/win32/win32_types.h"

struct RGNDATA;  // dirty regions are not supported: Present requires null
struct IDirect3D9;
struct IDirect3DDevice9;
struct IDirect3DSurface9;
struct IDirect3DVertexShader9;  // never created: SetVertexShader accepts only null

// Interface identifiers for QueryInterface. Our own values: nothing outside this stand-in
// compares them with the platform's.
inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IDirect3D9 = {0x1d3d9000, 0x4c55, 0x4d49, {'l', 'u', 'm', 'i', 0, 0, 0, 1}};
inline constexpr IID IID_IDirect3DDevice9 = {0x1d3d9000, 0x4c55, 0x4d49, {'l', 'u', 'm', 'i', 0, 0, 0, 2}};
inline constexpr IID IID_IDirect3DResource9 = {0x1d3d9000, 0x4c55, 0x4d49, {'l', 'u', 'm', 'i', 0, 0, 0, 3}};
inline constexpr IID IID_IDirect3DBaseTexture9 = {0x1d3d9000, 0x4c55, 0x4d49, {'l', 'u', 'm', 'i', 0, 0, 0, 4}};
inline constexpr IID IID_IDirect3DTexture9 = {0x1d3d9000, 0x4c55, 0x4d49, {'l', 'u', 'm', 'i', 0, 0, 0, 5}};
inline constexpr IID IID_IDirect3DSurface9 = {0x1d3d9000, 0x4c55, 0x4d49, {'l', 'u', 'm', 'i', 0, 0, 0, 6}};
inline constexpr IID IID_IDirect3DVertexBuffer9 = {0x1d3d9000, 0x4c55, 0x4d49, {'l', 'u', 'm', 'i', 0, 0, 0, 7}};
inline constexpr IID IID_IDirect3DIndexBuffer9 = {0x1d3d9000, 0x4c55, 0x4d49, {'l', 'u', 'm', 'i', 0, 0, 0, 8}};
inline constexpr IID IID_IDirect3DSwapChain9 = {0x1d3d9000, 0x4c55, 0x4d49, {'l', 'u', 'm', 'i', 0, 0, 0, 9}};
inline constexpr IID IID_IDirect3DPixelShader9 = {0x1d3d9000, 0x4c55, 0x4d49, {'l', 'u', 'm', 'i', 0, 0, 0, 10}};

// Creates the Direct3D object. Null when `sdkVersion` is not D3D_SDK_VERSION (32) or when a test
// scripted a failure of "Direct3DCreate9". The caller owns one reference.
IDirect3D9* Direct3DCreate9(UINT sdkVersion);

struct IDirect3D9 : IUnknown {
    virtual UINT GetAdapterCount() = 0;
    // `flags` 0 or D3DENUM_WHQL_LEVEL. Narrow texts, NUL-terminated within their arrays.
    virtual HRESULT GetAdapterIdentifier(UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER9* identifier) = 0;
    // Modes of one display format (X8R8G8B8, R5G6B5, X1R5G5B5, A2R10G10B10); 0 for others.
    virtual UINT GetAdapterModeCount(UINT adapter, D3DFORMAT format) = 0;
    virtual HRESULT EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT mode, D3DDISPLAYMODE* out) = 0;
    // The desktop mode (the virtual display's current mode for adapter 0).
    virtual HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) = 0;
    virtual HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                    D3DFORMAT backBufferFormat, BOOL windowed) = 0;
    virtual HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                                      D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat) = 0;
    virtual HRESULT CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT surfaceFormat,
                                               BOOL windowed, D3DMULTISAMPLE_TYPE multiSample,
                                               DWORD* qualityLevels) = 0;
    virtual HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                           D3DFORMAT renderTargetFormat, D3DFORMAT depthStencilFormat) = 0;
    // D3DERR_NOTAVAILABLE for device types the adapter does not offer.
    virtual HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) = 0;
    // Validates the presentation parameters against the window and the modes. Windowed with a
    // zero back-buffer size takes the window's client size; full-screen switches the virtual
    // display to the back-buffer mode. `presentParameters` is updated with the values chosen.
    virtual HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
                                 D3DPRESENT_PARAMETERS* presentParameters, IDirect3DDevice9** device) = 0;

protected:
    ~IDirect3D9() = default;
};

struct IDirect3DResource9 : IUnknown {
    // The creating device, AddRef'd.
    virtual HRESULT GetDevice(IDirect3DDevice9** device) = 0;
    virtual DWORD SetPriority(DWORD priority) = 0;  // returns the previous priority
    virtual DWORD GetPriority() = 0;
    virtual void PreLoad() = 0;
    virtual D3DRESOURCETYPE GetType() = 0;

protected:
    ~IDirect3DResource9() = default;
};

struct IDirect3DSurface9 : IDirect3DResource9 {
    // The texture or swap chain that holds this surface (AddRef'd), or E_NOINTERFACE.
    virtual HRESULT GetContainer(REFIID riid, void** container) = 0;
    virtual HRESULT GetDesc(D3DSURFACE_DESC* desc) = 0;
    // `rect` null locks the whole surface; for DXT formats it must be 4x4-block aligned (or reach
    // the surface's edge). Fails for DEFAULT-pool surfaces that are not lockable (render targets
    // without D3DPRESENTFLAG_LOCKABLE_BACKBUFFER, depth buffers but D16_LOCKABLE ones), for a
    // second lock, and for D3DLOCK_DISCARD on a surface that is not dynamic.
    virtual HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) = 0;
    virtual HRESULT UnlockRect() = 0;

protected:
    ~IDirect3DSurface9() = default;
};

struct IDirect3DBaseTexture9 : IDirect3DResource9 {
    virtual DWORD SetLOD(DWORD lod) = 0;
    virtual DWORD GetLOD() = 0;
    virtual DWORD GetLevelCount() = 0;

protected:
    ~IDirect3DBaseTexture9() = default;
};

struct IDirect3DTexture9 : IDirect3DBaseTexture9 {
    virtual HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) = 0;
    // The level's surface, AddRef'd; it keeps the texture alive.
    virtual HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) = 0;
    // Lock rules as IDirect3DSurface9::LockRect; DEFAULT-pool textures lock only when dynamic.
    virtual HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) = 0;
    virtual HRESULT UnlockRect(UINT level) = 0;
    virtual HRESULT AddDirtyRect(const RECT* dirtyRect) = 0;

protected:
    ~IDirect3DTexture9() = default;
};

struct IDirect3DVertexBuffer9 : IDirect3DResource9 {
    // `size` 0 locks from `offset` to the end. D3DLOCK_DISCARD and D3DLOCK_NOOVERWRITE only on
    // D3DUSAGE_DYNAMIC buffers. A NOOVERWRITE lock over bytes a draw has read since the last
    // DISCARD succeeds (as on the platform) but is reported as a misuse to the control API.
    virtual HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) = 0;
    virtual HRESULT Unlock() = 0;
    virtual HRESULT GetDesc(D3DVERTEXBUFFER_DESC* desc) = 0;

protected:
    ~IDirect3DVertexBuffer9() = default;
};

struct IDirect3DIndexBuffer9 : IDirect3DResource9 {
    // As IDirect3DVertexBuffer9::Lock.
    virtual HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) = 0;
    virtual HRESULT Unlock() = 0;
    virtual HRESULT GetDesc(D3DINDEXBUFFER_DESC* desc) = 0;

protected:
    ~IDirect3DIndexBuffer9() = default;
};

struct IDirect3DSwapChain9 : IUnknown {
    // Copies the back buffer into the window's pixels (the override window, else the chain's
    // hDeviceWindow). `sourceRect`/`destRect` null mean the whole buffer/window; dirty regions
    // and flags must be null/0. D3DERR_DEVICELOST while the device is lost.
    virtual HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                            const RGNDATA* dirtyRegion, DWORD flags) = 0;
    // The back buffer (index 0 only), AddRef'd.
    virtual HRESULT GetBackBuffer(UINT backBuffer, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** surface) = 0;
    virtual HRESULT GetDisplayMode(D3DDISPLAYMODE* mode) = 0;
    virtual HRESULT GetDevice(IDirect3DDevice9** device) = 0;
    virtual HRESULT GetPresentParameters(D3DPRESENT_PARAMETERS* presentParameters) = 0;

protected:
    ~IDirect3DSwapChain9() = default;
};

struct IDirect3DPixelShader9 : IUnknown {
    virtual HRESULT GetDevice(IDirect3DDevice9** device) = 0;
    // The token stream: with `data` null, `*sizeBytes` receives the size; else copies it
    // (D3DERR_INVALIDCALL when `*sizeBytes` is too small).
    virtual HRESULT GetFunction(void* data, UINT* sizeBytes) = 0;

protected:
    ~IDirect3DPixelShader9() = default;
};

struct IDirect3DDevice9 : IUnknown {
    // ---- Device and loss ----
    // D3D_OK; D3DERR_DEVICELOST while lost; D3DERR_DEVICENOTRESET once restorable.
    virtual HRESULT TestCooperativeLevel() = 0;
    // Bytes of the adapter's texture budget not used by DEFAULT-pool resources.
    virtual UINT GetAvailableTextureMem() = 0;
    virtual HRESULT EvictManagedResources() = 0;
    virtual HRESULT GetDirect3D(IDirect3D9** direct3d) = 0;
    virtual HRESULT GetDeviceCaps(D3DCAPS9* caps) = 0;
    virtual HRESULT GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode) = 0;
    // D3DERR_INVALIDCALL while any DEFAULT-pool resource, additional swap chain, or application
    // reference to the implicit back buffer or depth surface is alive; D3DERR_DEVICELOST while
    // the device is lost and not yet restorable. A failed Reset leaves the device waiting for
    // another (TestCooperativeLevel: D3DERR_DEVICENOTRESET). After success the device has
    // default states, nothing bound but the new back buffer and depth surface, and a viewport of
    // the back buffer's size.
    virtual HRESULT Reset(D3DPRESENT_PARAMETERS* presentParameters) = 0;
    virtual HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                            const RGNDATA* dirtyRegion) = 0;
    virtual HRESULT SetDialogBoxMode(BOOL enable) = 0;

    // ---- Cursor ----
    // `bitmap`: a 32x32 (or smaller power of two) A8R8G8B8 surface; its pixels are copied.
    virtual HRESULT SetCursorProperties(UINT hotSpotX, UINT hotSpotY, IDirect3DSurface9* bitmap) = 0;
    virtual void SetCursorPosition(int x, int y, DWORD flags) = 0;
    virtual BOOL ShowCursor(BOOL show) = 0;  // returns the previous visibility

    // ---- Swap chains ----
    virtual HRESULT CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS* presentParameters,
                                              IDirect3DSwapChain9** swapChain) = 0;
    virtual HRESULT GetSwapChain(UINT swapChain, IDirect3DSwapChain9** out) = 0;
    virtual UINT GetNumberOfSwapChains() = 0;
    virtual HRESULT GetBackBuffer(UINT swapChain, UINT backBuffer, D3DBACKBUFFER_TYPE type,
                                  IDirect3DSurface9** surface) = 0;

    // ---- Resources (`sharedHandle` must be null; D3DPOOL_SCRATCH is not modelled) ----
    // `levels` 0 makes the full mip chain. D3DERR_OUTOFVIDEOMEMORY when a DEFAULT-pool
    // allocation exceeds the remaining budget (the implicit swap chain and additional swap
    // chains are not charged).
    virtual HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                  D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* sharedHandle) = 0;
    virtual HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                       IDirect3DVertexBuffer9** buffer, HANDLE* sharedHandle) = 0;
    // `format` D3DFMT_INDEX16 (INDEX32 is refused: the caps do not offer it).
    virtual HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                      IDirect3DIndexBuffer9** buffer, HANDLE* sharedHandle) = 0;
    // Not modelled (render targets are textures with D3DUSAGE_RENDERTARGET): E_NOTIMPL.
    virtual HRESULT CreateRenderTarget(UINT width, UINT height, D3DFORMAT format,
                                       D3DMULTISAMPLE_TYPE multiSample, DWORD multiSampleQuality,
                                       BOOL lockable, IDirect3DSurface9** surface, HANDLE* sharedHandle) = 0;
    virtual HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                              D3DMULTISAMPLE_TYPE multiSample, DWORD multiSampleQuality,
                                              BOOL discard, IDirect3DSurface9** surface,
                                              HANDLE* sharedHandle) = 0;
    virtual HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                                IDirect3DSurface9** surface, HANDLE* sharedHandle) = 0;
    // SYSTEMMEM source to DEFAULT destination, same format, no stretching. `sourceRect` null: the
    // whole source; `destPoint` null: (0, 0). DXT rectangles and points are block-aligned.
    virtual HRESULT UpdateSurface(IDirect3DSurface9* source, const RECT* sourceRect,
                                  IDirect3DSurface9* destination, const POINT* destPoint) = 0;
    // Not modelled (the library copies surfaces): E_NOTIMPL.
    virtual HRESULT UpdateTexture(IDirect3DBaseTexture9* source, IDirect3DBaseTexture9* destination) = 0;
    // Copies a render target (DEFAULT pool) into a SYSTEMMEM surface of the same size and format.
    virtual HRESULT GetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* destination) = 0;
    // Not modelled: E_NOTIMPL.
    virtual HRESULT ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color) = 0;
    virtual HRESULT CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** shader) = 0;

    // ---- Targets and viewport ----
    // Index 0 only (one simultaneous target). Null for index 0 is refused. Resets the viewport
    // to the whole target, as the platform does.
    virtual HRESULT SetRenderTarget(DWORD index, IDirect3DSurface9* renderTarget) = 0;
    virtual HRESULT GetRenderTarget(DWORD index, IDirect3DSurface9** renderTarget) = 0;
    virtual HRESULT SetDepthStencilSurface(IDirect3DSurface9* depthStencil) = 0;  // null unbinds
    // D3DERR_NOTFOUND when none is bound.
    virtual HRESULT GetDepthStencilSurface(IDirect3DSurface9** depthStencil) = 0;
    virtual HRESULT SetViewport(const D3DVIEWPORT9* viewport) = 0;  // must lie inside the target
    virtual HRESULT GetViewport(D3DVIEWPORT9* viewport) = 0;

    // ---- Scenes and drawing ----
    virtual HRESULT BeginScene() = 0;  // D3DERR_INVALIDCALL inside a scene
    virtual HRESULT EndScene() = 0;    // D3DERR_INVALIDCALL outside a scene; DEVICELOST while lost
    // `rects` null (with count 0) clears the viewport; rectangles are clipped to it.
    virtual HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                          DWORD stencil) = 0;
    // Drawn: FVF 0x142 from stream 0 of stride 24 or more; FVF 0x62 (points with a size) of
    // stride 20 or more, point lists only. Inside BeginScene/EndScene.
    virtual HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) = 0;
    virtual HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertexIndex, UINT minVertexIndex,
                                         UINT numVertices, UINT startIndex, UINT primitiveCount) = 0;

    // ---- States (read back exactly what was set, Direct3D 9's defaults before) ----
    virtual HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) = 0;
    virtual HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) = 0;
    virtual HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) = 0;
    virtual HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) = 0;
    virtual HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) = 0;
    virtual HRESULT GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) = 0;
    // The device holds a reference to bound textures, buffers and shaders until unbound.
    virtual HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) = 0;
    virtual HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) = 0;
    virtual HRESULT SetFVF(DWORD fvf) = 0;
    virtual HRESULT GetFVF(DWORD* fvf) = 0;
    virtual HRESULT SetVertexShader(IDirect3DVertexShader9* shader) = 0;  // null only
    virtual HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offsetBytes,
                                    UINT stride) = 0;
    virtual HRESULT GetStreamSource(UINT stream, IDirect3DVertexBuffer9** buffer, UINT* offsetBytes,
                                    UINT* stride) = 0;
    virtual HRESULT SetIndices(IDirect3DIndexBuffer9* indices) = 0;
    virtual HRESULT GetIndices(IDirect3DIndexBuffer9** indices) = 0;
    virtual HRESULT SetPixelShader(IDirect3DPixelShader9* shader) = 0;
    virtual HRESULT GetPixelShader(IDirect3DPixelShader9** shader) = 0;  // AddRef'd, null if none

protected:
    ~IDirect3DDevice9() = default;
};
