// The device's life: creation, loss and Reset, swap chains and Present, the cursor and the
// texture-memory budget.
#include "platform/d3d9/device.h"

#include <algorithm>
#include <mutex>
#include <limits>

#include "platform/d3d9/control_state.h"
#include "platform/d3d9/format_rules.h"
#include "platform/d3d9/presentation.h"
#include "platform/win32/display.h"
#include "platform/win32/window.h"

namespace d3d9sw {
namespace {

constexpr DWORD kVertexProcessingFlags =
    D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_MIXED_VERTEXPROCESSING;

DWORD BitsPerPixelOfDisplay(D3DFORMAT format) {
    return format == D3DFMT_R5G6B5 || format == D3DFMT_X1R5G5B5 ? 16 : 32;
}

// A mode switch of a device's own presentation loses no device; the API lock is held.
LONG ChangeOwnDisplay(DEVMODEW* mode, DWORD flags) {
    Control().changingDisplay = true;
    const LONG result = ChangeDisplaySettingsW(mode, flags);
    Control().changingDisplay = false;
    return result;
}

void ForegroundChanged(HWND foreground) {
    auto lock = LockApi();
    for (Device* device : Control().devices) device->OnForegroundChanged(foreground);
}

void DisplayChanged() {
    auto lock = LockApi();
    if (Control().changingDisplay) return;
    for (Device* device : Control().devices) device->OnDisplayChanged();
}

// Windows tells the devices what loses them, from the first device on.
void WatchWindowsEvents() {
    static std::once_flag once;
    std::call_once(once, [] {
        win32::SetForegroundListener(ForegroundChanged);
        win32::SetDisplayChangeListener(DisplayChanged);
    });
}

}  // namespace

Device::Device(IDirect3D9* direct3d, UINT ordinal, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
               const d3d9ctl::AdapterConfig& adapter)
    : RefCounted(direct3d, nullptr),
      direct3d_(direct3d),
      ordinal_(ordinal),
      type_(type),
      focusWindow_(focusWindow),
      behaviorFlags_(behaviorFlags),
      adapter_(adapter) {
    Control().devices.insert(this);
}

Device::~Device() {
    DropBindings();
    implicitChain_.reset();
    autoDepth_.reset();
    RestoreDisplay();
    Control().devices.erase(this);
}

HRESULT Device::Create(IDirect3D9* direct3d, UINT ordinal, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
                       D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** device) {
    const d3d9ctl::AdapterConfig adapter = Control().adapters[ordinal];
    const DWORD processing = behaviorFlags & kVertexProcessingFlags;
    if (processing != D3DCREATE_SOFTWARE_VERTEXPROCESSING && processing != D3DCREATE_HARDWARE_VERTEXPROCESSING &&
        processing != D3DCREATE_MIXED_VERTEXPROCESSING)
        return D3DERR_INVALIDCALL;
    if (processing != D3DCREATE_SOFTWARE_VERTEXPROCESSING && !(adapter.caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT))
        return D3DERR_INVALIDCALL;
    if ((behaviorFlags & D3DCREATE_PUREDEVICE) && processing != D3DCREATE_HARDWARE_VERTEXPROCESSING)
        return D3DERR_INVALIDCALL;
    if (focusWindow != nullptr && !IsWindow(focusWindow)) return D3DERR_INVALIDCALL;
    if (!params->Windowed && focusWindow == nullptr) return D3DERR_INVALIDCALL;

    D3DPRESENT_PARAMETERS completed = *params;
    HRESULT hr = CompletePresentParameters(adapter, ordinal, focusWindow, PresentUse::Device, &completed);
    if (FAILED(hr)) return hr;
    if (Control().lost) return D3DERR_DEVICELOST;

    WatchWindowsEvents();
    auto* created = new Device(direct3d, ordinal, type, focusWindow, behaviorFlags, adapter);
    hr = created->ChangeDisplayForPresentation(completed);
    if (SUCCEEDED(hr)) hr = created->BuildPresentation(completed);
    if (FAILED(hr)) {
        created->ReleasePublic();
        return hr;
    }
    // Going full screen brings the focus window forward.
    if (!completed.Windowed) SetForegroundWindow(focusWindow);
    *params = completed;
    *device = created;
    return D3D_OK;
}

HRESULT Device::BuildPresentation(const D3DPRESENT_PARAMETERS& params) {
    implicitChain_.reset();
    autoDepth_.reset();
    params_ = params;
    implicitChain_ = std::make_unique<SwapChain>(this, this, params);
    if (params.EnableAutoDepthStencil) {
        D3DSURFACE_DESC desc{};
        desc.Format = params.AutoDepthStencilFormat;
        desc.Type = D3DRTYPE_SURFACE;
        desc.Usage = D3DUSAGE_DEPTHSTENCIL;
        desc.Pool = D3DPOOL_DEFAULT;
        desc.MultiSampleType = params.MultiSampleType;
        desc.MultiSampleQuality = params.MultiSampleQuality;
        desc.Width = params.BackBufferWidth;
        desc.Height = params.BackBufferHeight;
        Surface::Options options;
        options.lockable = IsLockableDepth(params.AutoDepthStencilFormat);
        autoDepth_ = std::make_unique<Surface>(this, this, static_cast<IDirect3DDevice9*>(this), desc, options);
    }
    states_.SetDefaults(params.EnableAutoDepthStencil != FALSE);
    renderTarget_.Reset(implicitChain_->BackBuffer(0));
    depthStencil_.Reset(autoDepth_.get());
    ResetViewportToTarget();
    fvf_ = 0;
    streamOffset_ = streamStride_ = 0;
    inScene_ = false;
    return D3D_OK;
}

void Device::DropBindings() {
    queue_.Drop();
    renderTarget_.Reset(nullptr);
    depthStencil_.Reset(nullptr);
    for (auto& texture : textures_) texture.Reset(nullptr);
    stream_.Reset(nullptr);
    indices_.Reset(nullptr);
    pixelShader_.Reset(nullptr);
}

void Device::OnLastPublicRelease() { DropBindings(); }

HRESULT Device::ChangeDisplayForPresentation(const D3DPRESENT_PARAMETERS& params) {
    if (ordinal_ != 0) return D3D_OK;  // only the primary display is modelled
    if (params.Windowed) {
        RestoreDisplay();
        return D3D_OK;
    }
    DEVMODEW mode{};
    mode.dmSize = sizeof(DEVMODEW);
    mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    mode.dmBitsPerPel = BitsPerPixelOfDisplay(DisplayFormatOf(params.BackBufferFormat));
    mode.dmPelsWidth = params.BackBufferWidth;
    mode.dmPelsHeight = params.BackBufferHeight;
    if (params.FullScreen_RefreshRateInHz != 0) {
        mode.dmFields |= DM_DISPLAYFREQUENCY;
        mode.dmDisplayFrequency = params.FullScreen_RefreshRateInHz;
    }
    if (ChangeOwnDisplay(&mode, CDS_FULLSCREEN) != DISP_CHANGE_SUCCESSFUL) return D3DERR_NOTAVAILABLE;
    displayChanged_ = true;
    return D3D_OK;
}

void Device::RestoreDisplay() {
    if (!displayChanged_) return;
    displayChanged_ = false;
    ChangeOwnDisplay(nullptr, 0);
}

HRESULT Device::QueryInterface(REFIID riid, void** object) {
    auto lock = LockApi();
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DDevice9) {
        *object = static_cast<IDirect3DDevice9*>(this);
        AddPublic();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG Device::AddRef() {
    auto lock = LockApi();
    return AddPublic();
}

ULONG Device::Release() {
    auto lock = LockApi();
    return ReleasePublic();
}

// ---- Loss and Reset ------------------------------------------------------------------------

void Device::LoseFromControl() {
    FlushDraws();  // what was drawn before the loss is in the buffers
    loss_ = Loss::Lost;
}

void Device::FlushDraws(const RasterQueue::BandWork* then) { queue_.Flush(RasterThreadsInEffect(), then); }

void Device::RestoreFromControl() {
    if (loss_ == Loss::Lost && !outOfFocus_) loss_ = Loss::NotReset;
}

void Device::OnForegroundChanged(HWND foreground) {
    if (!FullScreen()) return;
    if (foreground != focusWindow_) {
        outOfFocus_ = true;
        loss_ = Loss::Lost;
    } else if (outOfFocus_) {
        outOfFocus_ = false;
        if (loss_ == Loss::Lost && !Control().lost) loss_ = Loss::NotReset;
    }
}

void Device::OnDisplayChanged() {
    if (FullScreen() && loss_ == Loss::Working) loss_ = Loss::NotReset;
}

HRESULT Device::TestCooperativeLevel() {
    auto lock = LockApi();
    HRESULT hr = D3D_OK;
    if (TakeScriptedFailure("TestCooperativeLevel", &hr)) return Logged("TestCooperativeLevel", "", hr);
    switch (loss_) {
    case Loss::Working: hr = D3D_OK; break;
    case Loss::Lost: hr = D3DERR_DEVICELOST; break;
    case Loss::NotReset: hr = D3DERR_DEVICENOTRESET; break;
    }
    return Logged("TestCooperativeLevel", "", hr);
}

HRESULT Device::Reset(D3DPRESENT_PARAMETERS* presentParameters) {
    auto lock = LockApi();
    HRESULT hr;
    if (TakeScriptedFailure("Reset", &hr)) return Logged("Reset", "", hr);
    if (presentParameters == nullptr) return Logged("Reset", "", D3DERR_INVALIDCALL);
    if (loss_ == Loss::Lost) return Logged("Reset", "", D3DERR_DEVICELOST);
    if (!presentParameters->Windowed && focusWindow_ == nullptr) return Logged("Reset", "", D3DERR_INVALIDCALL);
    FlushDraws();  // the queue lets go of the surfaces the reset replaces

    D3DPRESENT_PARAMETERS completed = *presentParameters;
    hr = CompletePresentParameters(adapter_, ordinal_, focusWindow_, PresentUse::Device, &completed);
    bool held = implicitChain_->HeldByApplication() || (autoDepth_ && autoDepth_->PublicRefs() > 0);
    for (const auto& [resource, record] : resources_)
        if ((record.pool == D3DPOOL_DEFAULT || record.swapChain) && resource->PublicRefs() > 0) held = true;
    if (FAILED(hr) || held) {
        // A failed Reset leaves the device waiting for another one.
        loss_ = Loss::NotReset;
        return Logged("Reset", "", FAILED(hr) ? hr : D3DERR_INVALIDCALL);
    }
    DropBindings();
    hr = ChangeDisplayForPresentation(completed);
    if (FAILED(hr)) {
        loss_ = Loss::NotReset;
        return Logged("Reset", "", hr);
    }
    BuildPresentation(completed);
    *presentParameters = completed;
    loss_ = Loss::Working;
    outOfFocus_ = false;
    if (!completed.Windowed) SetForegroundWindow(focusWindow_);
    return Logged("Reset", "", D3D_OK);
}

HRESULT Device::EvictManagedResources() {
    auto lock = LockApi();
    HRESULT hr;
    if (TakeScriptedFailure("EvictManagedResources", &hr)) return Logged("EvictManagedResources", "", hr);
    return Logged("EvictManagedResources", "", D3D_OK);  // managed memory is system memory here
}

// ---- Queries --------------------------------------------------------------------------------

UINT Device::GetAvailableTextureMem() {
    auto lock = LockApi();
    FlushDraws();  // a queued draw may hold the last reference to a texture
    const std::uint64_t budget = TextureBudget(ordinal_);
    const std::uint64_t used = TextureUsed(ordinal_);
    const std::uint64_t available = used >= budget ? 0 : budget - used;
    return static_cast<UINT>(std::min<std::uint64_t>(available, std::numeric_limits<UINT>::max()));
}

HRESULT Device::GetDirect3D(IDirect3D9** direct3d) {
    auto lock = LockApi();
    if (direct3d == nullptr) return D3DERR_INVALIDCALL;
    direct3d_->AddRef();
    *direct3d = direct3d_;
    return D3D_OK;
}

HRESULT Device::GetDeviceCaps(D3DCAPS9* caps) {
    auto lock = LockApi();
    if (caps == nullptr) return D3DERR_INVALIDCALL;
    *caps = adapter_.caps;
    caps->DeviceType = type_;
    caps->AdapterOrdinal = ordinal_;
    caps->MasterAdapterOrdinal = ordinal_;
    return D3D_OK;
}

HRESULT Device::GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode) {
    auto lock = LockApi();
    if (mode == nullptr || swapChain != 0) return D3DERR_INVALIDCALL;
    if (params_.Windowed || ordinal_ == 0) {
        *mode = DesktopMode(adapter_, ordinal_);
    } else {
        *mode = D3DDISPLAYMODE{params_.BackBufferWidth, params_.BackBufferHeight,
                               params_.FullScreen_RefreshRateInHz != 0 ? params_.FullScreen_RefreshRateInHz : 60,
                               DisplayFormatOf(params_.BackBufferFormat)};
    }
    return D3D_OK;
}

// ---- Swap chains and Present ----------------------------------------------------------------

HRESULT Device::Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                        const RGNDATA* dirtyRegion) {
    auto lock = LockApi();
    const ArgList args = Args(sourceRect, destRect, destWindowOverride, dirtyRegion);
    HRESULT hr;
    if (TakeScriptedFailure("Present", &hr)) return Logged("Present", args, hr);
    if (Lost()) return Logged("Present", args, D3DERR_DEVICELOST);
    return Logged("Present", args, implicitChain_->PresentToWindow(sourceRect, destRect, destWindowOverride, dirtyRegion));
}

