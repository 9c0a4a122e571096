// Resources: lock rules and their misuse reports, copies between pools, texture memory and
// scripted failures.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tests/d3d9/d3d9_fixture.h"

namespace d3d9test {
namespace {

class ResourceTest : public D3D9Test {
protected:
    void SetUp() override {
        D3D9Test::SetUp();
        CreateWindowedDevice();
        d3d9ctl::ResetCounters();
    }

    // Binds a dynamic vertex buffer of `vertices` 0x142 vertices and draws `triangles` from `first`.
    HRESULT DrawFrom(IDirect3DVertexBuffer9* buffer, UINT first, UINT triangles) {
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);  // the library's setting; the rasteriser has no lights
        device_->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1);
        device_->SetStreamSource(0, buffer, 0, 24);
        device_->BeginScene();
        const HRESULT hr = device_->DrawPrimitive(D3DPT_TRIANGLELIST, first, triangles);
        device_->EndScene();
        return hr;
    }
};

TEST_F(ResourceTest, BufferLocksFollowTheDynamicRules) {
    Ref<IDirect3DVertexBuffer9> fixed;
    ASSERT_EQ(device_->CreateVertexBuffer(96, D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT, fixed.out(), nullptr), D3D_OK);
    void* data = nullptr;
    EXPECT_EQ(fixed->Lock(0, 0, &data, D3DLOCK_DISCARD), D3DERR_INVALIDCALL);
    EXPECT_EQ(fixed->Lock(0, 0, &data, D3DLOCK_NOOVERWRITE), D3DERR_INVALIDCALL);
    EXPECT_EQ(fixed->Lock(0, 0, &data, D3DLOCK_READONLY), D3DERR_INVALIDCALL) << "write-only buffer";
    EXPECT_EQ(fixed->Lock(96, 0, &data, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(fixed->Lock(90, 8, &data, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(fixed->Unlock(), D3DERR_INVALIDCALL);
    ASSERT_EQ(fixed->Lock(90, 0, &data, 0), D3D_OK);  // size 0: to the end
    std::memset(data, 0xAB, 6);
    ASSERT_EQ(fixed->Unlock(), D3D_OK);

    Ref<IDirect3DIndexBuffer9> indices;
    ASSERT_EQ(device_->CreateIndexBuffer(64, D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC, D3DFMT_INDEX16, D3DPOOL_DEFAULT,
                                         indices.out(), nullptr),
              D3D_OK);
    ASSERT_EQ(indices->Lock(0, 0, &data, D3DLOCK_DISCARD), D3D_OK);
    ASSERT_EQ(indices->Unlock(), D3D_OK);
    ASSERT_EQ(indices->Lock(32, 32, &data, D3DLOCK_NOOVERWRITE), D3D_OK);
    ASSERT_EQ(indices->Unlock(), D3D_OK);
    EXPECT_EQ(indices->Lock(0, 0, &data, D3DLOCK_DISCARD | D3DLOCK_NOOVERWRITE), D3DERR_INVALIDCALL);
    IDirect3DIndexBuffer9* index32 = nullptr;
    EXPECT_EQ(device_->CreateIndexBuffer(64, 0, D3DFMT_INDEX32, D3DPOOL_DEFAULT, &index32, nullptr), D3DERR_INVALIDCALL);

    const d3d9ctl::Counters counters = d3d9ctl::GetCounters();
    EXPECT_EQ(counters.locks, 3u);
    EXPECT_EQ(counters.locksDiscard, 1u);
    EXPECT_EQ(counters.locksNoOverwrite, 1u);
}

TEST_F(ResourceTest, NoOverwriteLockOverDrawnBytesIsReportedAsMisuse) {
    Ref<IDirect3DVertexBuffer9> ring;
    ASSERT_EQ(device_->CreateVertexBuffer(240, D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC, 0, D3DPOOL_DEFAULT, ring.out(),
                                          nullptr),
              D3D_OK);
    void* data = nullptr;
    ASSERT_EQ(ring->Lock(0, 72, &data, D3DLOCK_DISCARD), D3D_OK);
    std::memset(data, 0, 72);
    ASSERT_EQ(ring->Unlock(), D3D_OK);
    ASSERT_EQ(DrawFrom(ring.get(), 0, 1), D3D_OK);  // reads bytes [0, 72)

    ASSERT_EQ(ring->Lock(72, 72, &data, D3DLOCK_NOOVERWRITE), D3D_OK);  // behind the drawn bytes: fine
    ASSERT_EQ(ring->Unlock(), D3D_OK);
    EXPECT_TRUE(d3d9ctl::MisuseReports().empty());

    ASSERT_EQ(ring->Lock(48, 48, &data, D3DLOCK_NOOVERWRITE), D3D_OK);  // the platform allows it...
    ASSERT_EQ(ring->Unlock(), D3D_OK);
    ASSERT_EQ(d3d9ctl::MisuseReports().size(), 1u);  // ...but it overwrites what a draw may still read
    EXPECT_NE(d3d9ctl::MisuseReports()[0].find("NOOVERWRITE"), std::string::npos);

    ASSERT_EQ(ring->Lock(0, 0, &data, D3DLOCK_DISCARD), D3D_OK);  // a new ring
    ASSERT_EQ(ring->Unlock(), D3D_OK);
    ASSERT_EQ(ring->Lock(0, 72, &data, D3DLOCK_NOOVERWRITE), D3D_OK);
    ASSERT_EQ(ring->Unlock(), D3D_OK);
    EXPECT_EQ(d3d9ctl::GetCounters().misuses, 1u);
}

TEST_F(ResourceTest, TextureLockRulesByPoolUsageAndFormat) {
    D3DLOCKED_RECT locked{};
    Ref<IDirect3DTexture9> video;
    ASSERT_EQ(device_->CreateTexture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, video.out(), nullptr), D3D_OK);
    EXPECT_EQ(video->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(locked.pBits, nullptr);

    Ref<IDirect3DTexture9> dynamic;
    ASSERT_EQ(device_->CreateTexture(16, 16, 1, D3DUSAGE_DYNAMIC, D3DFMT_A4R4G4B4, D3DPOOL_DEFAULT, dynamic.out(), nullptr),
              D3D_OK);
    ASSERT_EQ(dynamic->LockRect(0, &locked, nullptr, D3DLOCK_DISCARD), D3D_OK);
    EXPECT_EQ(locked.Pitch, 32);
    EXPECT_EQ(dynamic->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL) << "already locked";
    ASSERT_EQ(dynamic->UnlockRect(0), D3D_OK);
    EXPECT_EQ(dynamic->UnlockRect(0), D3DERR_INVALIDCALL);

    Ref<IDirect3DTexture9> managed;
    ASSERT_EQ(device_->CreateTexture(16, 8, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, managed.out(), nullptr), D3D_OK);
    EXPECT_EQ(managed->GetLevelCount(), 5u);
    D3DSURFACE_DESC desc{};
    ASSERT_EQ(managed->GetLevelDesc(3, &desc), D3D_OK);
    EXPECT_EQ(desc.Width, 2u);
    EXPECT_EQ(desc.Height, 1u);
    EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
    EXPECT_EQ(managed->GetLevelDesc(5, &desc), D3DERR_INVALIDCALL);
    EXPECT_EQ(managed->LockRect(0, &locked, nullptr, D3DLOCK_DISCARD), D3DERR_INVALIDCALL);
    const RECT rect{3, 2, 5, 4};
    ASSERT_EQ(managed->LockRect(0, &locked, &rect, D3DLOCK_NOSYSLOCK), D3D_OK);
    void* rectBits = locked.pBits;
    ASSERT_EQ(managed->UnlockRect(0), D3D_OK);
    ASSERT_EQ(managed->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<std::uint8_t*>(rectBits), static_cast<std::uint8_t*>(locked.pBits) + 2 * 64 + 3 * 4);
    ASSERT_EQ(managed->UnlockRect(0), D3D_OK);
    const RECT outside{8, 0, 17, 4};
    EXPECT_EQ(managed->LockRect(0, &locked, &outside, 0), D3DERR_INVALIDCALL);

    // DXT locks cover whole 4x4 blocks.
    Ref<IDirect3DTexture9> dxt;
    ASSERT_EQ(device_->CreateTexture(16, 16, 1, 0, D3DFMT_DXT1, D3DPOOL_SYSTEMMEM, dxt.out(), nullptr), D3D_OK);
    const RECT unaligned{2, 0, 6, 4};
    EXPECT_EQ(dxt->LockRect(0, &locked, &unaligned, 0), D3DERR_INVALIDCALL);
    ASSERT_EQ(dxt->LockRect(0, &locked, nullptr, 0), D3D_OK);
    auto* base = static_cast<std::uint8_t*>(locked.pBits);
    EXPECT_EQ(locked.Pitch, 32);  // four blocks of 8 bytes
    ASSERT_EQ(dxt->UnlockRect(0), D3D_OK);
    const RECT block{4, 4, 8, 8};
    ASSERT_EQ(dxt->LockRect(0, &locked, &block, 0), D3D_OK);
    EXPECT_EQ(static_cast<std::uint8_t*>(locked.pBits), base + 32 + 8);
    ASSERT_EQ(dxt->UnlockRect(0), D3D_OK);

    // A small DXT texture (the library's power-of-two sizes start at 2) still locks whole.
    Ref<IDirect3DTexture9> tiny;
    ASSERT_EQ(device_->CreateTexture(2, 2, 1, 0, D3DFMT_DXT3, D3DPOOL_SYSTEMMEM, tiny.out(), nullptr), D3D_OK);
    ASSERT_EQ(tiny->LockRect(0, &locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(locked.Pitch, 16);
    ASSERT_EQ(tiny->UnlockRect(0), D3D_OK);
}

// Of the depth formats only D16_LOCKABLE locks, made by the device or with it; its contents must
// survive, so it refuses to be discarded.
TEST_F(ResourceTest, OnlyD16LockableDepthBuffersLock) {
    for (D3DFORMAT format : {D3DFMT_D16, D3DFMT_D24S8, D3DFMT_D24X8, D3DFMT_D16_LOCKABLE}) {
        Ref<IDirect3DSurface9> depth;
        ASSERT_EQ(device_->CreateDepthStencilSurface(4, 4, format, D3DMULTISAMPLE_NONE, 0, FALSE, depth.out(), nullptr),
                  D3D_OK)
            << format;
        D3DLOCKED_RECT locked{};
        const bool lockable = format == D3DFMT_D16_LOCKABLE;
        EXPECT_EQ(depth->LockRect(&locked, nullptr, 0), lockable ? D3D_OK : D3DERR_INVALIDCALL) << format;
        if (lockable) {
            EXPECT_EQ(locked.Pitch, 8);
            EXPECT_EQ(depth->UnlockRect(), D3D_OK);
        }
    }
    {
        Ref<IDirect3DSurface9> discarded;
        EXPECT_EQ(device_->CreateDepthStencilSurface(4, 4, D3DFMT_D16_LOCKABLE, D3DMULTISAMPLE_NONE, 0, TRUE,
                                                     discarded.out(), nullptr),
                  D3DERR_INVALIDCALL);
    }

    D3DPRESENT_PARAMETERS params = WindowedParams(window_);
    params.AutoDepthStencilFormat = D3DFMT_D16_LOCKABLE;
    params.Flags = D3DPRESENTFLAG_DISCARD_DEPTHSTENCIL;
    EXPECT_EQ(device_->Reset(&params), D3DERR_INVALIDCALL);
    params.Flags = 0;
    ASSERT_EQ(device_->Reset(&params), D3D_OK);
    Ref<IDirect3DSurface9> depth;
    ASSERT_EQ(device_->GetDepthStencilSurface(depth.out()), D3D_OK);
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(depth->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(depth->UnlockRect(), D3D_OK);
}

TEST_F(ResourceTest, UpdateSurfaceCopiesSystemMemoryIntoTheDefaultPool) {
    Ref<IDirect3DTexture9> system, video;
    ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, system.out(), nullptr), D3D_OK);
    ASSERT_EQ(device_->CreateTexture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, video.out(), nullptr), D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(system->LockRect(0, &locked, nullptr, 0), D3D_OK);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(locked.pBits) + y * locked.Pitch)[x] =
                0xFF000000u | static_cast<std::uint32_t>(y << 8 | x);
    ASSERT_EQ(system->UnlockRect(0), D3D_OK);
    Ref<IDirect3DSurface9> from, to;
    ASSERT_EQ(system->GetSurfaceLevel(0, from.out()), D3D_OK);
    ASSERT_EQ(video->GetSurfaceLevel(0, to.out()), D3D_OK);

    const RECT rect{2, 3, 6, 7};
    const POINT at{12, 12};
    ASSERT_EQ(device_->UpdateSurface(from.get(), &rect, to.get(), &at), D3D_OK);
    EXPECT_EQ(d3d9ctl::ReadPixel(to.get(), 12, 12), 0xFF000302u);
    EXPECT_EQ(d3d9ctl::ReadPixel(to.get(), 15, 15), 0xFF000605u);
    EXPECT_EQ(d3d9ctl::ReadPixel(to.get(), 11, 12), 0u);

    for (const POINT tooFar : {POINT{13, 12}, POINT{INT32_MAX, 0}, POINT{-1, 0}})
        EXPECT_EQ(device_->UpdateSurface(from.get(), &rect, to.get(), &tooFar), D3DERR_INVALIDCALL) << tooFar.x;
    EXPECT_EQ(device_->UpdateSurface(to.get(), nullptr, from.get(), nullptr), D3DERR_INVALIDCALL) << "pools swapped";
    Ref<IDirect3DTexture9> other;
    ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, other.out(), nullptr), D3D_OK);
    Ref<IDirect3DSurface9> otherLevel;
    ASSERT_EQ(other->GetSurfaceLevel(0, otherLevel.out()), D3D_OK);
    EXPECT_EQ(device_->UpdateSurface(from.get(), nullptr, otherLevel.get(), nullptr), D3DERR_INVALIDCALL) << "format";
    EXPECT_EQ(device_->UpdateSurface(nullptr, nullptr, to.get(), nullptr), D3DERR_INVALIDCALL);

    // The level keeps its texture alive, and its container is that texture.
    Ref<IDirect3DTexture9> container;
    ASSERT_EQ(from->GetContainer(IID_IDirect3DTexture9, reinterpret_cast<void**>(container.out())), D3D_OK);
    EXPECT_EQ(container.get(), system.get());
}

TEST_F(ResourceTest, ObjectsKeepWhatTheyBelongToAlive) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(4, 4, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    IDirect3DSurface9* level = nullptr;
    ASSERT_EQ(texture->GetSurfaceLevel(1, &level), D3D_OK);
    EXPECT_EQ(texture->Release(), 1u) << "the level holds its texture";
    IDirect3DDevice9* device = device_.get();
    device->AddRef();
    device_.reset();  // the application's last own reference; the level still holds the device
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(level->LockRect(&locked, nullptr, 0), D3D_OK);
    static_cast<std::uint32_t*>(locked.pBits)[0] = 0x12345678u;
    ASSERT_EQ(level->UnlockRect(), D3D_OK);
    EXPECT_EQ(d3d9ctl::ReadPixel(level, 0, 0), 0x12345678u);
    IDirect3DDevice9* owner = nullptr;
    ASSERT_EQ(level->GetDevice(&owner), D3D_OK);
    EXPECT_EQ(owner, device);
    owner->Release();
    device->Release();
    EXPECT_EQ(level->Release(), 0u);  // texture, level and device go together (the sanitizer run checks)
}

TEST_F(ResourceTest, LiveObjectsAreCountedUntilTheLastReferenceOrBindingGoes) {
    // The fixture holds the Direct3D object and the device; levels and implicit surfaces count
    // with what contains them.
    auto live = d3d9ctl::CountLiveObjects();
    EXPECT_EQ(live.direct3d, 1);
    EXPECT_EQ(live.devices, 1);
    EXPECT_EQ(live.resources, 0);
    EXPECT_EQ(live.swapChains, 0);
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(8, 8, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    IDirect3DVertexBuffer9* buffer = nullptr;
    ASSERT_EQ(device_->CreateVertexBuffer(96, D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT, &buffer, nullptr), D3D_OK);
    D3DPRESENT_PARAMETERS extra{};
    extra.SwapEffect = D3DSWAPEFFECT_COPY;
    extra.Windowed = TRUE;
    IDirect3DSwapChain9* chain = nullptr;
    ASSERT_EQ(device_->CreateAdditionalSwapChain(&extra, &chain), D3D_OK);
    live = d3d9ctl::CountLiveObjects();
    EXPECT_EQ(live.resources, 2);
    EXPECT_EQ(live.swapChains, 1);
    ASSERT_EQ(device_->SetTexture(0, texture), D3D_OK);
    texture->Release();
    EXPECT_EQ(d3d9ctl::CountLiveObjects().resources, 2) << "a bound texture stays alive";
    ASSERT_EQ(device_->SetTexture(0, nullptr), D3D_OK);
    buffer->Release();
    chain->Release();
    live = d3d9ctl::CountLiveObjects();
    EXPECT_EQ(live.resources, 0);
    EXPECT_EQ(live.swapChains, 0);
    device_.reset();
    d3d_.reset();
    EXPECT_EQ(d3d9ctl::CountLiveObjects().Total(), 0);
}

TEST_F(ResourceTest, DefaultPoolAllocationsSpendTheTextureBudget) {
    d3d9ctl::SetTextureMemory(0, 1u << 20);
    EXPECT_EQ(device_->GetAvailableTextureMem(), 1u << 20);
    Ref<IDirect3DTexture9> quarter;
    ASSERT_EQ(device_->CreateTexture(256, 256, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, quarter.out(), nullptr), D3D_OK);
    EXPECT_EQ(device_->GetAvailableTextureMem(), 3u << 18);
    EXPECT_EQ(d3d9ctl::TextureMemoryFree(), 3u << 18);
    EXPECT_EQ(d3d9ctl::TextureMemoryTotal(), 1u << 20);

    Ref<IDirect3DTexture9> system;
    ASSERT_EQ(device_->CreateTexture(512, 512, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, system.out(), nullptr), D3D_OK);
    EXPECT_EQ(device_->GetAvailableTextureMem(), 3u << 18) << "system memory is not video memory";

    IDirect3DTexture9* tooBig = reinterpret_cast<IDirect3DTexture9*>(1);
    EXPECT_EQ(device_->CreateTexture(512, 512, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &tooBig, nullptr),
              D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(tooBig, nullptr);
    IDirect3DVertexBuffer9* buffer = nullptr;
    EXPECT_EQ(device_->CreateVertexBuffer(1u << 20, D3DUSAGE_DYNAMIC, 0, D3DPOOL_DEFAULT, &buffer, nullptr),
              D3DERR_OUTOFVIDEOMEMORY);
    quarter.reset();
    EXPECT_EQ(device_->GetAvailableTextureMem(), 1u << 20);
}

TEST_F(ResourceTest, ScriptedFailuresOfBufferCreationAndLocks) {
    d3d9ctl::FailCall("CreateVertexBuffer", 2, D3DERR_OUTOFVIDEOMEMORY);
    Ref<IDirect3DVertexBuffer9> first, second, third;
    EXPECT_EQ(device_->CreateVertexBuffer(96, 0, 0, D3DPOOL_DEFAULT, first.out(), nullptr), D3D_OK);
    EXPECT_EQ(device_->CreateVertexBuffer(96, 0, 0, D3DPOOL_DEFAULT, second.out(), nullptr), D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_FALSE(second);
    EXPECT_EQ(device_->CreateVertexBuffer(96, 0, 0, D3DPOOL_DEFAULT, third.out(), nullptr), D3D_OK);

    Ref<IDirect3DTexture9> texture;
    ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.out(), nullptr), D3D_OK);
    d3d9ctl::FailCall("LockRect", 1, E_OUTOFMEMORY, 2);
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), E_OUTOFMEMORY);
    EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), E_OUTOFMEMORY);
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK) << "the script covered two calls";
    EXPECT_EQ(texture->UnlockRect(0), D3D_OK);
}

