// One frame of a beam in the legacy build: clock, ramps, beam events, motion, emission, then
// the batches the alpha-blended processor draws from where they lie. Every step takes the
// whole frame step; there is no delay, scaling, animation, track or sound.
#include <cmath>
#include <utility>

#include "core/format_helpers.h"
#include "core/frame_clock.h"
#include "draw/d3d_texture.h"
#include "draw/tex_mgr.h"
#include "legacy/clip_scale.h"
#include "particle/particle.h"
#include "particle/particle_beam.h"
#include "particle/particle_names.h"
#include "particle/particle_step.h"

namespace {

constexpr float kFlatDepthOffset = 0.000001f;  // quads lie just in front of their draw sequence
constexpr std::int32_t kQuadsPerBatch = kMaxVerticesPerDraw / 4;  // 16-bit indices

bool Finite(float x, float y) { return std::isfinite(x) && std::isfinite(y); }

}  // namespace

// ---- CParticle ---------------------------------------------------------------------------------

bool CParticle::Move(float frameTime, const vec3_t& emitter, const vec3_t& gravity) {
    const float t = BeginStep(frameTime, 1.0f);
    if (t == 0.0f) return alive != 0;
    // The velocity follows what the speed ramp changed (its rate for the part of the step it
    // ran), along the motion angle; it is not rebuilt from the speed.
    const float speedBefore = speed.value;
    StepRamp(speed, t);
    StepColor(t);
    StepRamp(spin, t);
    angle += spin.value * t;
    StepRamp(motionAngle, t);
    const float speedChange = speed.value - speedBefore;
    if (speedChange != 0.0f) {
        velocity.x += std::cos(motionAngle.value) * speedChange;
        velocity.y += std::sin(motionAngle.value) * speedChange;
    }

    Accelerate(gravity, t);
    AimAlongVelocity();
    Drift(t);
    if (attached) emitterPosition = emitter;
    return true;
}

// ---- CParticleBeam -----------------------------------------------------------------------------

void CParticleBeam::Update(float dt, float x, float y, float z, std::int32_t angle, float, float originX,
                           float originY) {
    // A clock that went back, or one that is not a number, gives no time.
    if (!(dt > 0.0f) || !std::isfinite(dt)) dt = 0.0f;
    state_.originX = originX;
    state_.originY = originY;
    state_.beamClock += dt;
    StepRamp(numParticles_, dt);
    state_.emitSpeedOffset += state_.emitSpeedOffsetRate * dt;
    ApplyBeamEvents();
    const float frameTime = g_FrameTime;
    const vec3_t emitter{x, y, z};
    MoveLegacy(frameTime, emitter);
    EmitLegacy(dt, frameTime, emitter, angle);
    BuildDrawData();
}

void CParticleBeam::MoveLegacy(float frameTime, const vec3_t& emitter) {
    gravity_draw_t gravity(gravity_);
    for (lru_obj_s* node = lru_obj_s::Next(&live_); node != &live_;) {
        lru_obj_s* next = lru_obj_s::Next(node);
        CParticle& particle = *CParticle::FromNode(node);
        const bool alive = particle.Move(frameTime, emitter, gravity.Next());
        if (singleParticle_) {
            // Only the oldest particle of a single-particle beam moves. Its events advance
            // too, or its event clock would stall at its first event.
            if (alive) AdvanceParticleEvents(particle);
            return;
        }
        if (!alive) {
            delete CParticle::FromNode(node->Unlink());
        } else {
            AdvanceParticleEvents(particle);
        }
        node = next;
    }
}

void CParticleBeam::EmitLegacy(float dt, float frameTime, const vec3_t& emitter, std::int32_t angle) {
    state_.emissionAccumulator += dt;
    SampleValueRange(emitRate_);
    const float interval = 1.0f / SampleValueRange(emitRate_);
    const bool emit = singleParticle_ || emitRand_ ? live_.Empty()
                                                   : static_cast<float>(live_.Count()) < numParticles_.value;
    if (!emit) return;
    gravity_draw_t gravity(gravity_);
    std::int32_t spawned = 0;
    while (static_cast<float>(live_.Count()) < numParticles_.value && live_.Count() < kLiveParticleLimit) {
        if (!emitRand_ && !(interval < state_.emissionAccumulator)) break;
        CParticle* particle = Spawn(emitter, angle, frameTime);
        // Particles due earlier in the frame than this update start that much older.
        particle->lastUpdateTime = emitRand_ ? frameTime : frameTime - static_cast<float>(spawned) * interval;
        ++spawned;
        particle->Move(frameTime, emitter, gravity.Next());
        state_.emissionAccumulator -= interval;
    }
}

// ---- Drawing -----------------------------------------------------------------------------------

void CParticleBeam::SetTexture(const std::u16string& name) {
    // The name stays as given; the texture is found (and its load started) at once.
    const std::u16string given = CapWideText(name, kNameUnits);
    textureName_ = given;
    CD3DTexture* found = nullptr;
    if (!given.empty() && texMgr_ != nullptr && given.size() < kPathBufferUnits) {
        std::u16string key = given;
        NormalizePath(key.data());
        found = texMgr_->FindOrCreateTexture(key.c_str(), false);
    }
    if (found == texture_) return;
    if (texture_ != nullptr) texture_->Release();
    texture_ = found;
    if (texture_ == nullptr) return;
    texture_->AddRef();
    if (!texture_->IsLoaded() && texture_->GetLoad() == nullptr) texture_->PollLoad();
}

