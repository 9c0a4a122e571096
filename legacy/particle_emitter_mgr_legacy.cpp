// CParticleEmitterMgr of the legacy build: scripts are read and compiled at once in the host's
// thread; released emitters wait for the end of the frame that may still draw them.
#include <algorithm>
#include <cstdlib>

#include "core/event_log.h"
#include "core/exception.h"
#include "core/lumiscriber.h"
#include "draw/alpha_processor.h"
#include "particle/particle_emitter.h"
#include "particle/particle_emitter_mgr.h"

namespace {

constexpr std::uint32_t kInitialBufferBytes = 32768;

IAlphaBatchEmitter* BeamsOf(CParticleEmitter* emitter) {
    return emitter != nullptr ? emitter->GetBatchView() : nullptr;
}

}  // namespace

CParticleEmitterMgr::CParticleEmitterMgr(CLumiscriber* renderer, CTexMgr* texMgr)
    : renderer_(renderer), texMgr_(texMgr) {
    // Without it the capacity stays 0 and the first script grows it.
    EnsureBufferCapacity(buffer_, kInitialBufferBytes);
    SetAlphaBatchEmitterFn(&BeamsOf);
}

CParticleEmitterMgr::~CParticleEmitterMgr() {
    for (lru_list_t* list : {&live_, &parked_}) {
        while (!list->Empty()) UnlinkAndDelete(CParticleEmitter::FromNode(lru_obj_s::Next(list)));
    }
    std::free(buffer_.data);
}

void CParticleEmitterMgr::UnlinkAndDelete(CParticleEmitter* emitter) {
    emitter->lru_obj_s::Unlink();
    delete emitter;
}

CParticleEmitter* CParticleEmitterMgr::CreateEmitter(const WCHAR* path) {
    if (path == nullptr || path[0] == 0) return nullptr;
    const STRU_FILE_CALLBACKS* callbacks = renderer_ != nullptr ? renderer_->GetForegroundFileCallbacks() : nullptr;
    if (callbacks == nullptr || callbacks->Open == nullptr) return nullptr;
    std::int32_t size = 0;
    LumiFileHandle file = nullptr;
    callbacks->Open(path, &size, &file);
    if (file == nullptr) return nullptr;
    const bool fits = size >= 0 && size <= CParticleEmitter::kScriptByteLimit &&
                      EnsureBufferCapacity(buffer_, static_cast<std::uint32_t>(size) + 1);
    std::int32_t count = 0;
    if (fits) callbacks->Read(file, buffer_.data, size, &count);
    callbacks->Close(file);
    if (!fits) {
        WriteLog(u"CParticleEmitterMgr: script not read.[%s]", path);
        return nullptr;
    }
    buffer_.data[std::clamp(count, 0, size)] = 0;

    auto* emitter = new CParticleEmitter(nullptr, texMgr_, callbacks);
    if (!emitter->Compile(reinterpret_cast<const char*>(buffer_.data))) {
        lastCompileError_ = emitter->GetCompileError();
        delete emitter;
        throw ScriptParseFailed();
    }
    emitter->MarkLoaded();
    emitter->SetScriptPath(path);
    emitter->SetName(path);
    live_.PushBack(emitter);
    return emitter;
}

void CParticleEmitterMgr::ScheduleLoad(CParticleEmitter* emitter) { emitter->MarkLoaded(); }

void CParticleEmitterMgr::ReleaseEmitter(CParticleEmitter* emitter) {
    if (emitter == nullptr || emitter->owner != &live_) throw lumi::Exception("invalid pointer");
    emitter->lru_obj_s::Unlink();
    parked_.PushBack(emitter);
}

void CParticleEmitterMgr::ReapParkedEmitter() {
    while (!parked_.Empty()) UnlinkAndDelete(CParticleEmitter::FromNode(lru_obj_s::Next(&parked_)));
    // So do the beams removed from the emitters that stay.
    for (lru_obj_s* node = lru_obj_s::Next(&live_); node != &live_; node = lru_obj_s::Next(node))
        CParticleEmitter::FromNode(node)->DestroyRemovedBeams();
}
