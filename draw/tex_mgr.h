#pragma once
// CTexMgr: the renderer's texture manager. One per renderer, made after the device and
// owned by the renderer. It registers, loads and evicts textures, holds the texture pool
// and the atlas pages, and keeps the statistics block the renderer hands the host.
//
// What exists so far: construction (with the font page format), destruction, the per-frame
// hooks and the device-loss hooks the renderer calls. Textures, the pool and the atlas
// pages are added behind the same operations. Host thread only.
#include <cstdint>

#include "platform/d3d9/d3d9.h"

class CLumiscriber;

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

class CTexMgr {
public:
    // Chooses the font page format (A8, else A4R4G4B4, else A8R8G8B8) and logs it.
    explicit CTexMgr(CLumiscriber* renderer);
    ~CTexMgr();
    CTexMgr(const CTexMgr&) = delete;
    CTexMgr& operator=(const CTexMgr&) = delete;

    // Per frame: the counters of a new frame, then the end-of-frame memory rule.
    void OnFrameBegin();
    void Update();

    // After D3DERR_OUTOFVIDEOMEMORY: the idle textures give back their video copies. True
    // when there were idle textures (worth trying again).
    bool EvictIdleTextures();

    // Device events: release video copies on loss, restore them after a reset; unload all
    // before a display-mode change and give the atlas pages memory again after it.
    void OnLostDevice();
    void RestoreVideoTextures();
    void UnloadAll();
    void AllocateAtlasPages();

    // Waits until the resource loader has nothing in process (synchronous loading and the
    // host's load-wait request).
    void WaitForResourceLoader();

    // Writes the textures that may not be packed into the atlas as image files.
    void DumpAtlasPages();

    STRU_TEX_STATS* GetStats() { return &stats_; }
    D3DFORMAT GetFontPageFormat() const { return fontPageFormat_; }
    std::int32_t IdleCount() const { return idleCount_; }

private:
    STRU_TEX_STATS stats_{};
    CLumiscriber* renderer_;
    D3DFORMAT fontPageFormat_ = D3DFMT_A8R8G8B8;
    std::int32_t idleCount_ = 0;  // textures on the idle list
};
