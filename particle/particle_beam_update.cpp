// One frame of a beam: clocks, ramps, beam events, motion, emission, animation, texture and
// sounds, in that order.
#include <algorithm>
#include <cmath>

#include "core/frame_clock.h"
#include "draw/d3d_texture.h"
#include "particle/particle.h"
#include "particle/particle_beam.h"
#include "particle/particle_sound.h"
#include "particle/script_number.h"

namespace {

constexpr std::int32_t kUpdatesPerTick = 3;

bool SameEnds(const xyz_range_t& range) {
    return range.min.x == range.max.x && range.min.y == range.max.y && range.min.z == range.max.z;
}

vec3_t Scaled(const vec3_t& v, float factor) { return {v.x * factor, v.y * factor, v.z * factor}; }

vec3_t Sum(const vec3_t& a, const vec3_t& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }

}  // namespace

void CParticleBeam::Update(float dt, float x, float y, float z, std::int32_t angle, float scale, float originX,
                           float originY) {
    // A clock that went back, or one that is not a number, gives no time.
    if (!(dt > 0.0f) || !std::isfinite(dt)) dt = 0.0f;
    state_.frameAccumulator += dt;
    ++state_.frameCounter;
    const bool tick = state_.frameCounter >= kUpdatesPerTick;
    float timed = 0.0f;  // the time of the timed work: on a tick, that of the last three updates
    if (tick) {
        timed = state_.frameAccumulator;
        state_.frameAccumulator = 0.0f;
        state_.frameCounter = 0;
    }
    state_.emitterAngle = static_cast<float>(angle) * kDegreesToRadians;
    state_.originX = originX;
    state_.originY = originY;

    state_.beamClock += timed;
    if (state_.beamClock < delayTimer_) return;
    if (chgMode_ != CHG_MODE_NONE && state_.scaleReferenceCaptured) Rescale(scale);
    if (tick) StepRamp(numParticles_, timed);
    state_.emitSpeedOffset += state_.emitSpeedOffsetRate * timed;
    state_.emitAngleOffset += state_.emitAngleOffsetRate * timed;
    if (tick) ApplyBeamEvents();

    const float frameTime = g_FrameTime;
    const vec3_t emitter{x, y, z};
    const std::uint32_t radiusLimit = chgMode_ == CHG_MODE_NUM_LIFE ? ScriptToUInt32(scale) : 0;
    MoveParticles(tick, frameTime, emitter, radiusLimit);
    Emit(tick, timed, frameTime, emitter, angle, radiusLimit);

    ResolveTexture(isAnim_ ? StepAnimation() : nullptr);
    UpdateSounds(*this, x, y);

    if (live_.Empty()) {
        state_.cycleEnd = frameTime;
        if (state_.cycleStart > 0.0f) {
            state_.cycleDuration = state_.cycleEnd - state_.cycleStart + delayTimer_;
            state_.cycleStart = -1.0f;
        }
        state_.currentCell = -1;
    }
}

void CParticleBeam::MoveParticles(bool tick, float frameTime, const vec3_t& emitter, std::uint32_t radiusLimit) {
    gravity_draw_t gravity(gravity_);
    for (lru_obj_s* node = lru_obj_s::Next(&live_); node != &live_;) {
        lru_obj_s* next = lru_obj_s::Next(node);
        PrefetchParticle(next);
        CParticle& particle = *CParticle::FromNode(node);
        if (trackMode_ && particle.segmentDone) StartTrackSegment(particle);
        const bool alive = particle.Move(frameTime, emitter, gravity.Next(), timeScale_, radiusLimit);
        if (singleParticle_) {
            // Only the oldest particle of a single-particle beam moves. Its events advance
            // too, or it would stall at its first event.
            if (alive && tick) AdvanceParticleEvents(particle);
            return;
        }
        if (!alive) {
            delete CParticle::FromNode(node->Unlink());
        } else if (tick) {
            AdvanceParticleEvents(particle);
        }
        node = next;
    }
}