TEST_F(ResourceTest, BadCreationArgumentsAreRefused) {
    IDirect3DTexture9* texture = nullptr;
    auto create = [&](UINT w, UINT h, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool) {
        const HRESULT hr = device_->CreateTexture(w, h, levels, usage, format, pool, &texture, nullptr);
        if (texture != nullptr) texture->Release();
        texture = nullptr;
        return hr;
    };
    EXPECT_EQ(create(0, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED), D3DERR_INVALIDCALL);
    EXPECT_EQ(create(8192, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED), D3DERR_INVALIDCALL);
    EXPECT_EQ(create(4, 4, 4, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED), D3DERR_INVALIDCALL) << "more levels than 4x4 has";
    // Formats image files store pixels in that the device, like most hardware, does not offer.
    for (D3DFORMAT format : {D3DFMT_A8L8, D3DFMT_R8G8B8, D3DFMT_P8}) {
        EXPECT_EQ(create(4, 4, 1, 0, format, D3DPOOL_MANAGED), D3DERR_INVALIDCALL) << format;
        IDirect3DSurface9* plain = nullptr;
        EXPECT_EQ(device_->CreateOffscreenPlainSurface(4, 4, format, D3DPOOL_SYSTEMMEM, &plain, nullptr), D3DERR_INVALIDCALL)
            << format;
        EXPECT_EQ(d3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_SURFACE, format), D3DERR_NOTAVAILABLE)
            << format;
    }
    EXPECT_EQ(create(4, 4, 1, 0, D3DFMT_D16, D3DPOOL_DEFAULT), D3DERR_INVALIDCALL);
    EXPECT_EQ(create(4, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED), D3DERR_INVALIDCALL);
    EXPECT_EQ(create(4, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_DXT3, D3DPOOL_DEFAULT), D3DERR_INVALIDCALL);
    EXPECT_EQ(create(4, 4, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED), D3DERR_INVALIDCALL);
    EXPECT_EQ(create(4, 4, 1, 0, D3DFMT_A8R8G8B8, static_cast<D3DPOOL>(9)), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, nullptr, nullptr), D3DERR_INVALIDCALL);
    HANDLE shared = nullptr;
    EXPECT_EQ(device_->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, &shared),
              D3DERR_INVALIDCALL);

    IDirect3DSurface9* surface = nullptr;
    EXPECT_EQ(device_->CreateOffscreenPlainSurface(4, 4, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &surface, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateDepthStencilSurface(4, 4, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &surface, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateDepthStencilSurface(4, 4, D3DFMT_D24S8, D3DMULTISAMPLE_2_SAMPLES, 0, FALSE, &surface,
                                                 nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(surface, nullptr);
    // Methods the library never calls fail loudly instead of pretending.
    EXPECT_EQ(device_->ColorFill(nullptr, nullptr, 0), E_NOTIMPL);
}

using ShapeCapsTest = D3D9Test;

TEST_F(ShapeCapsTest, CreateTextureHonoursTheShapeTheCapsAllow) {
    constexpr DWORD kPow2 = D3DPTEXTURECAPS_POW2, kConditional = D3DPTEXTURECAPS_NONPOW2CONDITIONAL;
    struct Case {
        DWORD textureCaps, aspect, maxSide;
        UINT width, height, levels;
        D3DFORMAT format;
        bool created;
    } cases[] = {
        {0, 0, 4096, 100, 30, 0, D3DFMT_A8R8G8B8, true},
        {kPow2, 0, 4096, 100, 32, 1, D3DFMT_A8R8G8B8, false},
        {kPow2, 0, 4096, 128, 32, 0, D3DFMT_A8R8G8B8, true},
        {kPow2 | kConditional, 0, 4096, 100, 30, 1, D3DFMT_A8R8G8B8, true},
        {kPow2 | kConditional, 0, 4096, 100, 30, 2, D3DFMT_A8R8G8B8, false},  // mip levels
        {kPow2 | kConditional, 0, 4096, 100, 32, 1, D3DFMT_DXT1, false},      // block compression
        {D3DPTEXTURECAPS_SQUAREONLY, 0, 4096, 64, 32, 1, D3DFMT_A8R8G8B8, false},
        {D3DPTEXTURECAPS_SQUAREONLY, 0, 4096, 64, 64, 1, D3DFMT_A8R8G8B8, true},
        {0, 2, 4096, 64, 32, 1, D3DFMT_A8R8G8B8, true},
        {0, 2, 4096, 64, 16, 1, D3DFMT_A8R8G8B8, false},
        {0, 2, 4096, 16, 64, 1, D3DFMT_A8R8G8B8, false},
        {0, 0, 512, 512, 16, 1, D3DFMT_A8R8G8B8, true},
        {0, 0, 512, 1024, 16, 1, D3DFMT_A8R8G8B8, false},
    };
    for (const Case& c : cases) {
        D3DCAPS9 caps = d3d9ctl::DefaultCaps();
        caps.TextureCaps = D3DPTEXTURECAPS_ALPHA | c.textureCaps;
        caps.MaxTextureAspectRatio = c.aspect;
        caps.MaxTextureWidth = caps.MaxTextureHeight = c.maxSide;
        d3d9ctl::SetCaps(0, caps);
        CreateWindowedDevice();
        Ref<IDirect3DTexture9> texture;
        EXPECT_EQ(device_->CreateTexture(c.width, c.height, c.levels, 0, c.format, D3DPOOL_MANAGED, texture.out(), nullptr),
                  c.created ? D3D_OK : D3DERR_INVALIDCALL)
            << c.width << "x" << c.height << " with caps " << c.textureCaps << ", aspect " << c.aspect << ", side " << c.maxSide;
        texture.reset();
        device_.reset();
    }
}

TEST_F(ShapeCapsTest, WrappingAConditionalTextureIsReported) {
    D3DCAPS9 caps = d3d9ctl::DefaultCaps();
    caps.TextureCaps = D3DPTEXTURECAPS_ALPHA | D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL;
    d3d9ctl::SetCaps(0, caps);
    CreateWindowedDevice();
    Ref<IDirect3DTexture9> texture;
    ASSERT_EQ(device_->CreateTexture(3, 5, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.out(), nullptr), D3D_OK);
    Ref<IDirect3DVertexBuffer9> buffer;
    ASSERT_EQ(device_->CreateVertexBuffer(72, 0, 0, D3DPOOL_MANAGED, buffer.out(), nullptr), D3D_OK);
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    device_->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    device_->SetStreamSource(0, buffer.get(), 0, 24);
    device_->SetTexture(0, texture.get());
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    d3d9ctl::ResetCounters();
    ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);  // WRAP by default
    EXPECT_EQ(d3d9ctl::MisuseReports(),
              std::vector<std::string>{"DrawPrimitive wrapping a texture whose size is not a power of two at stage 0"});
    d3d9ctl::ResetCounters();
    device_->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    device_->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
    EXPECT_TRUE(d3d9ctl::MisuseReports().empty());
    ASSERT_EQ(device_->EndScene(), D3D_OK);
    device_->SetTexture(0, nullptr);
    device_->SetStreamSource(0, nullptr, 0, 0);
}

}  // namespace
}  // namespace d3d9test