HRESULT Device::CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS* presentParameters, IDirect3DSwapChain9** swapChain) {
    auto lock = LockApi();
    HRESULT hr;
    if (swapChain != nullptr) *swapChain = nullptr;
    if (TakeScriptedFailure("CreateAdditionalSwapChain", &hr)) return Logged("CreateAdditionalSwapChain", "", hr);
    if (presentParameters == nullptr || swapChain == nullptr)
        return Logged("CreateAdditionalSwapChain", "", D3DERR_INVALIDCALL);
    D3DPRESENT_PARAMETERS completed = *presentParameters;
    hr = CompletePresentParameters(adapter_, ordinal_, focusWindow_, PresentUse::AdditionalSwapChain, &completed);
    if (FAILED(hr)) return Logged("CreateAdditionalSwapChain", "", hr);
    auto* chain = new SwapChain(this, nullptr, completed);
    TrackResource(chain, D3DPOOL_DEFAULT, 0, true);
    *presentParameters = completed;
    *swapChain = chain;
    return Logged("CreateAdditionalSwapChain", Args(completed.BackBufferWidth, completed.BackBufferHeight), D3D_OK);
}

HRESULT Device::GetSwapChain(UINT swapChain, IDirect3DSwapChain9** out) {
    auto lock = LockApi();
    if (out == nullptr) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (swapChain != 0) return D3DERR_INVALIDCALL;
    implicitChain_->AddPublic();
    *out = implicitChain_.get();
    return D3D_OK;
}

