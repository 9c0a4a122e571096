#include "particle/particle_beam.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <memory>

#include "draw/d3d_texture.h"
#include "particle/particle.h"
#include "particle/particle_event.h"
#include "particle/particle_event_set.h"
#include "particle/script_number.h"
#include "particle/particle_names.h"
#include "platform/d3d9/d3d9_types.h"

namespace {

constexpr vec3_t kDefaultTrackPoints[] = {
    {-100.0f, 100.0f, 0.0f}, {-60.0f, -50.0f, 0.0f}, {100.0f, -100.0f, 0.0f}, {50.0f, -30.0f, 0.0f},
    {-100.0f, 100.0f, 0.0f}, {60.0f, 70.0f, 0.0f},   {100.0f, -100.0f, 0.0f}, {-20.0f, -50.0f, 0.0f},
};

bool IsFiniteValue(float value) { return std::isfinite(value); }
template <class Range>
bool IsFiniteValue(const Range& range) {
    return IsFiniteRange(range);
}

// Assigns `value` to every field when all its numbers are finite; otherwise the fields keep
// their values, since no saved script could hold it. Returns whether it assigned.
template <class Value, class... Fields>
bool AssignFinite(const Value& value, Fields&... fields) {
    if (!IsFiniteValue(value)) return false;
    ((fields = value), ...);
    return true;
}

}  // namespace

CParticleBeam::CParticleBeam(CParticleEmitter* emitter, CTexMgr* texMgr)
    : emitter_(emitter),
      texMgr_(texMgr),
      sourceBlendMode_(D3DBLEND_SRCALPHA),
      destBlendMode_(D3DBLEND_INVSRCALPHA),
      colorOp_(D3DTOP_MODULATE),
      alphaOp_(D3DTOP_MODULATE),
      blendOp_(D3DBLENDOP_ADD),
      trackPoints_{} {
    std::copy(std::begin(kDefaultTrackPoints), std::end(kDefaultTrackPoints), trackPoints_);
}

CParticleBeam::~CParticleBeam() {
    DeleteEvents();
    while (!live_.Empty()) delete CParticle::FromNode(live_.next->Unlink());
    while (!sounds_.Empty()) delete beam_sound_node_t::FromNode(sounds_.next->Unlink());
    for (CParticleEventSet* set : eventSets_) delete set;
    eventSets_.clear();
    if (texture_ != nullptr) texture_->Release();
    texture_ = nullptr;
}

void CParticleBeam::SetNameA(const char* name) { SetName(AnsiToWideCapped(name, kNameUnits)); }

void CParticleBeam::SetTextureA(const char* name) { SetTexture(AnsiToWideCapped(name, kNameUnits)); }

std::int32_t CParticleBeam::GetNumParticles() { return ScriptToInt32(numParticles_.value); }

void CParticleBeam::SetNumParticles(std::uint32_t count) {
    authoredNumParticles_ = count;
    ChangeNumParticles(count);
}

void CParticleBeam::ChangeNumParticles(std::uint32_t count) {
    numParticles_.value = static_cast<float>(count);
    state_.budget = ScriptToInt32(numParticles_.value);
}

template <class Field>
void CParticleBeam::SetSheetProperty(Field& field, Field value) {
    field = value;
    BuildAnimCells(true);
}

void CParticleBeam::SetAnimRow(std::int32_t rows) { SetSheetProperty(animRow_, static_cast<std::uint8_t>(rows)); }

void CParticleBeam::SetAnimCow(std::int32_t columns) {
    SetSheetProperty(animCow_, static_cast<std::uint8_t>(columns));
}

float CParticleBeam::GetAnimTime(std::uint32_t index) {
    return index < animCells_.size() ? animCells_[index].time : 0.0f;
}

void CParticleBeam::SetAnimTime(std::uint32_t index, float seconds) {
    if (index < animCells_.size() && std::isfinite(seconds)) animCells_[index].time = seconds;
}

void CParticleBeam::SetAnimTimes(float seconds) {
    if (std::isfinite(seconds)) SetSheetProperty(animTimes_, seconds);
}

void CParticleBeam::SetAnimActualCount(std::int32_t count) {
    SetSheetProperty(animActualCount_, static_cast<std::uint8_t>(count));
}

void CParticleBeam::SetAnimSize(std::int32_t pixels) {
    SetSheetProperty(animSize_, static_cast<std::uint16_t>(pixels));
}

void CParticleBeam::SetRefPoint(const float* uv) {
    if (!std::isfinite(uv[0]) || !std::isfinite(uv[1])) return;
    refPoint_[0] = uv[0];
    refPoint_[1] = uv[1];
}

void CParticleBeam::SetLifeTime(const value_range_t* range) { AssignFinite(*range, lifeTime_, baseLifeTime_); }

void CParticleBeam::SetEmitRate(const value_range_t* range) { AssignFinite(*range, emitRate_); }

void CParticleBeam::SetEmitAngle(const value_range_t* range) {
    if (AssignFinite(*range, authoredEmitAngle_)) ChangeEmitAngle(range);
}

void CParticleBeam::SetEmitSpeed(const value_range_t* range) {
    if (AssignFinite(*range, authoredEmitSpeed_)) ChangeEmitSpeed(range);
}

void CParticleBeam::SetEmitRadius(const xyz_range_t* range) { AssignFinite(*range, emitRadius_, baseEmitRadius_); }

void CParticleBeam::SetGravity(const xyz_range_t* range) { AssignFinite(*range, gravity_); }

void CParticleBeam::SetDelayTimer(float seconds) { AssignFinite(seconds, delayTimer_); }

void CParticleBeam::SetTrackTime(float seconds) { AssignFinite(seconds, trackTime_); }

