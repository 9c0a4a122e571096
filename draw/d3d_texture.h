#pragma once
// CD3DTexture: the library's texture. One image the host and the other subsystems draw with,
// counted with AddRef/Release; a count that reaches zero never deletes it, it only makes it
// idle. Its pixels live in a texture-memory object of the texture pool: a system-memory copy
// the library writes and reads, and a video copy that is drawn; changes to the system copy
// reach the video copy through the dirty rectangle (UploadDirtyRect).
//
// Kinds: a file texture (its name is a normalised image path the texture manager loads), an
// empty texture of a given size and format (host-filled, render target, font page, atlas
// page), or a texture loaded from an image file in memory.
//
// Lifetime: made, registered and deleted only by the texture manager (ITextureOwner), from
// the "CD3DTexture" pool; derived textures come from pools of their own. Host thread only.
//
// Failures: misuse throws lumi::Exception with a short message ("invalid operator AddRef",
// "NOT ani", "invalid memory", ...); Direct3D failures are logged and give false or 0.
#include <cstdint>
#include <memory>

#include "core/build_variant.h"
#include "core/grow_array.h"
#include "core/lru_list.h"
#include "core/pool_table.h"
#include "draw/image_limits.h"
#include "draw/texture.h"
#include "platform/d3d9/d3d9.h"
#include "platform/d3dx9/d3dx9.h"

class CD3DTexture;
class CD3DRenderTarget;
struct bitmap_load_t;
class CTextureLoad;
class ITextureOwner;
struct mem_obj_t;
struct tex_cell_t;
struct tex_slot_t;

// What a build's textures do, chosen once for the build (kTextureRules below). How the video
// copy follows the system copy and what a render target draws into differ further: each build
// has its own d3d_texture_video*.cpp.
struct texture_rules_t {
    // A file that failed to load is never requested again, across display-mode changes too.
    bool failedLoadsAreFinal;
    // Giving up a running load waits for it to end (the loader cannot drop it midway).
    bool waitsForGivenUpLoads;
    // GetPixel reads nothing of a DXT texture smaller than 4 x 4.
    bool smallDxtHasNoPixels;
};

#if LUMI_LEGACY
inline constexpr texture_rules_t kTextureRules{
    .failedLoadsAreFinal = true, .waitsForGivenUpLoads = false, .smallDxtHasNoPixels = false};
#else
inline constexpr texture_rules_t kTextureRules{
    .failedLoadsAreFinal = false, .waitsForGivenUpLoads = true, .smallDxtHasNoPixels = true};
#endif

// The list node a texture is kept by on one of the texture manager's lists; it knows its
// texture, so a list walk reaches the texture without layout tricks.
struct texture_node_t : lru_obj_s {
    CD3DTexture* texture = nullptr;
};

// One frame of an animated texture: where it lies in the texture and how long it shows.
struct tex_frame_t {
    RECT rect;
    std::int32_t durationMs;
};

// The library's own image file-format code beside D3DX's (BMP 0, JPG 1, TGA 2, PNG 3, DDS 4).
inline constexpr std::int32_t kImageFileFormatGif = 9;

// What a file texture remembers of the last failed load of its file, so that a file that
// does not load is not read and decoded again on every poll.
struct load_failure_t {
    bool failed = false;
    std::uint32_t frame = 0;        // the owner's frame number when it failed
    std::int64_t fileBytes = -1;    // the file's size then; -1 when it did not open
    std::uint64_t fingerprint = 0;  // of the bytes read (FingerprintOf); 0 when none were
};

class CD3DTexture : public ITexture {
public:
    static constexpr std::uint32_t kTag = 0x54524847;  // "GHRT" as a little-endian word
    static constexpr std::uint32_t kSystemCopy = 1;     // copy flags
    static constexpr std::uint32_t kVideoCopy = 2;
    static constexpr std::uint32_t kUsageRenderTarget = 0x200;  // usage flags
    static constexpr std::uint32_t kUsageDynamic = 2;
    static constexpr std::int32_t kUrgentPriority = 3;
    // A failed load is tried again after this many frames (or sooner, see ForgetLoadFailure).
    static constexpr std::uint32_t kLoadRetryFrames = 300;