UINT Device::GetNumberOfSwapChains() { return 1; }  // additional chains are not counted

HRESULT Device::GetBackBuffer(UINT swapChain, UINT backBuffer, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** surface) {
    auto lock = LockApi();
    if (swapChain != 0) {
        if (surface != nullptr) *surface = nullptr;
        return Logged("GetBackBuffer", Args(swapChain, backBuffer, type), D3DERR_INVALIDCALL);
    }
    return implicitChain_->GetBackBuffer(backBuffer, type, surface);
}

HRESULT Device::SetDialogBoxMode(BOOL enable) {
    auto lock = LockApi();
    HRESULT hr;
    if (TakeScriptedFailure("SetDialogBoxMode", &hr)) return Logged("SetDialogBoxMode", Args(enable), hr);
    if (enable && params_.MultiSampleType != D3DMULTISAMPLE_NONE)
        return Logged("SetDialogBoxMode", Args(enable), D3DERR_INVALIDCALL);
    dialogBoxMode_ = enable != FALSE;
    return Logged("SetDialogBoxMode", Args(enable), D3D_OK);
}

// ---- Cursor ---------------------------------------------------------------------------------

HRESULT Device::SetCursorProperties(UINT hotSpotX, UINT hotSpotY, IDirect3DSurface9* bitmap) {
    auto lock = LockApi();
    const ArgList args = Args(hotSpotX, hotSpotY, bitmap);
    HRESULT hr;
    if (TakeScriptedFailure("SetCursorProperties", &hr)) return Logged("SetCursorProperties", args, hr);
    Surface* surface = Surface::From(bitmap);
    if (surface == nullptr || surface->OwnerDevice() != this || surface->IsLocked())
        return Logged("SetCursorProperties", args, D3DERR_INVALIDCALL);
    const D3DSURFACE_DESC& desc = surface->Desc();
    if (desc.Format != D3DFMT_A8R8G8B8 || !IsPowerOfTwo(desc.Width) || !IsPowerOfTwo(desc.Height) ||
        hotSpotX >= desc.Width || hotSpotY >= desc.Height)
        return Logged("SetCursorProperties", args, D3DERR_INVALIDCALL);
    const SurfaceView view = surface->View();
    cursor_.pixels.assign(static_cast<std::size_t>(view.width) * view.height, 0);
    for (int y = 0; y < view.height; ++y)
        for (int x = 0; x < view.width; ++x)
            cursor_.pixels[static_cast<std::size_t>(y) * view.width + x] = ReadPixel(view, x, y);
    cursor_.width = view.width;
    cursor_.height = view.height;
    cursor_.hotSpotX = hotSpotX;
    cursor_.hotSpotY = hotSpotY;
    return Logged("SetCursorProperties", args, D3D_OK);
}

