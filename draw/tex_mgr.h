#pragma once
// CTexMgr: the renderer's texture manager. One per renderer, made after the device and
// owned by the renderer. It registers textures by name, creates and deletes them, loads
// file textures through the texture loader (resource_texture_loader.h), keeps the in-use
// and idle lists that decide which textures may be unloaded, holds the texture pool and the
// three lists of atlas pages, caches system-memory surfaces of image files, and keeps the
// statistics block the renderer hands the host.
//
// Lifetime: every texture, page and pool it made dies with it (textures first, then the
// pages, the pool, and last the loads their textures gave up, which are awaited). Host
// thread only.
//
// Failures: misuse throws lumi::Exception ("string overflow.", "Duplicate CD3DTexture.",
// "Not enough memory in pool", "invalid texture name.", "invalid texture data.", "error");
// a not-packable texture going idle is fatal (tarnel Error "fatal error: 9999"). Load
// failures leave textures unloaded; they are tried again when next polled.
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/build_variant.h"
#include "core/lru_list.h"
#include "core/pool_table.h"
#include "draw/bitmap_load.h"
#include "draw/font_glyphs.h"
#include "draw/texture_load.h"
#include "draw/texture_owner.h"
#include "platform/d3d9/d3d9.h"

class CLumiscriber;
class CD3DHugeTexture;
class CTextureCell;
class CResourceTextureLoader;
class CThreadTextureLoader;
struct tex_cell_t;

// The statistics block. The renderer's GetStatistics turns the sums into averages over
// FrameCount frames.
struct STRU_TEX_STATS {
    std::uint32_t FrameCount;          // frames begun since construction
    std::uint32_t VideoBytes;          // the texture pool's totals at the last Update
    std::uint32_t SystemBytes;
    std::int32_t IntSums[6];           // per-frame counters, cleared by OnFrameBegin
    float FloatSums[4];
    std::int32_t FrameCounters[2];     // two further per-frame counters, cleared by OnFrameBegin
    std::int32_t IntAverages[6];       // IntSums / FrameCount (integer division)
    float FloatAverages[4];            // FloatSums / FrameCount
};

// What a build's texture manager does, chosen once for the build (kTexMgrRules below).
struct tex_mgr_rules_t {
    std::uint32_t scratchBytes;  // the buffer of the synchronous reads
    // The memory rule: while the pool holds CTexMgr::kIdleLimitBytes or more of system
    // copies, at most `unloadsPerFrame` textures idle for `idleKeepMs` or more are unloaded,
    // oldest first, while more than `idleTexturesKept` are idle (and, with
    // `idleOutnumberInUse`, more than are in use).
    std::int32_t unloadsPerFrame;
    std::int32_t idleTexturesKept;
    bool idleOutnumberInUse;
    std::uint32_t idleKeepMs;
    // With more idle textures than this, the oldest one gives up its video copy.
    std::int32_t idleVideoKept;
    // A texture whose load is still queued, and an unnamed one, is never unregistered.
    bool keepsLoadingTextures;
    // The atlas: whether host-cell pages exist, and the textures the pages take: at most the
    // largest side on each side (alpha pages: square ones only, with `squareAlphaCells`), not
    // those drawn from a video copy of their own (with `ownCopiesStayOut`).
    bool hostCellPages;
    std::uint32_t largestOpaqueSide;
    std::uint32_t largestAlphaSide;
    bool squareAlphaCells;
    bool ownCopiesStayOut;

    static constexpr std::int32_t kNoLimit = std::numeric_limits<std::int32_t>::max();
};

#if LUMI_LEGACY
// Unloads any idle texture at once, as many as it takes; sheds idle video copies; packs any
// format up to 256 pixels a side; keeps a texture registered while its file is on its way.
inline constexpr tex_mgr_rules_t kTexMgrRules{.scratchBytes = 0x100000, .unloadsPerFrame = tex_mgr_rules_t::kNoLimit,
    .idleTexturesKept = 64, .idleOutnumberInUse = true, .idleKeepMs = 0, .idleVideoKept = 32,
    .keepsLoadingTextures = true, .hostCellPages = false, .largestOpaqueSide = 256, .largestAlphaSide = 256,
    .squareAlphaCells = false, .ownCopiesStayOut = true};