void CParticleBeam::Emit(bool tick, float timed, float frameTime, const vec3_t& emitter, std::int32_t angle,
                         std::uint32_t radiusLimit) {
    state_.emissionAccumulator += timed;
    SampleValueRange(emitRate_);
    const float interval = 1.0f / SampleValueRange(emitRate_);
    bool emit = singleParticle_ || emitRand_ ? live_.Empty()
                                             : static_cast<float>(live_.Count()) < numParticles_.value;
    if ((!circlePlay_ && state_.budget <= 0) || emitStopped_) emit = false;
    if (tick) {
        const float step = std::min(state_.beamPositionRemaining, timed);
        state_.beamPosition = Sum(state_.beamPosition, Scaled(state_.beamPositionRate, step));
        state_.beamPositionRemaining = state_.beamPositionRemaining < timed ? 0.0f : state_.beamPositionRemaining - timed;
    }
    if (!emit) return;

    gravity_draw_t gravity(gravity_);
    std::int32_t spawned = 0;
    while (static_cast<float>(live_.Count()) < numParticles_.value && live_.Count() < kLiveParticleLimit) {
        if (!emitRand_ && !(state_.emissionAccumulator > interval)) break;
        if (!circlePlay_ && state_.budget <= 0) break;
        const vec3_t at = Sum(emitter, state_.beamPosition);
        CParticle* particle = Spawn(at, angle, frameTime);
        --state_.budget;
        // Particles due earlier in the frame than this update start that much older.
        particle->lastUpdateTime = emitRand_ ? frameTime : frameTime - static_cast<float>(spawned) * interval;
        ++spawned;
        particle->track = trackMode_;
        if (trackMode_) {
            const std::int32_t count = std::clamp<std::int32_t>(trackCount_, 2, kTrackPointCount);
            std::int32_t first = 0;
            if (trackRand_) {
                first = ParticleRandom() % (count - 1);
                trackIndex_ = static_cast<std::uint16_t>(first);
            }
            particle->StartSegment(trackPoints_[first], trackPoints_[first + 1], trackTime_);
            ++trackIndex_;
        }
        if (chgMode_ == CHG_MODE_NUM_LIFE) {
            particle->Move(frameTime, at, gravity.Next(), timeScale_, radiusLimit);
        } else {
            particle->Move(frameTime, at, gravity.Next(), 1.0f, 0);
        }
        if (!state_.scaleReferenceCaptured && chgMode_ != CHG_MODE_NONE) CaptureScaleReference(*particle);
        state_.emissionAccumulator -= interval;
    }
}

void CParticleBeam::StartTrackSegment(CParticle& particle) {
    // Counts and indices past the path are held to it rather than read beyond it.
    const std::int32_t count = std::clamp<std::int32_t>(trackCount_, 2, kTrackPointCount);
    const std::int32_t from = std::min<std::int32_t>(trackIndex_, count - 1);
    const std::int32_t to = from + 1 < count ? from + 1 : 0;
    particle.StartSegment(trackPoints_[from], trackPoints_[to], trackTime_);
    trackIndex_ = static_cast<std::uint16_t>(to);
}

void CParticleBeam::CaptureScaleReference(const CParticle& particle) {
    vec3_t& reference = state_.scaleReference;
    if (chgMode_ == CHG_MODE_NUM_LIFE) {
        const float reach = particle.speed.value * particle.lifetime;
        reference.x = std::cos(particle.motionAngle.value) * reach;
        reference.y = std::sin(particle.motionAngle.value) * reach;
    } else if (chgMode_ == CHG_MODE_EMITRADIUS) {
        const vec3_t& max = emitRadius_.max;
        const vec3_t& min = emitRadius_.min;
        reference = SameEnds(emitRadius_) ? max : vec3_t{max.x - min.x, max.y - min.y, max.z - min.z};
    }
    state_.scaleReferenceCaptured = reference.x != 0.0f || reference.y != 0.0f || reference.z != 0.0f;
}

void CParticleBeam::Rescale(float scale) {
    if (scale == state_.lastScale) return;
    state_.lastScale = scale;
    const vec3_t& reference = state_.scaleReference;
    const float against = reference.x != 0.0f ? reference.x : reference.y != 0.0f ? reference.y : reference.z;
    const float ratio = against != 0.0f ? scale / against : 0.0f;
    if (!(ratio > 0.0f)) return;
    if (chgMode_ == CHG_MODE_NUM_LIFE) {
        lifeTime_.max = ratio * baseLifeTime_.max;
    } else if (chgMode_ == CHG_MODE_EMITRADIUS) {
        if (SameEnds(emitRadius_)) emitRadius_.min = Scaled(baseEmitRadius_.min, ratio);
        emitRadius_.max = Scaled(baseEmitRadius_.max, ratio);
    }
}

const anim_cell_t* CParticleBeam::StepAnimation() {
    if (texture_ == nullptr || !texture_->IsLoaded()) return nullptr;
    const auto cells = static_cast<std::int32_t>(animCells_.size());
    std::int32_t& current = state_.currentCell;
    if (current >= 0 && current < cells) {
        const anim_cell_t& cell = animCells_[static_cast<std::size_t>(current)];
        // The first cell of the sheet's sequence shows for twice its time.
        const float shown = cell.index == startAnimIndex_ ? cell.time * 2.0f : cell.time;
        if (shown < state_.beamClock - state_.lastCellSwitch) {
            state_.lastCellSwitch = state_.beamClock;
            current = current + 1 < cells ? current + 1 : 0;
        }
    } else if (cells > 0) {
        std::int32_t start = startAnimIndex_;
        if (start >= animActualCount_ || start >= animRow_ * animCow_ || start >= cells) start = 0;
        state_.lastCellSwitch = 0.0f;
        current = start;
    } else {
        return nullptr;
    }
    return &animCells_[static_cast<std::size_t>(current)];
}