void Device::SetCursorPosition(int x, int y, DWORD /*flags*/) {
    auto lock = LockApi();
    cursor_.x = x;
    cursor_.y = y;
}

BOOL Device::ShowCursor(BOOL show) {
    auto lock = LockApi();
    const BOOL previous = cursor_.visible ? TRUE : FALSE;
    cursor_.visible = show != FALSE;
    Logged("ShowCursor", Args(show), previous);
    return previous;
}

// ---- Resource bookkeeping ------------------------------------------------------------------

HRESULT Device::ReserveVideoMemory(std::uint64_t bytes) {
    auto fits = [&] {
        const std::uint64_t budget = TextureBudget(ordinal_);
        const std::uint64_t used = TextureUsed(ordinal_);
        return used <= budget && bytes <= budget - used;
    };
    if (fits()) return D3D_OK;
    // Textures released since the queued draws were made are freed once those are drawn.
    FlushDraws();
    return fits() ? D3D_OK : D3DERR_OUTOFVIDEOMEMORY;
}

void Device::TrackResource(const RefCounted* resource, D3DPOOL pool, std::uint64_t bytes, bool swapChain) {
    resources_[resource] = TrackedResource{pool, pool == D3DPOOL_DEFAULT ? bytes : 0, swapChain};
    if (pool == D3DPOOL_DEFAULT) AddTextureUse(ordinal_, static_cast<std::int64_t>(bytes));
    if (swapChain) additionalChains_.push_back(static_cast<SwapChain*>(const_cast<RefCounted*>(resource)));
}