#else
inline constexpr tex_mgr_rules_t kTexMgrRules{.scratchBytes = 0x20000, .unloadsPerFrame = 5,
    .idleTexturesKept = 8, .idleOutnumberInUse = false, .idleKeepMs = 2400, .idleVideoKept = tex_mgr_rules_t::kNoLimit,
    .keepsLoadingTextures = false, .hostCellPages = true, .largestOpaqueSide = 0xFFFF, .largestAlphaSide = 128,
    .squareAlphaCells = true, .ownCopiesStayOut = false};
#endif

// A texture without a registered name, or an atlas page, on one of the manager's lists.
struct tex_slot_t {
    lru_obj_s node;
    CD3DTexture* texture = nullptr;

    static tex_slot_t* FromNode(lru_obj_s* node) { return reinterpret_cast<tex_slot_t*>(node); }
    static void* operator new(std::size_t size) { return PooledAlloc<tex_slot_t>(size); }
    static void operator delete(void* block) noexcept { PooledFree<tex_slot_t>(block); }
};

class CTexMgr final : public ITextureOwner {
public:
    static constexpr std::uint32_t kIdleLimitBytes = 0x2000000;  // system-memory texture bytes
    static constexpr std::uint32_t kIdleKeepMs = kTexMgrRules.idleKeepMs;  // since the last AddRef
    static constexpr std::int32_t kOpaquePages = 5;
    static constexpr std::uint32_t kPageSide = 1024;
    static constexpr std::uint32_t kTargetPageSide = 512;
    static constexpr std::size_t kSurfaceCacheLimit = 64;
    static constexpr std::size_t kSurfacesEvicted = 16;

    // Chooses the font page format (A8, else A4R4G4B4, else A8R8G8B8) and logs it, makes the
    // texture pool, the loader and the atlas pages. Throws what the pool and the pages throw.
    explicit CTexMgr(CLumiscriber* renderer);
    // Deletes every texture and page, then waits for the loads given up while running.
    ~CTexMgr() override;
    CTexMgr(const CTexMgr&) = delete;
    CTexMgr& operator=(const CTexMgr&) = delete;

    // ---- Textures ----
    // The file texture of `path` in key form (NormalizePath), made and registered when new;
    // no reference is added and loading starts at its first poll. Null for a null or empty
    // path. Throws "string overflow." beyond 259 characters. `urgent` gives the load
    // priority 3. Asked for a texture whose file failed to load, it looks at the file's size
    // (host-thread callbacks): a file that changed is loaded again at the next poll.
    CD3DTexture* FindOrCreateTexture(const WCHAR* path, bool urgent);
    // Whether the texture of that name (any spelling of the path) is registered and loaded.
    bool IsTextureLoaded(const WCHAR* path);
    // Empty textures, registered without a name. CreateTexture() is 0 x 0 in the UI format.
    // The sized one binds memory at once when `allocate` (cleared for render targets) and
    // throws "Not enough memory in pool" when it cannot. A mask texture is in the font page
    // format, has memory and is never packed into the atlas.
    CD3DTexture* CreateTexture();
    CD3DTexture* CreateTexture(std::uint16_t width, std::uint16_t height, D3DFORMAT format, std::uint32_t usage,
                               bool allocate);
    CD3DTexture* CreateUITexture(std::uint16_t width, std::uint16_t height);
    CD3DTexture* CreateMaskTexture(std::uint16_t width, std::uint16_t height);
    // An empty font page of the build (draw/font_glyphs.h) in the font page format, not
    // packable, with memory bound and registered; null when the pool gives no memory (logged
    // "Not enough memory in pool").
    font_page_t* CreateFontPage(std::uint16_t width, std::uint16_t height);
    // A named texture goes into the name map (throws "Duplicate CD3DTexture." when the name
    // is taken), any other onto the unnamed list. Returns true.
    bool RegisterTexture(CD3DTexture* texture);
    // Deletes a texture without references (one with references, or null, is ignored). For a
    // texture the frame holds this is decided at the frame end, after the frame's own
    // references went; finding it again (FindOrCreateTexture) before then keeps it. A
    // texture the manager holds neither by name nor on its unnamed list (an atlas page,
    // another renderer's texture) is refused before anything changes: "invalid texture
    // name." / "invalid texture data.".
    void DestroyTexture(CD3DTexture* texture);
    // Takes a texture off every list and deletes it; a load still running is given up
    // (legacy build: an unnamed texture, and one whose load is queued, stays as it is).
    void UnregisterTexture(CD3DTexture* texture);
    void DestroyAllTextures();

