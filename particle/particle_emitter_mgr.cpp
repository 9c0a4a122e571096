#include "particle/particle_emitter_mgr.h"

#include <new>

#include "core/exception.h"
#include "core/lumiscriber.h"
#include "draw/alpha_processor.h"
#include "particle/particle_emitter.h"
#include "platform/win32/time.h"

#if !LUMI_LEGACY
#include "platform/engine/resource_loader.h"
#endif

namespace {

constexpr DWORD kLoadWaitMs = 5;

IAlphaBatchEmitter* BeamsOf(CParticleEmitter* emitter) {
    return emitter != nullptr ? emitter->GetBatchView() : nullptr;
}

}  // namespace

CParticleEmitterMgr::CParticleEmitterMgr(CLumiscriber* renderer, CTexMgr* texMgr)
    : renderer_(renderer), texMgr_(texMgr) {
#if !LUMI_LEGACY
    listener_.reset(new (std::nothrow) CParticleScriptListener());
#endif
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
    // The legacy build reads in the host's thread, through the host thread's set.
    const STRU_FILE_CALLBACKS* callbacks = nullptr;
    if (renderer_ != nullptr)
        callbacks = lumi::kLegacy ? renderer_->GetForegroundFileCallbacks() : renderer_->GetBackgroundFileCallbacks();
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
#if LUMI_LEGACY
    emitter->LoadNow();
#else
    if (listener_) emitter->AddListener(listener_.get());
    emitter->SetBackgroundLoaded(true);
    emitter->SetLoadState(CResource::LOADSTATE_LOADING);
    CResourceLoader::GetSingleton().PrepareResource(emitter);
#endif
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