    static void* operator new(std::size_t size) { return PooledAlloc<CD3DTexture>(size); }
    static void operator delete(void* block) noexcept { PooledFree<CD3DTexture>(block); }

    // An empty texture named "TEX{guid}". Copy flags: video only for render targets (usage
    // 0x200) and for dynamic textures asked video-only; else a system copy. A render-target
    // texture makes its render target "RttTex<n>" and registers it with the renderer. No
    // memory is bound yet.
    CD3DTexture(ITextureOwner* owner, D3DFORMAT format, std::uint16_t width, std::uint16_t height,
                std::uint32_t usageFlags, bool videoOnly);
    // A file texture of `path` (at most 259 characters are kept). A null path is fatal
    // (tarnel Error "CD3DTexture construct failed -- invalid filename.").
    CD3DTexture(ITextureOwner* owner, const WCHAR* path);
    // The same, bound at once to `memory` (which the texture then owns).
    CD3DTexture(ITextureOwner* owner, const WCHAR* path, mem_obj_t* memory);
    // Never throws. A texture still on a list is reported (DbgMsg) and taken off it; its
    // render target, memory and running load go with it.
    ~CD3DTexture() override;
    CD3DTexture(const CD3DTexture&) = delete;
    CD3DTexture& operator=(const CD3DTexture&) = delete;

    // ---- ITexture ----
    bool IsPixelTransparent(std::int32_t x, std::int32_t y) override;
    // Final: the per-sprite paths read them through CD3DTexture without a virtual call.
    std::uint16_t GetWidth() final { return width_; }
    std::uint16_t GetHeight() final { return height_; }
    void SetFileName(const WCHAR* path) override;
    bool LoadFromMemory(const void* data, std::uint32_t size) override;
    bool EnsureLoaded() override;
    bool UpdateRect(const void* data, std::int32_t width, std::int32_t height, std::int32_t pitch,
                    std::int32_t bitsPerPixel, std::int32_t x, std::int32_t y) override;
    std::uint32_t GetImageWidth() override;
    std::uint32_t GetImageHeight() override;
    IRenderTarget* GetRenderTarget() override;

    // ---- Texture slots ----
    // Makes sure there are pixels: a file texture polls its load, another texture binds new
    // memory. Returns whether the texture is loaded.
    virtual bool Restore();
    // Device lost: gives up the atlas cell and the render target's surface (legacy build:
    // the render target itself); wholly dirty.
    virtual void OnLostDevice();
    // After a reset gave the texture a new video copy: wholly dirty, and the render target
    // takes the copy (legacy build: the pixels go up at once).
    void OnVideoCopyRestored();
    // After a reset: a render target gets the new video copy.
    virtual void OnResetDevice();
    // Drops the pixels, waits for a running load (5 ms sleeps) and forgets it and the cell.
    virtual void Unload();

    // ---- Reference counting ----
    // Throws lumi::Exception "invalid operator AddRef" on a negative count. A managed texture
    // moves to the in-use list. Returns the new count.
    std::int32_t AddRef();
    // A count of 0 or less is returned unchanged. At 0 a managed texture goes idle and its
    // atlas cell becomes inactive (pixels kept). Never deletes.
    std::int32_t Release();
    std::int32_t GetRefCount() const { return refCount_; }

    // ---- Memory ----
    // Binds a memory object of the pool (the one bound before goes back to the pool); null
    // only unbinds.
    void BindMemory(mem_obj_t* memory);
    // A new memory object from the pool is bound; false when the pool could not make one.
    bool BindMemoryFromPool(bool clear = false);
    // Back to the pool, with the render target's surface and the atlas cell; not loaded.
    void ReleaseMemory();
    // The pool is going away with the memory still bound: forget it without touching it.
    void ForgetMemory();
    mem_obj_t* GetMemory() const { return memory_; }
    // The video copy, drawn by the batch processors; null when absent. Legacy build: the
    // render target's own texture while it holds one, else the memory's video copy.
    IDirect3DTexture9* GetD3DTexture() const;
    IDirect3DTexture9* GetSystemTexture() const;
    bool HasVideoCopy() const { return GetD3DTexture() != nullptr; }
    // Makes the video copy when missing (marked wholly dirty, copy flag bit 1 set); false
    // without memory, when the pool cannot make it, or (current build) while the device is
    // lost. Legacy build: the copy has usage 0 and takes the pixels at once.
    bool EnsureVideoTexture();
    // Gives the video copy back to the pool, which keeps it for reuse when `keepForReuse`
    // and its shape has a bucket; else it is released. Legacy build: only a texture that has
    // a video copy gives back its memory's one (a render target keeps its own texture).
    void ReleaseVideoCopy(bool keepForReuse = true);