    // ---- What the frame's queued commands draw from ----
    // The renderer holds every texture a queued command samples until the frame end: one
    // reference per texture and frame, so that what was queued is what the flush draws
    // (see the rule in tex_mgr_frame.cpp). Null is ignored.
    void HoldForFrame(CD3DTexture* texture);
    // Textures held so far this frame; a mark for the two calls below.
    std::size_t FrameHoldCount() const { return frameHolds_.size(); }
    // Before the flush: the atlas cell and the video copy of every texture held since `from`
    // take the pixels the host wrote since they were last copied.
    void RefreshHeldTextures(std::size_t from = 0);
    // After the layers were emptied: the textures held since `from` are let go; those the
    // host destroyed meanwhile go now, and (for the frame end, `from` 0) the atlas cells
    // retired meanwhile are freed.
    void ReleaseFrameHolds(std::size_t from = 0);

    // ---- Per frame ----
    void OnFrameBegin();
    // The memory rule (up to 5 idle textures unloaded while the pool holds 32 MiB or more of
    // system copies and more than 8 textures are idle), one given-up load deleted, the pool
    // trimmed. Legacy build: while the pool holds 32 MiB or more of system copies and more
    // textures are idle than both 64 and those in use, the oldest idle one is unloaded; the
    // ended loads given up are deleted.
    void Update();
    // Unloads the oldest idle texture when it has been idle long enough (legacy build: at
    // any age): a named one is deleted, an unnamed one kept without memory. False when there
    // was none to unload, or the frame still draws from it.
    bool UnloadIdleTexture();

    // ---- Device events ----
    // Loss: every texture and page gives up its cell and render-target surface, the surface
    // cache is emptied and the pool releases every video copy.
    void OnLostDevice();
    void RestoreVideoTextures();
    // Before a display-mode change: every texture and page unloads (waiting for running
    // loads) and the pool releases everything.
    void UnloadAll();
    // After it: the atlas pages get memory again. Throws "Not enough memory in pool".
    void AllocateAtlasPages();

    // Returns when the loader has nothing in process (Sleep(5) polls).
    void WaitForResourceLoader();

    // ---- Atlas ----
    // The pages of the three lists (5 opaque, 1 alpha, 1 host-cell page).
    void CreateAtlasPages();
    void DestroyAtlasPages();
    // False when the list is full (5 opaque pages, 1 alpha page); the host-cell list takes
    // any number. Throws "Not enough memory in pool" when a page gets no memory.
    bool AddAtlasPage();
    bool AddAlphaAtlasPage();
    bool AddTargetAtlasPage();
    // The atlas cell holding a copy of the texture, placed now when it has none; null while
    // the device is lost and for textures that are drawn by themselves.
    tex_cell_t* GetTextureCell(CD3DTexture* texture);
    // A host cell of at least `size` pixels (at least 32) on a render-target page; null when
    // no host-cell page is that large. Owned by its page.
    CTextureCell* CreateTextureCell(std::uint32_t size);

    // A system-memory surface of the image file, cached by path (owned by the manager); null
    // when the file cannot be read.
    IDirect3DSurface9* GetCachedSurface(const WCHAR* path);
    // Writes the not-packable textures of the in-use and the idle list as "act%d.png" and
    // "ina%d.png", each numbered from 1000.
    void DumpAtlasPages();

    STRU_TEX_STATS* GetStats() { return &stats_; }
    D3DFORMAT GetFontPageFormat() const { return fontPageFormat_; }
    std::int32_t IdleCount() const { return idle_.Count(); }
    std::int32_t InUseCount() const { return inUse_.Count(); }
    std::size_t NamedCount() const { return names_.size(); }
    std::int32_t UnnamedCount() const { return unnamed_.Count(); }
    std::size_t CachedSurfaceCount() const { return surfaces_.size(); }
    std::int32_t PageCount(std::int32_t list) const;  // 0 opaque, 1 alpha, 2 host cells
    CD3DHugeTexture* GetPage(std::int32_t list, std::int32_t index) const;
    // The loader over the resource framework; null in a build without one.
    CResourceTextureLoader* GetResourceLoader() const { return resourceLoader_; }
    // The loader over the loading threads; null in a build without them.
    CThreadTextureLoader* GetThreadLoader() const { return threadLoader_; }

