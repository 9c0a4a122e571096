// CParticleEmitterMgr of the current build: scripts load as resources in the background. The
// legacy build has its own (legacy/particle_emitter_mgr_legacy.cpp).
#include "particle/particle_emitter_mgr.h"

#include <new>

#include "core/exception.h"
#include "core/lumiscriber.h"
#include "draw/alpha_processor.h"
#include "particle/particle_emitter.h"
#include "platform/engine/resource_loader.h"
#include "platform/win32/time.h"

namespace {

constexpr DWORD kLoadWaitMs = 5;

IAlphaBatchEmitter* BeamsOf(CParticleEmitter* emitter) {
    return emitter != nullptr ? emitter->GetBatchView() : nullptr;
}

}  // namespace

CParticleEmitterMgr::CParticleEmitterMgr(CLumiscriber* renderer, CTexMgr* texMgr)
    : renderer_(renderer), texMgr_(texMgr) {
    listener_.reset(new (std::nothrow) CParticleScriptListener());
    SetAlphaBatchEmitterFn(&BeamsOf);
}

CParticleEmitterMgr::~CParticleEmitterMgr() {
    for (lru_list_t* list : {&live_, &parked_}) {
        while (!list->Empty()) WaitAndDelete(CParticleEmitter::FromNode(lru_obj_s::Next(list)));
    }
}

void CParticleEmitterMgr::WaitAndDelete(CParticleEmitter* emitter) {
    emitter->lru_obj_s::Unlink();
    // The loader may still hold the emitter: deleting it then would hand the loader freed memory.
    while (emitter->IsLoading()) Sleep(kLoadWaitMs);
    delete emitter;
}

CParticleEmitter* CParticleEmitterMgr::CreateEmitter(const WCHAR* path) {
    if (path == nullptr || path[0] == 0) return nullptr;
    IHostSoundSystem* sound = renderer_ != nullptr ? renderer_->GetSoundInterface() : nullptr;
    const STRU_FILE_CALLBACKS* callbacks = renderer_ != nullptr ? renderer_->GetBackgroundFileCallbacks() : nullptr;
    auto* emitter = new CParticleEmitter(sound, texMgr_, callbacks);
    try {
        emitter->SetScriptPath(path);
        live_.PushBack(emitter);
        ScheduleLoad(emitter);
    } catch (...) {
        // Refused before anything was queued: nothing else holds the emitter.
        emitter->lru_obj_s::Unlink();
        delete emitter;
        throw;
    }
    return emitter;
}

void CParticleEmitterMgr::ScheduleLoad(CParticleEmitter* emitter) {
    if (listener_) emitter->AddListener(listener_.get());
    emitter->SetBackgroundLoaded(true);
    emitter->SetLoadState(CResource::LOADSTATE_LOADING);
    CResourceLoader::GetSingleton().PrepareResource(emitter);
}

void CParticleEmitterMgr::ReleaseEmitter(CParticleEmitter* emitter) {
    if (emitter == nullptr || emitter->owner != &live_) throw lumi::Exception("invalid pointer");
    emitter->lru_obj_s::Unlink();
    if (emitter->IsLoading()) {
        parked_.PushBack(emitter);
        return;
    }
    delete emitter;
}

void CParticleEmitterMgr::ReapParkedEmitter() {
    if (parked_.Empty()) return;
    CParticleEmitter* first = CParticleEmitter::FromNode(lru_obj_s::Next(&parked_));
    if (first->IsLoading()) return;
    first->lru_obj_s::Unlink();
    delete first;
}