    // ---- Pixels ----
    // ARGB of one pixel from the system copy; 0 while the device is lost, outside the
    // texture, without system copy, on a failed lock (logged), or for formats not decoded.
    // Only the pixel is locked, or in DXT formats its 4 x 4 block (the current build reads
    // none of a DXT texture smaller than 4 x 4).
    D3DCOLOR GetPixel(std::int32_t x, std::int32_t y);
    // The pixels of the system copy changed (in `rect`, or all of them for null): every copy
    // drawn from is stale, the video copy over the rectangle and the atlas cell whole. Legacy
    // build: the whole video copy takes them at once.
    void MarkPixelsChanged(const RECT* rect = nullptr);
    // Copies the dirty rectangle of the system copy into the video copy. Throws
    // lumi::Exception "invalid memory" without memory object.
    void UploadDirtyRect();
    // The video copy alone must take the whole system copy again (it is new, or was lost),
    // or the rectangle of it (a texture never drawn from an atlas cell, such as a font page).
    void MarkWhollyDirty();
    void AddDirtyRect(const RECT& rect);
    // The video copy's stale area; the atlas cell keeps its own mark (tex_cell_t::stale).
    bool IsDirty() const { return dirty_ != 0; }
    const RECT& GetDirtyRect() const { return dirtyRect_; }
    // Writes level 0 (system copy, else video copy) or `rect` of it as an image file whose
    // type the extension picks. False without memory, for an unknown extension, or failure.
    bool SaveToFile(const WCHAR* path, const RECT* rect);

    // ---- Frames ----
    // Appends a frame: its duration adds to the total and the texture counts as loaded.
    void AddFrame(const tex_frame_t& frame);
    // The frame to show now, chosen by the cumulative frame durations on the frame clock
    // (started at the first call). Throws lumi::Exception "NOT ani" without frames.
    const tex_frame_t& GetCurrentFrame();
    std::int32_t GetFrameCount() const { return frameCount_; }
    const tex_frame_t* GetFrame(std::int32_t index) const {
        return index >= 0 && index < frameCount_ ? frames_.Element(index) : nullptr;
    }
    // Places frames of the given sizes on shelves in a square: left to right in order, a
    // frame that passes the right edge opens a new shelf below the lowest bottom so far, and
    // a frame that does not fit doubles the side (from 32) and starts again. Returns the
    // side, with each frame's rectangle in `rects`; 0 when more than 256 is needed.
    static std::uint32_t PackFrames(const std::int32_t* widths, const std::int32_t* heights, std::int32_t count,
                                    RECT* rects);
    std::int32_t GetTotalDurationMs() const { return totalDurationMs_; }
    void ClearFrames();

