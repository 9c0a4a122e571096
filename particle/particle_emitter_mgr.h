#pragma once
// CParticleEmitterMgr: the renderer's particle emitter manager. One per renderer, made at
// the end of construction and owned by it. It creates emitters from script paths and starts
// their loads, keeps the live ones, and parks released emitters whose script is still loading
// until the load ends: an emitter is never deleted while the resource loader may still run
// one of its steps.
//
// It also hands the alpha-blended processor the beams of a particle command's emitter
// (SetAlphaBatchEmitterFn), which stays installed after the manager goes.
//
// Host thread only; the loads' steps run wherever the resource loader runs them.
#include <cstdint>
#include <memory>

#include "core/build_variant.h"
#include "core/lru_list.h"
#include "platform/win32/win32_types.h"

class CLumiscriber;
class CParticleEmitter;
class CTexMgr;

#if !LUMI_LEGACY
#include "draw/d3d_bitmap.h"

// Hands a prepared script on to its decode step (the compile), as bitmaps are.
class CParticleScriptListener final : public CBitmapListener {};
#endif

class CParticleEmitterMgr {
public:
    // Neither pointer is owned. Emitters take their sound system and file callbacks (the
    // background set; the host thread's in the legacy build) from the renderer when they are
    // created; a null renderer gives them neither.
    CParticleEmitterMgr(CLumiscriber* renderer, CTexMgr* texMgr);
    // Deletes every live, then every parked emitter, waiting (Sleep(5) polls) while one still
    // loads.
    ~CParticleEmitterMgr();
    CParticleEmitterMgr(const CParticleEmitterMgr&) = delete;
    CParticleEmitterMgr& operator=(const CParticleEmitterMgr&) = delete;

    // A live emitter of the script at `path` whose load has started in the background; null
    // for a null or empty path. A request the resource loader refuses throws its exception,
    // leaving nothing behind.
    CParticleEmitter* CreateEmitter(const WCHAR* path);
    // Starts the emitter's load (listener, background, load state, prepare request).
    void ScheduleLoad(CParticleEmitter* emitter);
    // Deletes a live emitter, or parks it while its script still loads. Throws
    // lumi::Exception "invalid pointer" for null or an emitter that is not live here
    // (nothing changes then).
    void ReleaseEmitter(CParticleEmitter* emitter);
    // Once per frame tick: deletes the first parked emitter when its loading has ended (at
    // most one per call).
    void ReapParkedEmitter();

    CLumiscriber* GetRenderer() const { return renderer_; }
    CTexMgr* GetTexMgr() const { return texMgr_; }
    std::int32_t LiveCount() const { return live_.Count(); }
    std::int32_t ParkedCount() const { return parked_.Count(); }

private:
    static void WaitAndDelete(CParticleEmitter* emitter);

    lru_list_t live_;
    lru_list_t parked_;  // released while still loading, oldest first
    CLumiscriber* renderer_;
    CTexMgr* texMgr_;
#if !LUMI_LEGACY
    std::unique_ptr<CParticleScriptListener> listener_;
#endif
};
