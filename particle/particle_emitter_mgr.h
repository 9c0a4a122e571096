#pragma once
// CParticleEmitterMgr: the renderer's particle emitter manager. One per renderer, made at
// the end of construction and owned by it. It creates emitters from script paths, keeps the
// live ones and parks released emitters whose script is still loading until the load ends.
//
// What exists so far: construction, destruction and the per-frame reaping hook the renderer
// calls; emitters come behind the same lists. Host thread only.
#include "core/lru_list.h"

class CLumiscriber;
class CTexMgr;

class CParticleEmitterMgr {
public:
    CParticleEmitterMgr(CLumiscriber* renderer, CTexMgr* texMgr);
    ~CParticleEmitterMgr();
    CParticleEmitterMgr(const CParticleEmitterMgr&) = delete;
    CParticleEmitterMgr& operator=(const CParticleEmitterMgr&) = delete;

    // Once per frame tick: deletes the first parked emitter when its loading has ended (at
    // most one per call).
    void ReapParkedEmitter();

    CLumiscriber* GetRenderer() const { return renderer_; }
    CTexMgr* GetTexMgr() const { return texMgr_; }
    std::int32_t LiveCount() const { return live_.Count(); }
    std::int32_t ParkedCount() const { return parked_.Count(); }

private:
    lru_list_t live_;
    lru_list_t parked_;  // released while still loading
    CLumiscriber* renderer_;
    CTexMgr* texMgr_;
};
