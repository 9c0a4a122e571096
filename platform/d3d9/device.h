#pragma once
// The software device. Its methods are split by concern over several files:
//   device.cpp            creation, lifetime, loss and Reset, swap chains, Present, cursor, memory
//   device_resources.cpp  resource creation and copies between surfaces
//   device_targets.cpp    render targets, viewport, scenes, Clear and drawing
//   device_bindings.cpp   states, textures, streams, indices, FVF and shaders
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "platform/d3d9/buffer.h"
#include "platform/d3d9/control.h"
#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/device_pixel_shader.h"
#include "platform/d3d9/device_states.h"
#include "platform/d3d9/raster_queue.h"
#include "platform/d3d9/ref_counted.h"
#include "platform/d3d9/surface.h"
#include "platform/d3d9/swap_chain.h"
#include "platform/d3d9/texture.h"

namespace d3d9sw {

class ArgList;  // control_state.h

class Device final : public IDirect3DDevice9, public RefCounted {
public:
    enum class Loss { Working, Lost, NotReset };

    // Creates a device after the Direct3D object validated the adapter and type; `params` is
    // completed on success. Holds `direct3d`.
    static HRESULT Create(IDirect3D9* direct3d, UINT ordinal, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
                          D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** device);
    ~Device() override;

    // ---- IUnknown ----
    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // ---- Device and loss (device.cpp) ----
    HRESULT TestCooperativeLevel() override;
    UINT GetAvailableTextureMem() override;
    HRESULT EvictManagedResources() override;
    HRESULT GetDirect3D(IDirect3D9** direct3d) override;
    HRESULT GetDeviceCaps(D3DCAPS9* caps) override;
    HRESULT GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode) override;
    HRESULT Reset(D3DPRESENT_PARAMETERS* presentParameters) override;
    HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                    const RGNDATA* dirtyRegion) override;
    HRESULT SetDialogBoxMode(BOOL enable) override;
    HRESULT SetCursorProperties(UINT hotSpotX, UINT hotSpotY, IDirect3DSurface9* bitmap) override;
    void SetCursorPosition(int x, int y, DWORD flags) override;
    BOOL ShowCursor(BOOL show) override;
    HRESULT CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS* presentParameters,
                                      IDirect3DSwapChain9** swapChain) override;
    HRESULT GetSwapChain(UINT swapChain, IDirect3DSwapChain9** out) override;
    UINT GetNumberOfSwapChains() override;
    HRESULT GetBackBuffer(UINT swapChain, UINT backBuffer, D3DBACKBUFFER_TYPE type,
                          IDirect3DSurface9** surface) override;

    // ---- Resources (device_resources.cpp) ----
    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                          IDirect3DTexture9** texture, HANDLE* sharedHandle) override;
    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** buffer,
                               HANDLE* sharedHandle) override;
    HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DIndexBuffer9** buffer, HANDLE* sharedHandle) override;
    HRESULT CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                               DWORD multiSampleQuality, BOOL lockable, IDirect3DSurface9** surface,
                               HANDLE* sharedHandle) override;
    HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                      DWORD multiSampleQuality, BOOL discard, IDirect3DSurface9** surface,
                                      HANDLE* sharedHandle) override;
    HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                        IDirect3DSurface9** surface, HANDLE* sharedHandle) override;
    HRESULT UpdateSurface(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* destination,
                          const POINT* destPoint) override;
    HRESULT UpdateTexture(IDirect3DBaseTexture9* source, IDirect3DBaseTexture9* destination) override;
    HRESULT GetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* destination) override;
    HRESULT ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color) override;
    HRESULT CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** shader) override;

    // ---- Targets, scenes and drawing (device_targets.cpp) ----
    HRESULT SetRenderTarget(DWORD index, IDirect3DSurface9* renderTarget) override;
    HRESULT GetRenderTarget(DWORD index, IDirect3DSurface9** renderTarget) override;
    HRESULT SetDepthStencilSurface(IDirect3DSurface9* depthStencil) override;
    HRESULT GetDepthStencilSurface(IDirect3DSurface9** depthStencil) override;
    HRESULT SetViewport(const D3DVIEWPORT9* viewport) override;
    HRESULT GetViewport(D3DVIEWPORT9* viewport) override;
    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) override;
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) override;
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertexIndex, UINT minVertexIndex, UINT numVertices,
                                 UINT startIndex, UINT primitiveCount) override;

    // ---- States and bindings (device_bindings.cpp) ----
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
    HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override;
    HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override;
    HRESULT GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) override;
    HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override;
    HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) override;
    HRESULT SetFVF(DWORD fvf) override;
    HRESULT GetFVF(DWORD* fvf) override;
    HRESULT SetVertexShader(IDirect3DVertexShader9* shader) override;
    HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offsetBytes, UINT stride) override;
    HRESULT GetStreamSource(UINT stream, IDirect3DVertexBuffer9** buffer, UINT* offsetBytes, UINT* stride) override;
    HRESULT SetIndices(IDirect3DIndexBuffer9* indices) override;
    HRESULT GetIndices(IDirect3DIndexBuffer9** indices) override;
    HRESULT SetPixelShader(IDirect3DPixelShader9* shader) override;
    HRESULT GetPixelShader(IDirect3DPixelShader9** shader) override;

    // ---- For the device's objects and the control API ----
    // Rasterises the draws made so far (the draw calls keep them in a queue): called before
    // anything reads or writes the memory of a surface of this device. `then` ends each band
    // of rows (RasterQueue::Flush).
    void FlushDraws(const RasterQueue::BandWork* then = nullptr);
    bool Lost() const { return loss_ != Loss::Working; }
    void LoseFromControl();
    void RestoreFromControl();
    // Windows' events that lose a full-screen device: its focus window left the foreground
    // (lost until it comes back), or someone else changed the display mode (reset needed).
    void OnForegroundChanged(HWND foreground);
    void OnDisplayChanged();
    HWND FocusWindow() const { return focusWindow_; }
    // Objects deregister when they are deleted (no-op for objects not tracked).
    void ForgetResource(const RefCounted* resource);
    d3d9ctl::DeviceInfo Inspect() const;
    UINT Ordinal() const { return ordinal_; }