    // ---- ITextureOwner ----
    IDirect3DDevice9* GetDevice() override;
    bool IsDeviceLost() override;
    D3DFORMAT GetNormalFormat() override;
    D3DFORMAT GetAlphaFormat() override;
    D3DFORMAT GetUIFormat() override;
    bool IsSquareOnly() override;
    CTexturePool* GetTexturePool() override { return pool_.get(); }
    void MarkInUse(CD3DTexture* texture) override;
    void MarkIdle(CD3DTexture* texture) override;
    bool EvictIdleTextures() override;
    // Reads the file through the host-thread callbacks. GIF files are measured by the image
    // library (their header only) and report false (their textures load through the loader
    // only). A file over the load budget is not read (logged).
    bool ReadImageInfo(CD3DTexture* texture) override;
    // A named texture's entry moves to the new name. When another texture holds that name,
    // the name keeps finding that one (as FindOrCreateTexture hands out the texture a name
    // already has) and the renamed texture goes on the unnamed list.
    void OnTextureRenamed(CD3DTexture* texture, const WCHAR* oldName) override;
    ITextureLoader* GetTextureLoader() override;
    std::uint32_t GetFrameNumber() override { return stats_.FrameCount; }
    CRenderTargetHost* GetRenderTargetHost() override { return targetHost_.get(); }
    bool RegisterRenderTarget(CRenderTarget* target) override;
    CCamera* GetDefaultCamera() override;

private:
    enum PageList { kOpaque = 0, kAlpha = 1, kTarget = 2, kPageLists = 3 };

    // Makes the build's texture loader (without a renderer, none), defined with it:
    // resource_texture_loader.cpp, or the legacy build's thread_texture_loader.cpp.
    void StartLoader();

    // Registers a texture just made; one that registering refuses is deleted (the exception
    // goes on). Returns the texture.
    template <class Texture>
    Texture* RegisterNew(Texture* texture);
    bool AddPage(PageList list, std::uint16_t side, D3DFORMAT format, std::uint32_t usage);
    // The name map's entry of the texture, under whatever name; end() when there is none.
    std::map<std::u16string, CD3DTexture*>::iterator FindNameEntry(CD3DTexture* texture);
    void AddUnnamed(CD3DTexture* texture);
    // Deletes every texture of a list of slots (the unnamed list, a page list) with its slot.
    void DeleteSlotted(lru_list_t& slots);
    void ForgetFailureIfFileChanged(CD3DTexture* texture);
    void AllocateTextures(lru_list_t& pages);
    void ReleaseCachedSurfaces();
    std::uint16_t PageSide(std::uint32_t largest) const;
    // Calls `visit` for every named and unnamed texture and every page.
    template <class Visit>
    void ForEachTexture(Visit visit);

    STRU_TEX_STATS stats_{};
    CLumiscriber* renderer_;
    std::map<std::u16string, IDirect3DSurface9*> surfaces_;
    std::map<std::u16string, CD3DTexture*> names_;
    lru_list_t unnamed_;                 // of tex_slot_t
    lru_list_t pages_[kPageLists];       // of tex_slot_t, most recently used first
    lru_list_t idle_;                    // of the textures' own nodes
    lru_list_t inUse_;
    D3DFORMAT fontPageFormat_ = D3DFMT_A8R8G8B8;
    std::uint32_t idleLimit_ = kIdleLimitBytes;
    std::unique_ptr<CRenderTargetHost> targetHost_;
    std::unique_ptr<ITextureLoader> loader_;  // outlives the pool and every texture
    CResourceTextureLoader* resourceLoader_ = nullptr;  // loader_ as the resource framework's
    CThreadTextureLoader* threadLoader_ = nullptr;      // loader_ as the loading threads'
    std::unique_ptr<CTexturePool> pool_;
    bitmap_buffer_t scratch_;            // the synchronous reads
    std::vector<CD3DTexture*> frameHolds_;  // one reference each, in the order first held
};
