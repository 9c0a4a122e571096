// CLumiscriber (legacy build): particle emitters on particle commands (type 7). Scripts are
// read and compiled at once; each drawing operation updates the emitter and queues the
// command, whose beams the alpha-blended processor draws from their own batches.
#include "core/event_log.h"
#include "core/lumiscriber.h"
#include "draw/d3d_texture.h"
#include "draw/draw_commands.h"
#include "draw/tex_mgr.h"
#include "particle/particle_beam.h"
#include "particle/particle_emitter.h"
#include "particle/particle_emitter_mgr.h"

namespace {

// Which of a beam's batches the processor draws (IAlphaBatchBeam::GetPreparedBatch).
constexpr std::int32_t kDrawModePlain = 0;
constexpr std::int32_t kDrawModeWithCircleBeam = 1;
constexpr std::int32_t kDrawModeCircle = 2;

}  // namespace

STRU_PARTICLE_COMMAND* CLumiscriber::EmitterCommandOf(STRU_DRAW_COMMAND_BASE* cmd) const {
    auto* particles = DrawCommandAs<STRU_PARTICLE_COMMAND>(cmd);
    return particles != nullptr && particles->emitter != nullptr ? particles : nullptr;
}

void CLumiscriber::SetParticleEmitter(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* scriptPath, std::int32_t) {
    auto* particles = DrawCommandAs<STRU_PARTICLE_COMMAND>(cmd);
    if (particles == nullptr || !emitterMgr_) return;
    const std::u16string path = scriptPath != nullptr ? std::u16string(scriptPath) : std::u16string();
    CParticleEmitter* old = particles->emitter;
    if (old != nullptr && old->GetScriptPath() == path) return;
    particles->emitter = nullptr;
    if (old != nullptr) emitterMgr_->ReleaseEmitter(old);
    if (path.empty()) return;
    try {
        particles->emitter = emitterMgr_->CreateEmitter(path.c_str());
    } catch (const ScriptParseFailed& error) {
        // A host cannot be expected to catch across the library's boundary: the command
        // simply has no emitter.
        WriteLog(u"%hs[%s] %hs", error.what(), path.c_str(), emitterMgr_->GetLastCompileError().c_str());
    }
}

CParticleEmitter* CLumiscriber::GetParticleEmitter(STRU_DRAW_COMMAND_BASE* cmd) {
    STRU_PARTICLE_COMMAND* particles = EmitterCommandOf(cmd);
    return particles != nullptr ? particles->emitter : nullptr;
}

float CLumiscriber::GetEmitterLife(STRU_DRAW_COMMAND_BASE* cmd) {
    STRU_PARTICLE_COMMAND* particles = EmitterCommandOf(cmd);
    return particles != nullptr ? particles->emitter->GetEmitterLife() : 0.0f;
}

bool CLumiscriber::IsEmitterAlive(STRU_DRAW_COMMAND_BASE* cmd) {
    STRU_PARTICLE_COMMAND* particles = EmitterCommandOf(cmd);
    return particles != nullptr && particles->emitter->IsAlive();
}

void CLumiscriber::RestartEmitter(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t) {
    if (STRU_PARTICLE_COMMAND* particles = EmitterCommandOf(cmd)) particles->emitter->ResetStartTime();
}

bool CLumiscriber::HasCircleBeam(STRU_DRAW_COMMAND_BASE* cmd) {
    STRU_PARTICLE_COMMAND* particles = EmitterCommandOf(cmd);
    return particles != nullptr && particles->emitter->HasCircleBeam();
}

STRU_PARTICLE_COMMAND* CLumiscriber::UpdateEmitterForDraw(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y,
                                                          std::int32_t dx, std::int32_t dy, std::int32_t param,
                                                          float scale) {
    STRU_PARTICLE_COMMAND* particles = EmitterCommandOf(cmd);
    if (particles == nullptr) return nullptr;
    CParticleEmitter* emitter = particles->emitter;
    particles->xOffset = x - dx;
    particles->yOffset = y - dy;
    particles->drawParam = param;
    // The beams place their quads at the sequence the command is queued with.
    emitter->SetDrawSequence(static_cast<std::int32_t>(drawSequence_));
    for (std::int32_t i = 0; i < emitter->GetBeamCount(); ++i) {
        CParticleBeam* beam = emitter->GetBeam(static_cast<std::uint32_t>(i));
        beam->SetDepthStep(depthStep_);
        if (CD3DTexture* texture = beam->GetTextureObject()) {
            texture->Restore();
            if (texMgr_) texMgr_->HoldForFrame(texture);
        }
    }
    emitter->Update(emitterFrameId_, x, y, dx, dy, param, scale);
    AddDrawCalls(1);
    return particles;
}

void CLumiscriber::DrawEmitter(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y, std::int32_t dx,
                               std::int32_t dy, std::int32_t param, float scale) {
    STRU_PARTICLE_COMMAND* particles = UpdateEmitterForDraw(cmd, x, y, dx, dy, param, scale);
    if (particles == nullptr) return;
    particles->drawMode = particles->emitter->HasCircleBeam() ? kDrawModeWithCircleBeam : kDrawModePlain;
    QueueDrawCommand(particles);
}

void CLumiscriber::DrawEmitterAlt(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y, std::int32_t dx,
                                  std::int32_t dy, std::int32_t param, float scale) {
    DrawEmitter(cmd, x, y, dx, dy, param, scale);
}

void CLumiscriber::DrawCircleEmitter(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y, std::int32_t dx,
                                     std::int32_t dy, std::int32_t param, float scale) {
    STRU_PARTICLE_COMMAND* particles = UpdateEmitterForDraw(cmd, x, y, dx, dy, param, scale);
    if (particles == nullptr || !particles->emitter->HasCircleBeam()) return;
    particles->drawMode = kDrawModeCircle;
    QueueDrawCommand(particles);
}
