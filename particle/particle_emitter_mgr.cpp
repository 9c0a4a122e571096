#include "particle/particle_emitter_mgr.h"

CParticleEmitterMgr::CParticleEmitterMgr(CLumiscriber* renderer, CTexMgr* texMgr)
    : renderer_(renderer), texMgr_(texMgr) {}

CParticleEmitterMgr::~CParticleEmitterMgr() = default;

// Emitters are not created yet, so nothing can be parked.
void CParticleEmitterMgr::ReapParkedEmitter() {}