    // ---- Loading ----
    // One step of the file texture's load through the owner's loader: starts it when none
    // runs, and finishes it once it has ended. Nothing while the device is lost, when loaded,
    // or for other textures, and nothing within kLoadRetryFrames frames of a failed load
    // (never again in the legacy build).
    void PollLoad();
    CTextureLoad* GetLoad() const { return load_; }
    // How a finished load ended for the texture.
    enum class LoadEnd {
        kLoaded,
        kFailed,       // a new failure: the caller logs it with the load's reason
        kFailedAgain,  // the same file failed as before (or was not decoded again)
    };
    // Takes the result of a finished load: its image is copied in (CopyFromBitmap) when the
    // steps produced one; a failure is remembered with the file's size and fingerprint.
    LoadEnd FinishLoad(const bitmap_load_t& load);
    const load_failure_t& GetLoadFailure() const { return loadFailure_; }
    // The next poll loads the file again (the host asked for it again after it changed).
    void ForgetLoadFailure() { loadFailure_ = load_failure_t{}; }
    // Legacy build: a texture whose load failed is never requested again (no retry, and the
    // failure outlives a display-mode change).
    bool IsInvalid() const { return kTextureRules.failedLoadsAreFinal && loadFailure_.failed; }
    // What an image must fit to become this texture's pixels: the device's largest texture
    // (square when the device wants it), in every format.
    image_limits_t GetImageLimits() const;
    // Makes `load` the load of this texture's file: its name, format and image limits, and
    // the fingerprint of its last failed load (not decoded again while the bytes stay).
    void DescribeLoad(bitmap_load_t& load) const;
    // Takes the pixels of a finished load: a DDS file through D3DX from the load's buffer,
    // one frame into the system copy (DXT formats through the pool's scratch texture, in
    // tiles of its size),
    // several frames packed into one square texture as an animation. Returns whether the
    // texture is loaded afterwards; an image that cannot be taken leaves it unloaded
    // (a failed DXT conversion is logged with its cause), never half bound.
    bool CopyFromBitmap(const bitmap_load_t& load);
    // The several-frame case of CopyFromBitmap.
    bool CreateFromBitmap(const bitmap_load_t& load);
    // An image of this size leaves part of the texture's memory uncovered (power-of-two or
    // square padding): the memory must be cleared first.
    bool IsPadded(std::uint32_t imageWidth, std::uint32_t imageHeight) const;

    // The image information (allocated on first use).
    D3DXIMAGE_INFO* GetImageInfo();
    bool HasImageInfo() const { return imageInfo_ != nullptr; }
    // The file-format code from the text after the last '.' of the name, and for a file
    // texture the format that follows from it (each build's rule: d3d_texture_files.cpp).
    void SetImageTypeFromName();
    // Sets the allocated size (powers of two of an image's size) without binding pixels.
    void SetAllocatedSize(std::uint16_t width, std::uint16_t height);

    // ---- Properties ----
    static CD3DTexture* FromNode(lru_obj_s* node) { return static_cast<texture_node_t*>(node)->texture; }
    lru_obj_s* Node() { return &node_; }
    bool IsInList() const { return node_.next != nullptr; }
    std::uint32_t GetTag() const { return tag_; }
    const WCHAR* GetName() const { return name_; }
    D3DFORMAT GetFormat() const { return format_; }
    void SetFormat(D3DFORMAT format) { format_ = format; }
    float GetAspect() const { return aspect_; }
    std::uint32_t GetCopyFlags() const { return copyFlags_; }
    void SetCopyFlags(std::uint32_t flags) { copyFlags_ = flags; }
    std::uint32_t GetUsageFlags() const { return usageFlags_; }
    std::uint32_t GetBytesPerPixel() const;
    bool HasAlphaFormat() const {
        return format_ == D3DFMT_A8R8G8B8 || format_ == D3DFMT_A1R5G5B5 || format_ == D3DFMT_A4R4G4B4 ||
               format_ == D3DFMT_A8 || format_ == D3DFMT_DXT3;
    }
    static bool IsDXTFormat(D3DFORMAT format);
    // The Direct3D usage of the flags: 0x200 -> RENDERTARGET, else 2 -> DYNAMIC, else 0.
    static DWORD TextureUsageFromFlags(std::uint32_t usageFlags);

    bool IsLoaded() const { return loaded_ != 0; }
    bool IsManaged() const { return managed_ != 0; }
    void SetManaged(bool on) { managed_ = on ? 1 : 0; }
    bool IsPooled() const { return pooled_ != 0; }
    void SetPooled(bool on) { pooled_ = on ? 1 : 0; }
    bool IsFileTexture() const { return file_ != 0; }
    bool IsNamed() const { return named_ != 0; }
    // Whether the owner holds the texture in its name map (else on its unnamed list).
    void SetNamed(bool on) { named_ = on ? 1 : 0; }
    bool IsNotPackable() const { return notPackable_ != 0; }
    void SetNotPackable(bool on) { notPackable_ = on ? 1 : 0; }
    std::int32_t GetPriority() const { return priority_; }
    void SetPriority(std::int32_t priority) { priority_ = priority; }
    tex_slot_t* GetSlot() const { return slot_; }
    void SetSlot(tex_slot_t* slot) { slot_ = slot; }
    std::uint32_t GetLastUseMs() const { return lastUseMs_; }
    void SetLastUseMs(std::uint32_t ms) { lastUseMs_ = ms; }
    ITextureOwner* GetOwner() const { return owner_; }
    CD3DRenderTarget* GetD3DRenderTarget() const { return renderTarget_; }

