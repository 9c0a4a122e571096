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
#include <string>

#include "core/build_variant.h"
#include "core/exception.h"
#include "core/lru_list.h"
#include "platform/win32/win32_types.h"

class CLumiscriber;
class CParticleEmitter;
class CTexMgr;

#if LUMI_LEGACY
#include "draw/bitmap_load.h"
#else
#include "draw/d3d_bitmap.h"

// Hands a prepared script on to its decode step (the compile), as bitmaps are.
class CParticleScriptListener final : public CBitmapListener {};
#endif

// The legacy build's manager (legacy/particle_emitter_mgr_legacy.cpp) reads a script at once
// through the host thread's callbacks into a buffer of its own (32768 bytes at first, grown to
// powers of two), compiles it and keeps the emitter only when that succeeds. An emitter it
// releases, and a beam removed from an emitter, waits until the frame has been drawn
// (ReapParkedEmitter after EndScene's flush), since that frame's nodes point into the beams'
// batches.
#if LUMI_LEGACY
// What the legacy CreateEmitter throws for a script that does not compile: "script parse
// failed.".
class ScriptParseFailed : public lumi::Exception {
public:
    ScriptParseFailed() : lumi::Exception("script parse failed.") {}
};
#endif

class CParticleEmitterMgr {
public:
    // Neither pointer is owned. Emitters take their sound system and file callbacks (the
    // background set; the host thread's in the legacy build) from the renderer when they are
    // created; a null renderer gives them neither.
    CParticleEmitterMgr(CLumiscriber* renderer, CTexMgr* texMgr);
    // Deletes every live, then every parked emitter, waiting (Sleep(5) polls) while one still
    // loads (legacy build: at once, none loads).
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
    // most one per call). Legacy build: deletes every released emitter and every beam removed
    // from a live one, once the frame is drawn.
    void ReapParkedEmitter();
#if LUMI_LEGACY
    // Legacy CreateEmitter: null for a null or empty path, a file that does not open or reports
    // a size below 0 or above CParticleEmitter::kScriptByteLimit, or a buffer that cannot be
    // had; a script that does not compile throws ScriptParseFailed, with
    // the reader's message in GetLastCompileError() and no emitter left behind.
    const std::string& GetLastCompileError() const { return lastCompileError_; }
    std::uint32_t GetBufferCapacity() const { return buffer_.capacity; }
#endif

    CLumiscriber* GetRenderer() const { return renderer_; }
    CTexMgr* GetTexMgr() const { return texMgr_; }
    std::int32_t LiveCount() const { return live_.Count(); }
    std::int32_t ParkedCount() const { return parked_.Count(); }

private:
#if LUMI_LEGACY
    // Unlinks the emitter and deletes it at once: this build reads and compiles a script before
    // CreateEmitter returns, so no load ever holds an emitter.
    static void UnlinkAndDelete(CParticleEmitter* emitter);
#else
    // Unlinks the emitter, waits (Sleep(5) polls) while the loader still holds it, then
    // deletes it.
    static void WaitAndDelete(CParticleEmitter* emitter);
#endif

    lru_list_t live_;
    lru_list_t parked_;  // released while still loading, oldest first
    CLumiscriber* renderer_;
    CTexMgr* texMgr_;
#if LUMI_LEGACY
    bitmap_buffer_t buffer_;  // the script text (EnsureBufferCapacity)
    std::string lastCompileError_;
#else
    std::unique_ptr<CParticleScriptListener> listener_;
#endif
};
