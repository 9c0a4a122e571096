// CLumiscriber (legacy build): commands, the point draw, textured-rectangle submission and the
// background colour (the other draw operations: core/lumiscriber_shared_draws.cpp).
#include "core/host_handles.h"
#include "core/lumiscriber.h"
#include "draw/d3d_texture.h"
#include "draw/draw_commands.h"
#include "draw/draw_layer.h"
#include "draw/tex_mgr.h"
#include "platform/tarnel/tarnel.h"
#include "platform/win32/window.h"
#include "particle/particle_emitter_mgr.h"

using lumi::ClipToCurrentFrame;
using lumi::HasPixels;
using lumi::IsOpaqueColor;

void CLumiscriber::SetBackgroundColor(D3DCOLOR color) {
    backgroundColor_ = color;
    if (device_ != nullptr) device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, color, 1.0f, 0);
}

// ---- Commands ----

std::int32_t CLumiscriber::GetPrimitiveType(STRU_DRAW_COMMAND_BASE* cmd) {
    if (cmd == nullptr || IsScratchCommand(cmd)) return -1;
    return cmd->type;
}

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
    AddDrawCalls(1);
    auto* point = static_cast<STRU_POINT_COMMAND*>(CommandFor(cmd, kDrawCmdPoint));
    if (point == nullptr) return nullptr;
    point->x = x;
    point->y = y;
    point->color = color;
    point->texture = nullptr;
    QueueDrawCommand(point);
    return point;
}

// ---- Textured rectangles ----

STRU_RECT_COMMAND* CLumiscriber::TexturedRectOf(STRU_DRAW_COMMAND_BASE* cmd) const {
    STRU_RECT_COMMAND* rect = lumi::TexturedCommand(cmd);
    return rect != nullptr && rect->texture != nullptr ? rect : nullptr;
}

void CLumiscriber::SubmitTexturedRect(const RECT& source, const RECT& destination, std::int32_t flags,
                                      STRU_RECT_COMMAND* cmd, D3DCOLOR color) {
    CD3DTexture* texture = cmd->texture;
    if (texture == nullptr) return;
    // A format with alpha is always blended, whatever the host asked for.
    if (texture->HasAlphaFormat()) {
        flags |= kDrawFlagAlpha;
    } else if (IsOpaqueColor(color)) {
        flags &= ~kDrawFlagAlpha;
    }
    if (!HasPixels(texture)) return;
    cmd->flags = flags;
    cmd->color = color;
    cmd->source = source;
    cmd->destination = destination;
    if (texture->GetFrameCount() > 0) ClipToCurrentFrame(texture, cmd->source, cmd->destination);
    QueueDrawCommand(cmd);
    AddDrawCalls(1);
}

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