bool CParticleBeam::IsDrawn() { return beamFlag_ != 0 && state_.drawTexture != nullptr; }

const prepared_batch_t* CParticleBeam::GetPreparedBatch(std::int32_t drawMode) {
    const std::size_t index = drawMode == 2 ? 1 : 0;
    const beam_batch_t* batch = batches_[index].get();
    return batch != nullptr && batch->view.vertexCount != 0 ? &batch->view : nullptr;
}

CParticleBeam::beam_batch_t& CParticleBeam::BatchFor(std::size_t index) {
    if (!batches_[index]) batches_[index] = std::make_unique<beam_batch_t>();
    return *batches_[index];
}

void CParticleBeam::BuildDrawData() {
    BatchFor(0);
    if (circleBeam_) BatchFor(1);
    // Last frame's particles are never drawn again: with none alive the batches stay empty.
    for (auto& batch : batches_) {
        if (!batch) continue;
        batch->quads.Clear();
        batch->points.clear();
        batch->view = prepared_batch_t{};
    }
    // Nothing is drawn until the texture has its pixels in video memory.
    state_.drawTexture = nullptr;
    if (live_.Empty() || texture_ == nullptr || !texture_->IsLoaded() || !texture_->EnsureVideoTexture()) return;
    state_.drawTexture = texture_;

    for (auto& batch : batches_) {
        if (batch) batch->states = DrawStates();
    }
    const bool sprites = particleMode_ != PM_BILLBOARD;

    const float depth = DepthOfSequence(static_cast<std::uint32_t>(drawSequence_), depthStep_);
    const float z = std::fmax(depth - std::fmin(kFlatDepthOffset, depthStep_ * 0.5f), 0.0f);
    const float aspect = texture_->GetAspect();
    const bool alignToMotion = particleAngleType_ == PAT_ALIGNTOMOTION;
    // FLIPX swaps left and right, FLIPY top and bottom; both swap each corner with its opposite.
    float left = 0.0f, top = 0.0f, right = 1.0f, bottom = 1.0f;
    if (flipX_) std::swap(left, right);
    if (flipY_) std::swap(top, bottom);
    const float uv[4][2] = {{left, top}, {right, top}, {left, bottom}, {right, bottom}};

    for (lru_obj_s* entry = lru_obj_s::Next(&live_); entry != &live_; entry = lru_obj_s::Next(entry)) {
        const CParticle& particle = *CParticle::FromNode(entry);
        beam_batch_t& batch = *batches_[particle.circle && batches_[1] ? 1 : 0];
        float w = 0.0f;
        float h = 0.0f;
        QuadSizeOf(particle, aspect, w, h);
        if (!(w >= 1.0f && h >= 1.0f)) continue;
        const float centerX = particle.emitterPosition.x + particle.position.x - state_.originX;
        const float centerY = particle.emitterPosition.y + particle.position.y - state_.originY;
        const D3DCOLOR color = PackColor(particle.color.r, particle.color.g, particle.color.b, particle.color.a);
        if (sprites) {
            const point_vertex_t point{PixelToClipX(centerX), PixelToClipY(centerY), z, w, color};
            if (!Finite(point.x, point.y) || batch.points.size() >= kMaxVerticesPerDraw) continue;
            batch.points.push_back(point);
            continue;
        }
        // A batch's 16-bit indices reach no further than its first 65,536 vertices.
        if (batch.quads.VertexCount() >= kQuadsPerBatch * 4) continue;
        const float turn = particle.angle + (alignToMotion ? particle.motionAngle.value : 0.0f);
        const float c = std::cos(turn);
        const float s = std::sin(turn);
        const float xs[2] = {-refPoint_[0] * w, (1.0f - refPoint_[0]) * w};
        const float ys[2] = {-refPoint_[1] * h, (1.0f - refPoint_[1]) * h};
        vertex_t quad[4];
        bool finite = true;
        for (int corner = 0; corner < 4; ++corner) {
            const float cx = xs[corner & 1];
            const float cy = ys[corner >> 1];
            quad[corner] = {PixelToClipX(cx * c - cy * s + centerX), PixelToClipY(cx * s + cy * c + centerY), z,
                            color, uv[corner][0], uv[corner][1]};
            finite = finite && Finite(quad[corner].x, quad[corner].y);
        }
        if (!finite) continue;
        vertex_t* written = batch.quads.AddQuad();
        for (int corner = 0; corner < 4; ++corner) written[corner] = quad[corner];
    }

    for (auto& batch : batches_) {
        if (!batch) continue;
        STRU_DRAW_PRIMITIVE& states = batch->states;
        prepared_batch_t& view = batch->view;
        view.states = &states;
        if (sprites) {
            view.vertices = batch->points.data();
            view.vertexCount = static_cast<std::uint32_t>(batch->points.size());
            view.vertexStride = kPointSpriteStride;
            states.primitiveCount = view.vertexCount;
        } else {
            view.vertices = batch->quads.Vertices();
            view.vertexCount = static_cast<std::uint32_t>(batch->quads.VertexCount());
            view.indices = batch->quads.Indices();
            view.indexCount = static_cast<std::uint32_t>(batch->quads.IndexCount());
            states.primitiveCount = view.vertexCount / 2;
        }
        states.vertexCount = view.vertexCount;
        states.verticesWritten = view.vertexCount;
        states.indicesWritten = view.indexCount;
    }
}