IParticleEventSet* CParticleBeam::GetEventSet(std::uint32_t kind) {
    if (kind >= kEventSetCount) return nullptr;
    if (eventSets_.empty()) {
        // All sets or none, so that a failure part-way leaves no half-made list behind.
        std::vector<std::unique_ptr<CParticleEventSet>> sets;
        for (std::uint32_t k = 0; k < kEventSetCount; ++k)
            sets.push_back(std::make_unique<CParticleEventSet>(static_cast<std::int32_t>(k), this));
        eventSets_.reserve(kEventSetCount);
        for (auto& set : sets) eventSets_.push_back(set.release());
        for (CEventBase* head : particleEvents_)
            for (CEventBase* event = head; event != nullptr; event = event->GetNextInChain()) BindEventToSet(event);
        // The legacy beam shows no beam events in its sets.
        if (!lumi::kLegacy)
            for (CEventBase* head : beamEvents_)
                for (CEventBase* event = head; event != nullptr; event = event->GetNextInChain()) BindEventToSet(event);
    }
    return eventSets_[kind];
}

void CParticleBeam::BindEventToSet(CEventBase* event) {
    const std::int32_t kind = event->GetEventType();
    if (kind < 0 || static_cast<std::uint32_t>(kind) >= kEventSetCount) return;
    eventSets_[static_cast<std::size_t>(kind)]->BindEvent(event);
}

void CParticleBeam::Reset() {
    state_.budget = ScriptToInt32(numParticles_.value);
    state_.emissionAccumulator = 0.0f;
    state_.beamClock = 0.0f;
    state_.frameAccumulator = 0.0f;
    state_.frameCounter = 0;
    state_.lastCellSwitch = 0.0f;
    state_.currentCell = -1;
    state_.beamEventCursor = 0;
}

float CParticleBeam::GetDelayClock() { return state_.cycleDuration < 0.0f ? 0.0f : state_.cycleDuration; }

CParticle* CParticleBeam::Spawn(const vec3_t& position, std::int32_t angle, float frameTime) {
    // The legacy beam has no cycle times (and no EMITANGLE events: its offset stays 0).
    if (!lumi::kLegacy && live_.Empty()) state_.cycleStart = frameTime;
    auto* particle = new CParticle();
    particle->lastUpdateTime = frameTime;
    particle->lifetime = SampleValueRange(lifeTime_);
    particle->position = SampleVec3Range(emitRadius_);
    particle->lockAspect = lockAspect_;
    const float emitAngle = SampleValueRange(emitAngle_);
    const float emitSpeed = SampleValueRange(emitSpeed_);
    particle->speed.value = emitSpeed + state_.emitSpeedOffset;
    particle->motionAngle.value = (emitAngle + state_.emitAngleOffset) * kDegreesToRadians;
    const float cosine = std::cos(particle->motionAngle.value);
    const float sine = std::sin(particle->motionAngle.value);
    particle->velocity = {cosine * particle->speed.value, sine * particle->speed.value, 0.0f};
    particle->emitterPosition = position;
    particle->circle = circleBeam_;
    particle->attached = attachedToEmitter_ || singleParticle_ ? 1 : 0;
    particle->immortal = singleParticle_;
    if (muzzleShape_ == MS_ELLIPSE) {
        const vec3_t radius = SampleVec3Range(emitRadius_);
        particle->position.x = cosine * radius.x;
        particle->position.y = sine * radius.y;
    }
    ApplySpawnEvents(*particle);
    if (angle != 0) {
        const float turn = static_cast<float>(angle) * kDegreesToRadians;
        const float c = std::cos(turn);
        const float s = std::sin(turn);
        const vec3_t v = particle->velocity;
        particle->velocity.x = c * v.x - s * v.y;
        particle->velocity.y = s * v.x + c * v.y;
    }
    live_.PushBack(&particle->node);
    return particle;
}

void CParticleBeam::SetDrawSequence(std::int32_t sequence, std::int32_t beamIndex) {
    drawSequence_ = sequence;
    beamIndex_ = beamIndex;
}

void CParticleBeam::BuildAnimCells(bool force) {
    if (animCellsBuilt_ != 0 && !force) return;
    animCells_.clear();
    // A sheet of no rows or no columns has no cells (and no division by zero).
    if (animRow_ != 0 && animCow_ != 0) {
        const std::int32_t width = animSize_ / animCow_;
        const std::int32_t height = animSize_ / animRow_;
        for (std::int32_t row = 0; row < animRow_; ++row) {
            for (std::int32_t column = 0; column < animCow_; ++column) {
                const std::int32_t index = row * animCow_ + column;
                if (index >= animActualCount_) continue;
                animCells_.push_back(anim_cell_t{static_cast<std::uint8_t>(index), column * width + 1, row * height + 1,
                                                 (column + 1) * width - 1, (row + 1) * height - 1, animTimes_});
            }
        }
    }
    animCellsBuilt_ = animCells_.empty() ? 0 : 1;
    if (state_.currentCell >= static_cast<std::int32_t>(animCells_.size())) state_.currentCell = -1;
}

STRU_DRAW_PRIMITIVE CParticleBeam::DrawStates() const {
    STRU_DRAW_PRIMITIVE states{};
    states.primitiveType = particleMode_ == PM_BILLBOARD ? D3DPT_TRIANGLELIST : D3DPT_POINTLIST;
    states.cullMode = D3DCULL_CCW;
    states.colorOp = static_cast<DWORD>(colorOp_);
    states.alphaOp = static_cast<DWORD>(alphaOp_);
    states.blendOp = static_cast<DWORD>(blendOp_);
    states.sourceBlend = static_cast<DWORD>(sourceBlendMode_);
    states.destinationBlend = static_cast<DWORD>(destBlendMode_);
    states.texture = state_.drawTexture;
    return states;
}
