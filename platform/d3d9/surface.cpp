#include "platform/d3d9/surface.h"

#include <algorithm>

#include "platform/d3d9/control_state.h"
#include "platform/d3d9/device.h"
#include "platform/win32/window.h"

namespace d3d9sw {
namespace {

constexpr DWORD kSurfaceLockFlags =
    D3DLOCK_READONLY | D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK | D3DLOCK_DONOTWAIT | D3DLOCK_NO_DIRTY_UPDATE;

}  // namespace

bool LockRectValid(const D3DSURFACE_DESC& desc, const RECT& rect) {
    if (rect.left < 0 || rect.top < 0 || rect.left >= rect.right || rect.top >= rect.bottom) return false;
    if (static_cast<UINT>(rect.right) > desc.Width || static_cast<UINT>(rect.bottom) > desc.Height) return false;
    if (DescribeFormat(desc.Format).compressed) {
        // Whole 4x4 blocks, except where the rectangle reaches the surface's edge.
        if (rect.left % 4 != 0 || rect.top % 4 != 0) return false;
        if (rect.right % 4 != 0 && static_cast<UINT>(rect.right) != desc.Width) return false;
        if (rect.bottom % 4 != 0 && static_cast<UINT>(rect.bottom) != desc.Height) return false;
    }
    return true;
}

Surface::Surface(Device* device, RefCounted* container, IUnknown* containerInterface, const D3DSURFACE_DESC& desc,
                 Options options)
    : RefCounted(container == nullptr ? static_cast<IUnknown*>(device) : nullptr, container),
      device_(device),
      containerInterface_(containerInterface),
      desc_(desc),
      options_(options),
      bytes_(SurfaceBytes(desc.Format, desc.Width, desc.Height)),
      memory_((bytes_ + 3) / 4),
      pitch_(static_cast<int>(RowPitch(desc.Format, desc.Width))) {}

Surface::~Surface() {
    if (Standalone()) device_->ForgetResource(this);
}

Surface* Surface::From(IDirect3DSurface9* surface) { return dynamic_cast<Surface*>(surface); }

HRESULT Surface::QueryInterface(REFIID riid, void** object) {
    auto lock = LockApi();
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DResource9 || riid == IID_IDirect3DSurface9) {
        *object = static_cast<IDirect3DSurface9*>(this);
        AddPublic();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG Surface::AddRef() {
    auto lock = LockApi();
    return AddPublic();
}

ULONG Surface::Release() {
    auto lock = LockApi();
    return ReleasePublic();
}

HRESULT Surface::GetDevice(IDirect3DDevice9** device) {
    auto lock = LockApi();
    if (device == nullptr) return D3DERR_INVALIDCALL;
    device_->AddRef();
    *device = device_;
    return D3D_OK;
}

DWORD Surface::SetPriority(DWORD priority) {
    auto lock = LockApi();
    const DWORD previous = priority_;
    priority_ = priority;
    return previous;
}

DWORD Surface::GetPriority() {
    auto lock = LockApi();
    return priority_;
}

void Surface::PreLoad() {}

D3DRESOURCETYPE Surface::GetType() { return D3DRTYPE_SURFACE; }

HRESULT Surface::GetContainer(REFIID riid, void** container) {
    auto lock = LockApi();
    if (container == nullptr) return D3DERR_INVALIDCALL;
    *container = nullptr;
    // A standalone surface's container is its device.
    IUnknown* owner = containerInterface_ != nullptr ? containerInterface_ : static_cast<IUnknown*>(device_);
    return owner->QueryInterface(riid, container);
}

HRESULT Surface::GetDesc(D3DSURFACE_DESC* desc) {
    auto lock = LockApi();
    if (desc == nullptr) return D3DERR_INVALIDCALL;
    *desc = desc_;
    return D3D_OK;
}

HRESULT Surface::LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    auto lock = LockApi();
    HRESULT hr;
    if (TakeScriptedFailure("LockRect", &hr)) return Logged("LockRect", Args(rect, flags), hr);
    return Logged("LockRect", Args(rect, flags), Lock(locked, rect, flags));
}

HRESULT Surface::UnlockRect() {
    auto lock = LockApi();
    HRESULT hr;
    if (TakeScriptedFailure("UnlockRect", &hr)) return Logged("UnlockRect", "", hr);
    return Logged("UnlockRect", "", Unlock());
}

HRESULT Surface::Lock(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    if (locked == nullptr) return D3DERR_INVALIDCALL;
    device_->FlushDraws();
    locked->pBits = nullptr;
    locked->Pitch = 0;
    if (locked_ || !options_.lockable) return D3DERR_INVALIDCALL;
    if ((flags & ~kSurfaceLockFlags) != 0) return D3DERR_INVALIDCALL;
    if ((flags & D3DLOCK_DISCARD) && (!options_.dynamic || (flags & D3DLOCK_READONLY))) return D3DERR_INVALIDCALL;
    RECT area{0, 0, static_cast<LONG>(desc_.Width), static_cast<LONG>(desc_.Height)};
    if (rect != nullptr) {
        if (!LockRectValid(desc_, *rect)) return D3DERR_INVALIDCALL;
        area = *rect;
    }
    const FormatInfo info = DescribeFormat(desc_.Format);
    std::size_t offset;
    if (info.compressed)
        offset = static_cast<std::size_t>(area.top / 4) * pitch_ + static_cast<std::size_t>(area.left / 4) * info.blockBytes;
    else
        offset = static_cast<std::size_t>(area.top) * pitch_ + static_cast<std::size_t>(area.left) * info.bitsPerPixel / 8;
    TakeBackShownPixels();
    locked->pBits = Bits() + offset;
    locked->Pitch = pitch_;
    locked_ = true;
    depthFloor_ = 0;
    unusedBytesOpaque_ = false;

    d3d9ctl::Counters& counters = Control().counters;
    ++counters.locks;
    if (flags & D3DLOCK_DISCARD) ++counters.locksDiscard;
    if (flags & D3DLOCK_READONLY) ++counters.locksReadOnly;
    return D3D_OK;
}

HRESULT Surface::Unlock() {
    if (!locked_) return D3DERR_INVALIDCALL;
    locked_ = false;
    return D3D_OK;
}

SurfaceView Surface::View() {
    device_->FlushDraws();
    depthFloor_ = 0;
    unusedBytesOpaque_ = false;
    return MemoryView();
}

void Surface::NoteColourClearedWhole() {
    unusedBytesOpaque_ = true;
    shownIn_ = nullptr;
    shownPixels_ = nullptr;
}

bool Surface::ExchangeWithWindow(HWND window) {
    const bool shownAsIs = desc_.Format == D3DFMT_A8R8G8B8 || (desc_.Format == D3DFMT_X8R8G8B8 && unusedBytesOpaque_);
    if (!shownAsIs || locked_ || static_cast<UINT>(pitch_) != 4 * desc_.Width) return false;
    int width = 0, height = 0;
    if (win32::WindowPixels(window, &width, &height) == nullptr || static_cast<UINT>(width) != desc_.Width ||
        static_cast<UINT>(height) != desc_.Height)
        return false;
    device_->FlushDraws();
    if (!win32::ExchangeWindowPixels(window, memory_)) return false;
    unusedBytesOpaque_ = false;  // what the window showed
    shownIn_ = window;
    shownPixels_ = win32::WindowPixels(window, nullptr, nullptr);
    return true;
}

void Surface::TakeBackShownPixels() {
    if (shownIn_ == nullptr) return;
    int width = 0, height = 0;
    const std::uint32_t* shown = win32::WindowPixels(shownIn_, &width, &height);
    if (shown == shownPixels_ && static_cast<std::size_t>(width) * static_cast<std::size_t>(height) == memory_.size())
        std::copy_n(shown, memory_.size(), memory_.begin());
    shownIn_ = nullptr;
    shownPixels_ = nullptr;
}

SurfaceView Surface::MemoryView() {
    TakeBackShownPixels();
    SurfaceView view;
    view.format = desc_.Format;
    view.width = static_cast<int>(desc_.Width);
    view.height = static_cast<int>(desc_.Height);
    view.pitch = pitch_;
    view.bits = Bits();
    return view;
}

}  // namespace d3d9sw
