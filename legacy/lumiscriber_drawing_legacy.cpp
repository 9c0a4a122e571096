// CLumiscriber (legacy build): commands and how they are queued (also a particle command's),
// the point draw, DrawTexture and the background colour (the draw operations both builds
// share: core/lumiscriber_shared_draws.cpp).
#include "core/event_log.h"
#include "core/host_handles.h"
#include "core/lumiscriber.h"
#include "draw/d3d_texture.h"
#include "draw/draw_commands.h"
#include "draw/draw_layer.h"
#include "draw/tex_mgr.h"
#include "particle/particle_beam.h"
#include "particle/particle_emitter.h"
#include "particle/particle_emitter_mgr.h"
#include "platform/tarnel/tarnel.h"
#include "platform/win32/window.h"

using lumi::HasPixels;

void CLumiscriber::SetBackgroundColor(D3DCOLOR color) {
    backgroundColor_ = color;
    if (device_ != nullptr) device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, color, 1.0f, 0);
}

// ---- Commands ----

STRU_DRAW_COMMAND_BASE* CLumiscriber::CreatePrimitive(std::int32_t type) {
    return AllocDrawCommand(*commandPools_, type);
}

void CLumiscriber::ReleasePrimitive(STRU_DRAW_COMMAND_BASE* cmd) {
    if (cmd == nullptr || IsScratchCommand(cmd)) return;
    // The renderer's own commands (DrawPoint hands them out) stay in their rings.
    if (frameCommands_ && frameCommands_->Holds(cmd)) return;
    if (STRU_PARTICLE_COMMAND* particles = EmitterCommandOf(cmd)) {
        // Its beams' batches may still be drawn this frame: the manager keeps it until then.
        if (emitterMgr_) emitterMgr_->ReleaseEmitter(particles->emitter);
        particles->emitter = nullptr;
    }
    // The processors took what they draw at submission, and the frame holds its textures:
    // a command queued this frame may go at once.
    if (!ReleaseDrawCommand(*commandPools_, cmd))
        DbgMsg("FreeDrawCommand: not a record of the command pools (type %d)", cmd->type);
}

STRU_DRAW_COMMAND_BASE* CLumiscriber::CommandFor(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t type) {
    if (IsScratchCommand(cmd)) cmd = frameCommands_->TakeRingCommand(type);
    return cmd != nullptr && cmd->type == type ? cmd : nullptr;
}

void CLumiscriber::QueueDrawCommand(STRU_DRAW_COMMAND_BASE* cmd) {
    cmd->sequence = drawSequence_++;
    if (deviceLost_ || openLayer_ == nullptr) return;
    CD3DTexture* texture = cmd->texture;
    if (texture != nullptr && !texture->IsFrameHeld() && texMgr_) texMgr_->HoldForFrame(texture);
    DispatchDrawCommand(cmd, &drawContext_, openLayer_);
}

// ---- Shapes ----

STRU_DRAW_COMMAND_BASE* CLumiscriber::DrawPoint(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y,
                                                D3DCOLOR color) {
    return QueuePoint(cmd, x, y, color);
}

// ---- Textured rectangles ----

void CLumiscriber::DrawTexture(ITexture* texture, const RECT* destination, const RECT* source, D3DCOLOR color,
                               std::int32_t flags) {
    CD3DTexture* d3dTexture = lumi::AsTexture(texture);
    if (deviceLost_ || d3dTexture == nullptr) return;
    if (!HasPixels(d3dTexture)) {
        d3dTexture->PollLoad();
        return;
    }
    if (destination == nullptr || source == nullptr || IsRectEmpty(destination) || IsRectEmpty(source)) return;
    STRU_RECT_COMMAND* cmd = frameCommands_->TakeTextured();
    lumi::SwapCommandTexture(cmd, d3dTexture);
    SubmitTexturedRect(*source, *destination, flags, cmd, color);
}

// ---- Particle commands ----

CParticleEmitter* CLumiscriber::CreateEmitter(const WCHAR* path) {
    try {
        return emitterMgr_->CreateEmitter(path);
    } catch (const ScriptParseFailed& error) {
        // A host cannot be expected to catch across the library's boundary: the command
        // simply has no emitter.
        WriteLog(u"%hs[%s] %hs", error.what(), path, emitterMgr_->GetLastCompileError().c_str());
        return nullptr;
    }
}

bool CLumiscriber::NumberEmitterDraw(STRU_PARTICLE_COMMAND* particles, std::uint32_t* sequence) {
    CParticleEmitter* emitter = particles->emitter;
    for (std::int32_t i = 0; i < emitter->GetBeamCount(); ++i) {
        CParticleBeam* beam = emitter->GetBeam(static_cast<std::uint32_t>(i));
        beam->SetDepthStep(depthStep_);
        if (CD3DTexture* texture = beam->GetTextureObject()) texture->Restore();
    }
    // The beams place their quads at the sequence the command is queued with.
    *sequence = drawSequence_;
    return true;
}

void CLumiscriber::QueueEmitterCommand(STRU_PARTICLE_COMMAND* particles) { QueueDrawCommand(particles); }
