#include "platform/d3d9/texture.h"

#include "platform/d3d9/control_state.h"
#include "platform/d3d9/device.h"

namespace d3d9sw {

Texture::Texture(Device* device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool)
    : RefCounted(device, nullptr), device_(device), pool_(pool) {
    // DEFAULT-pool memory is the card's: only dynamic textures can be locked there.
    Surface::Options options;
    options.lockable = pool != D3DPOOL_DEFAULT || (usage & D3DUSAGE_DYNAMIC) != 0;
    options.dynamic = (usage & D3DUSAGE_DYNAMIC) != 0;
    for (UINT level = 0; level < levels; ++level) {
        D3DSURFACE_DESC desc{};
        desc.Format = format;
        desc.Type = D3DRTYPE_SURFACE;
        desc.Usage = usage;
        desc.Pool = pool;
        desc.MultiSampleType = D3DMULTISAMPLE_NONE;
        desc.Width = width;
        desc.Height = height;
        levels_.push_back(std::make_unique<Surface>(device, this, static_cast<IDirect3DTexture9*>(this), desc, options));
        width = width > 1 ? width / 2 : 1;
        height = height > 1 ? height / 2 : 1;
    }
}

Texture::~Texture() { device_->ForgetResource(this); }

Texture* Texture::From(IDirect3DBaseTexture9* texture) { return dynamic_cast<Texture*>(texture); }

std::size_t Texture::Bytes() const {
    std::size_t total = 0;
    for (const auto& level : levels_) total += level->Bytes();
    return total;
}

HRESULT Texture::QueryInterface(REFIID riid, void** object) {
    auto lock = LockApi();
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DResource9 || riid == IID_IDirect3DBaseTexture9 ||
        riid == IID_IDirect3DTexture9) {
        *object = static_cast<IDirect3DTexture9*>(this);
        AddPublic();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG Texture::AddRef() {
    auto lock = LockApi();
    return AddPublic();
}

ULONG Texture::Release() {
    auto lock = LockApi();
    return ReleasePublic();
}

HRESULT Texture::GetDevice(IDirect3DDevice9** device) {
    auto lock = LockApi();
    if (device == nullptr) return D3DERR_INVALIDCALL;
    device_->AddRef();
    *device = device_;
    return D3D_OK;
}

DWORD Texture::SetPriority(DWORD priority) {
    auto lock = LockApi();
    const DWORD previous = priority_;
    priority_ = priority;
    return previous;
}

DWORD Texture::GetPriority() {
    auto lock = LockApi();
    return priority_;
}

void Texture::PreLoad() {}

D3DRESOURCETYPE Texture::GetType() { return D3DRTYPE_TEXTURE; }

DWORD Texture::SetLOD(DWORD lod) {
    auto lock = LockApi();
    // Only managed textures have a level of detail; the others report 0 and keep none.
    if (pool_ != D3DPOOL_MANAGED) return 0;
    const DWORD previous = lod_;
    lod_ = lod < levels_.size() ? lod : static_cast<DWORD>(levels_.size() - 1);
    return previous;
}

DWORD Texture::GetLOD() {
    auto lock = LockApi();
    return lod_;
}

DWORD Texture::GetLevelCount() {
    auto lock = LockApi();
    return static_cast<DWORD>(levels_.size());
}

HRESULT Texture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
    auto lock = LockApi();
    HRESULT hr;
    if (TakeScriptedFailure("GetLevelDesc", &hr)) return Logged("GetLevelDesc", Args(level), hr);
    if (desc == nullptr || level >= levels_.size()) return Logged("GetLevelDesc", Args(level), D3DERR_INVALIDCALL);
    *desc = levels_[level]->Desc();
    return D3D_OK;  // a read: not logged
}

HRESULT Texture::GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) {
    auto lock = LockApi();
    HRESULT hr;
    if (TakeScriptedFailure("GetSurfaceLevel", &hr)) {
        if (surface != nullptr) *surface = nullptr;
        return Logged("GetSurfaceLevel", Args(level), hr);
    }
    if (surface == nullptr) return Logged("GetSurfaceLevel", Args(level), D3DERR_INVALIDCALL);
    *surface = nullptr;
    if (level >= levels_.size()) return Logged("GetSurfaceLevel", Args(level), D3DERR_INVALIDCALL);
    levels_[level]->AddPublic();
    *surface = levels_[level].get();
    return Logged("GetSurfaceLevel", Args(level), D3D_OK);
}

HRESULT Texture::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    auto lock = LockApi();
    HRESULT hr;
    if (TakeScriptedFailure("LockRect", &hr)) return Logged("LockRect", Args(level, rect, flags), hr);
    if (level >= levels_.size()) {
        if (locked != nullptr) *locked = D3DLOCKED_RECT{0, nullptr};
        return Logged("LockRect", Args(level, rect, flags), D3DERR_INVALIDCALL);
    }
    return Logged("LockRect", Args(level, rect, flags), levels_[level]->Lock(locked, rect, flags));
}

HRESULT Texture::UnlockRect(UINT level) {
    auto lock = LockApi();
    HRESULT hr;
    if (TakeScriptedFailure("UnlockRect", &hr)) return Logged("UnlockRect", Args(level), hr);
    if (level >= levels_.size()) return Logged("UnlockRect", Args(level), D3DERR_INVALIDCALL);
    return Logged("UnlockRect", Args(level), levels_[level]->Unlock());
}

HRESULT Texture::AddDirtyRect(const RECT* dirtyRect) {
    auto lock = LockApi();
    // Every pool's memory is the memory drawn from, so there is nothing to mark.
    if (dirtyRect != nullptr && (dirtyRect->left < 0 || dirtyRect->top < 0 || dirtyRect->left >= dirtyRect->right ||
                                 dirtyRect->top >= dirtyRect->bottom))
        return D3DERR_INVALIDCALL;
    return D3D_OK;
}

}  // namespace d3d9sw
