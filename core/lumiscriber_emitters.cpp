// CLumiscriberCommon: particle emitters on particle commands (type 7): giving a command its
// emitter, asking about it, and drawing it. What the builds do their own way is each build's
// CLumiscriber's (lumiscriber_drawing.cpp, legacy/lumiscriber_drawing_legacy.cpp): the legacy
// build reads and compiles a script at once (its emitters are loaded from the start), keeps an
// emitter drawing after its life, gives the beams their depth step and textures on every draw,
// and numbers the command when it queues it.
#include "core/lumiscriber.h"
#include "draw/d3d_texture.h"
#include "draw/draw_commands.h"
#include "draw/tex_mgr.h"
#include "particle/particle_beam.h"
#include "particle/particle_emitter.h"
#include "particle/particle_emitter_mgr.h"

namespace {

// How the alpha-blended pass is told which operation queued the command.
constexpr std::int32_t kDrawModePlain = 0;
constexpr std::int32_t kDrawModeWithCircleBeam = 1;
constexpr std::int32_t kDrawModeCircle = 2;

// The command's emitter once its script has loaded; null otherwise.
CParticleEmitter* LoadedEmitter(STRU_PARTICLE_COMMAND* cmd) {
    if (cmd == nullptr || !cmd->emitter->IsLoaded()) return nullptr;
    return cmd->emitter;
}

}  // namespace

STRU_PARTICLE_COMMAND* CLumiscriberCommon::EmitterCommandOf(STRU_DRAW_COMMAND_BASE* cmd) const {
    auto* particles = DrawCommandAs<STRU_PARTICLE_COMMAND>(cmd);
    return particles != nullptr && particles->emitter != nullptr ? particles : nullptr;
}

// ---- The command's emitter ---------------------------------------------------------------------

void CLumiscriberCommon::SetParticleEmitter(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* scriptPath, std::int32_t) {
    auto* particles = DrawCommandAs<STRU_PARTICLE_COMMAND>(cmd);
    if (particles == nullptr || !emitterMgr_) return;
    const std::u16string path = scriptPath != nullptr ? std::u16string(scriptPath) : std::u16string();
    CParticleEmitter* old = particles->emitter;
    if (old != nullptr && old->GetScriptPath() == path) return;
    particles->emitter = nullptr;
    // What a queued draw of the old emitter samples is held for the frame, so it may go now.
    if (old != nullptr) emitterMgr_->ReleaseEmitter(old);
    if (path.empty()) return;
    particles->emitter = Renderer().CreateEmitter(path.c_str());
}

CParticleEmitter* CLumiscriberCommon::GetParticleEmitter(STRU_DRAW_COMMAND_BASE* cmd) {
    STRU_PARTICLE_COMMAND* particles = EmitterCommandOf(cmd);
    return particles != nullptr ? particles->emitter : nullptr;
}

float CLumiscriberCommon::GetEmitterLife(STRU_DRAW_COMMAND_BASE* cmd) {
    CParticleEmitter* emitter = LoadedEmitter(EmitterCommandOf(cmd));
    return emitter != nullptr ? emitter->GetEmitterLife() : 0.0f;
}

bool CLumiscriberCommon::IsEmitterAlive(STRU_DRAW_COMMAND_BASE* cmd) {
    STRU_PARTICLE_COMMAND* particles = EmitterCommandOf(cmd);
    if (particles == nullptr) return false;
    // One that is still loading counts as alive: the host keeps drawing it until it shows.
    return !particles->emitter->IsLoaded() || particles->emitter->IsAlive();
}

void CLumiscriberCommon::RestartEmitter(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t) {
    if (STRU_PARTICLE_COMMAND* particles = EmitterCommandOf(cmd)) particles->emitter->ResetStartTime();
}

bool CLumiscriberCommon::HasCircleBeam(STRU_DRAW_COMMAND_BASE* cmd) {
    CParticleEmitter* emitter = LoadedEmitter(EmitterCommandOf(cmd));
    return emitter != nullptr && emitter->HasCircleBeam();
}

// ---- Drawing -----------------------------------------------------------------------------------

STRU_PARTICLE_COMMAND* CLumiscriberCommon::UpdateEmitterForDraw(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x,
                                                                std::int32_t y, std::int32_t dx, std::int32_t dy,
                                                                std::int32_t param, float scale) {
    STRU_PARTICLE_COMMAND* particles = EmitterCommandOf(cmd);
    CParticleEmitter* emitter = LoadedEmitter(particles);
    std::uint32_t sequence = 0;
    if (emitter == nullptr || !Renderer().NumberEmitterDraw(particles, &sequence)) return nullptr;
    particles->xOffset = x - dx;
    particles->yOffset = y - dy;
    particles->drawParam = param;
    emitter->SetDrawSequence(static_cast<std::int32_t>(sequence));
    emitter->Update(emitterFrameId_, x, y, dx, dy, param, scale);
    // The quads sample the beams' textures when the frame is flushed: whatever the host does
    // to the emitter before then (releases it, removes a beam), the frame draws what was
    // queued. The textures are held for the frame here; the current build's nodes hold copies
    // of the quads, while the legacy build's draw from the beams' own batches, so there the
    // manager keeps a released emitter, and the emitter a removed beam, until the frame has
    // been drawn.
    if (texMgr_) {
        for (std::int32_t i = 0; i < emitter->GetBeamCount(); ++i) {
            CD3DTexture* texture = emitter->GetBeam(static_cast<std::uint32_t>(i))->GetTextureObject();
            if (texture != nullptr) texMgr_->HoldForFrame(texture);
        }
    }
    AddDrawCalls(1);
    return particles;
}

void CLumiscriberCommon::DrawEmitter(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y, std::int32_t dx,
                                     std::int32_t dy, std::int32_t param, float scale) {
    STRU_PARTICLE_COMMAND* particles = UpdateEmitterForDraw(cmd, x, y, dx, dy, param, scale);
    if (particles == nullptr) return;
    particles->drawMode = particles->emitter->HasCircleBeam() ? kDrawModeWithCircleBeam : kDrawModePlain;
    Renderer().QueueEmitterCommand(particles);
}

void CLumiscriberCommon::DrawEmitterAlt(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y, std::int32_t dx,
                                        std::int32_t dy, std::int32_t param, float scale) {
    DrawEmitter(cmd, x, y, dx, dy, param, scale);
}

void CLumiscriberCommon::DrawCircleEmitter(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y, std::int32_t dx,
                                           std::int32_t dy, std::int32_t param, float scale) {
    STRU_PARTICLE_COMMAND* particles = UpdateEmitterForDraw(cmd, x, y, dx, dy, param, scale);
    if (particles == nullptr || !particles->emitter->HasCircleBeam()) return;
    particles->drawMode = kDrawModeCircle;
    Renderer().QueueEmitterCommand(particles);
}