private:
    struct TrackedResource {
        D3DPOOL pool;
        std::uint64_t bytes;  // counted against the adapter's texture memory (DEFAULT pool only)
        bool swapChain;
    };
    struct Cursor {
        bool visible = false;
        int x = 0, y = 0;
        UINT hotSpotX = 0, hotSpotY = 0;
        int width = 0, height = 0;
        std::vector<std::uint32_t> pixels;
    };

    Device(IDirect3D9* direct3d, UINT ordinal, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
           const d3d9ctl::AdapterConfig& adapter);
    void OnLastPublicRelease() override;

    // (device.cpp)
    HRESULT BuildPresentation(const D3DPRESENT_PARAMETERS& params);  // implicit chain, depth, states
    void DropBindings();
    HRESULT ChangeDisplayForPresentation(const D3DPRESENT_PARAMETERS& params);
    void RestoreDisplay();
    bool FullScreen() const { return implicitChain_ && !params_.Windowed; }
    // Budget check for a new DEFAULT-pool allocation (D3DERR_OUTOFVIDEOMEMORY).
    HRESULT ReserveVideoMemory(std::uint64_t bytes);
    void TrackResource(const RefCounted* resource, D3DPOOL pool, std::uint64_t bytes, bool swapChain = false);
    // (device_targets.cpp)
    void ResetViewportToTarget();
    HRESULT ValidateDraw(D3DPRIMITIVETYPE type, UINT primitiveCount, UINT* vertexCount) const;
    // Reports what Direct3D 9's debug runtime reports about a draw (the draw itself goes on
    // where the platform lets it).
    void ReportDrawMisuse(const char* method, bool indexed) const;
    HRESULT RunDraw(const char* method, const ArgList& args, D3DPRIMITIVETYPE type, UINT primitiveCount,
                    const std::uint8_t* vertices, UINT vertexCount, const std::uint16_t* indices, UINT indexCount,
                    INT baseVertex);

    IDirect3D9* direct3d_;
    UINT ordinal_;
    D3DDEVTYPE type_;
    HWND focusWindow_;
    DWORD behaviorFlags_;
    d3d9ctl::AdapterConfig adapter_;
    D3DPRESENT_PARAMETERS params_{};
    Loss loss_ = Loss::Working;
    bool displayChanged_ = false;  // a full-screen presentation switched the virtual display
    bool outOfFocus_ = false;      // full screen while its focus window is not in the foreground

    std::unique_ptr<SwapChain> implicitChain_;
    std::unique_ptr<Surface> autoDepth_;
    std::map<const RefCounted*, TrackedResource> resources_;
    std::vector<SwapChain*> additionalChains_;

    DeviceStates states_{};
    D3DVIEWPORT9 viewport_{};
    DWORD fvf_ = 0;
    Binding<Surface> renderTarget_;
    Binding<Surface> depthStencil_;
    Binding<Texture> textures_[kD3DTextureStageCount];
    Binding<VertexBuffer> stream_;
    UINT streamOffset_ = 0;
    UINT streamStride_ = 0;
    Binding<IndexBuffer> indices_;
    Binding<DevicePixelShader> pixelShader_;

    RasterQueue queue_;
    bool inScene_ = false;
    bool dialogBoxMode_ = false;
    Cursor cursor_;
};

}  // namespace d3d9sw