    // The atlas cell holding a copy of this texture; set and cleared by the atlas pages.
    tex_cell_t* GetCell() const { return cell_; }
    void SetCell(tex_cell_t* cell) { cell_ = cell; }
    // Gives up the atlas cell: the cell loses its owner and is freed (merging on its page).
    // While a command queued this frame may still draw from it, it is only retired: no
    // other texture gets it before the frame end.
    void FreeCell();

    // ---- This frame (see CTexMgr::HoldForFrame) ----
    bool IsFrameHeld() const { return frameHeld_ != 0; }
    void SetFrameHeld(bool on) { frameHeld_ = on ? 1 : 0; }
    // DestroyTexture came while only the frame held it.
    bool IsDestroyPending() const { return destroyPending_ != 0; }
    void SetDestroyPending(bool on) { destroyPending_ = on ? 1 : 0; }
    // Drawn from its own video copy this frame, which must then stay until the frame end
    // even when it is also drawn from its atlas cell.
    bool IsDrawnByItself() const { return drawnByItself_ != 0; }
    void SetDrawnByItself(bool on) { drawnByItself_ = on ? 1 : 0; }

protected:
    // The common start of every constructor.
    explicit CD3DTexture(ITextureOwner* owner);
    void SetName(const WCHAR* name);
    void DetachRenderTargetSurface();
    void AttachRenderTarget();
    // The first steps of UpdateRect, in the build's order (pixels made or loaded, the position
    // checked, an empty size done with): whether the update goes on to write its pixels, is
    // done already, or is refused.
    enum class UpdateStart { kWrite, kDone, kRefused };
    UpdateStart StartUpdate(std::int32_t width, std::int32_t height, std::int32_t x, std::int32_t y);
    void DestroyRenderTarget();
    // The load is no longer wanted: handed back to the loader and forgotten.
    void GiveUpLoad();

    texture_node_t node_;
    std::int32_t refCount_ = 0;
    std::uint32_t tag_ = kTag;
    std::int32_t priority_ = 0;
    tex_slot_t* slot_ = nullptr;
    std::uint32_t lastUseMs_ = 0;
    ITextureOwner* owner_;
    WCHAR name_[260] = {};
    std::uint32_t copyFlags_ = kSystemCopy;
    std::uint32_t usageFlags_ = 0;
    mem_obj_t* memory_ = nullptr;
    CTextureLoad* load_ = nullptr;
    load_failure_t loadFailure_;
    grow_array_t<tex_frame_t> frames_;
    std::int32_t frameCount_ = 0;
    std::int32_t totalDurationMs_ = 0;
    std::int32_t currentFrame_ = 0;
    std::uint32_t animationStartMs_ = 0;  // 0 = not started
    std::unique_ptr<D3DXIMAGE_INFO> imageInfo_;
    D3DFORMAT format_ = D3DFMT_UNKNOWN;
    std::uint16_t width_ = 0;
    std::uint16_t height_ = 0;
    float aspect_ = 1.0f;
    std::uint8_t pooled_ = 0;
    std::uint8_t managed_ = 0;
    std::uint8_t videoOnly_ = 0;
    std::uint8_t file_ = 0;
    std::uint8_t loaded_ = 0;
    std::uint8_t notPackable_ = 0;
    std::uint8_t named_ = 0;
    std::uint8_t dirty_ = 0;
    RECT dirtyRect_{};
    tex_cell_t* cell_ = nullptr;
    std::uint8_t frameHeld_ = 0;
    std::uint8_t destroyPending_ = 0;
    std::uint8_t drawnByItself_ = 0;
    CD3DRenderTarget* renderTarget_ = nullptr;
    IDirect3DTexture9* attachedVideo_ = nullptr;  // the video copy the render target last took; not owned
};
