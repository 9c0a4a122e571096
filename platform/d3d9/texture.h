#pragma once
// A 2D texture of the software device: a chain of level surfaces that belong to it.
#include <memory>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/ref_counted.h"
#include "platform/d3d9/surface.h"

namespace d3d9sw {

class Device;

class Texture final : public IDirect3DTexture9, public RefCounted {
public:
    // Arguments already validated by the device; `levels` >= 1.
    Texture(Device* device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool);
    ~Texture() override;

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
    // IDirect3DBaseTexture9
    DWORD SetLOD(DWORD lod) override;
    DWORD GetLOD() override;
    DWORD GetLevelCount() override;
    // IDirect3DTexture9
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) override;
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect(UINT level) override;
    HRESULT AddDirtyRect(const RECT* dirtyRect) override;

    Surface* Level(UINT level) const { return level < levels_.size() ? levels_[level].get() : nullptr; }
    UINT LevelCount() const { return static_cast<UINT>(levels_.size()); }
    D3DPOOL Pool() const { return pool_; }
    Device* OwnerDevice() const { return device_; }
    std::size_t Bytes() const;

    static Texture* From(IDirect3DBaseTexture9* texture);

private:
    Device* device_;
    D3DPOOL pool_;
    std::vector<std::unique_ptr<Surface>> levels_;
    DWORD priority_ = 0;
    DWORD lod_ = 0;
};

}  // namespace d3d9sw