void Device::ForgetResource(const RefCounted* resource) {
    const auto it = resources_.find(resource);
    if (it == resources_.end()) return;
    if (it->second.bytes != 0) AddTextureUse(ordinal_, -static_cast<std::int64_t>(it->second.bytes));
    if (it->second.swapChain)
        additionalChains_.erase(std::remove(additionalChains_.begin(), additionalChains_.end(), resource),
                                additionalChains_.end());
    resources_.erase(it);
}

d3d9ctl::DeviceInfo Device::Inspect() const {
    d3d9ctl::DeviceInfo info;
    info.inScene = inScene_;
    info.lost = Lost();
    info.dialogBoxMode = dialogBoxMode_;
    info.cursorVisible = cursor_.visible;
    info.cursorX = cursor_.x;
    info.cursorY = cursor_.y;
    info.cursorHotSpotX = cursor_.hotSpotX;
    info.cursorHotSpotY = cursor_.hotSpotY;
    info.cursorPixels = cursor_.pixels;
    info.cursorWidth = cursor_.width;
    info.cursorHeight = cursor_.height;
    for (const auto& [resource, record] : resources_) {
        if (record.swapChain) continue;
        if (record.pool == D3DPOOL_DEFAULT) ++info.liveDefaultPoolResources;
        info.defaultPoolBytes += record.bytes;
    }
    info.additionalSwapChains = static_cast<int>(additionalChains_.size());
    info.behaviorFlags = behaviorFlags_;
    info.presentParameters = params_;
    return info;
}

}  // namespace d3d9sw
