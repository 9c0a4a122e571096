#include "particle/particle_event.h"

#include <cmath>
#include <string_view>

#include "particle/beam_event_kinds.h"
#include "particle/particle_beam.h"
#include "particle/particle_event_kinds.h"
#include "particle/particle_event_set.h"

CEventBase::CEventBase(std::int32_t internalKind, const char* keyword) : internalKind_(internalKind), keyword_(keyword) {}

bool CEventBase::SetTime(float time) {
    if (time == timeRange_.min || !std::isfinite(time)) return false;
    // The set keys the event by GetTime, so that is the place it leaves.
    const float oldTime = GetTime();
    timeRange_ = {time, time, time};
    if (owningSet_ != nullptr) owningSet_->OnEventTimeChanged(this, oldTime);
    return true;
}

void CEventBase::SetFade(bool fade) {
    const std::uint8_t flag = fade ? 1 : 0;
    if (flag == fade_) return;
    fade_ = flag;
    if (owningSet_ != nullptr) owningSet_->GetBeam()->OnEventFadeChanged(this);
}

void CEventBase::OnValueChanged() {
    if (owningSet_ != nullptr && !IsBeamKind(GetEventType())) owningSet_->GetBeam()->OnParticleEventChanged();
}

namespace {

template <class Event>
CEventBase* Make() {
    return new Event();
}

// An event kind as scripts name it. `kind` is event_kind::kNone where this build has no such
// event.
struct event_kind_t {
    const char* keyword;
    std::int32_t kind;
    CEventBase* (*make)();
};

// The beam kinds, then the particle kinds, each in test order: a keyword that contains another
// comes before it.
constexpr event_kind_t kKinds[] = {
    {"EVENTTIMER", event_kind::kBeamEventTimer, Make<CParticleBeamEvent_EventTimer>},
    {"NUMPARTICLES", event_kind::kBeamNumParticles, Make<CParticleBeamEvent_NumParticles>},
    {"EMITSPEED", event_kind::kBeamEmitSpeed, Make<CParticleBeamEvent_EmitSpeed>},
    {"BEAMPOS", event_kind::kBeamPosition, Make<CParticleBeamEvent_Position>},
    {"EMITANGLE", event_kind::kBeamEmitAngle, Make<CParticleBeamEvent_EmitAngle>},
    {"PLAYSOUND", event_kind::kBeamPlaySound, Make<CParticleBeamEvent_PlaySound>},
    {"SIZEX", event_kind::kSizeX, Make<CParticleEvent_SizeX>},
    {"SIZEY", event_kind::kSizeY, Make<CParticleEvent_SizeY>},
    {"SIZE", event_kind::kSize, Make<CParticleEvent_Size>},
    {"EVENTTIMER", event_kind::kEventTimer, Make<CParticleEvent_EventTimer>},
    {"REDCOLOR", event_kind::kRedColor, Make<CParticleEvent_RedColor>},
    {"GREENCOLOR", event_kind::kGreenColor, Make<CParticleEvent_GreenColor>},
    {"BLUECOLOR", event_kind::kBlueColor, Make<CParticleEvent_BlueColor>},
    {"ALPHA", event_kind::kAlpha, Make<CParticleEvent_Alpha>},
    {"COLOR", event_kind::kColor, Make<CParticleEvent_Color>},
    {"SPEED", event_kind::kSpeed, Make<CParticleEvent_Speed>},
    {"VELOCITYX", event_kind::kVelocityX, Make<CParticleEvent_VelocityX>},
    {"VELOCITYY", event_kind::kVelocityY, Make<CParticleEvent_VelocityY>},
    {"VELOCITYZ", event_kind::kVelocityZ, Make<CParticleEvent_VelocityZ>},
    {"VELOCITY", event_kind::kVelocity, Make<CParticleEvent_Velocity>},
    {"MOTIONANGLE", event_kind::kMotionAngle, Make<CParticleEvent_MotionAngle>},
    {"ANGLE", event_kind::kAngle, Make<CParticleEvent_Angle>},
    {"SPIN", event_kind::kSpin, Make<CParticleEvent_Spin>},
};

// The first kind of this build, among the beam kinds or the particle kinds, whose keyword the
// text contains; null when there is none.
const event_kind_t* FindByKeyword(std::string_view text, bool beamKinds) {
    for (const event_kind_t& row : kKinds) {
        if (row.kind != event_kind::kNone && CEventBase::IsBeamKind(row.kind) == beamKinds &&
            text.find(row.keyword) != std::string_view::npos)
            return &row;
    }
    return nullptr;
}

// The kind of an id of this build; null for any other number.
const event_kind_t* FindByKind(std::int32_t kind) {
    for (const event_kind_t& row : kKinds)
        if (row.kind != event_kind::kNone && row.kind == kind) return &row;
    return nullptr;
}

}  // namespace

CParticleEvent* CreateParticleEvent(const std::string& keyword) {
    const event_kind_t* row = FindByKeyword(keyword, false);
    return row != nullptr ? static_cast<CParticleEvent*>(row->make()) : nullptr;
}

CParticleBeamEvent* CreateBeamEvent(const std::string& keyword) {
    const event_kind_t* row = FindByKeyword(keyword, true);
    return row != nullptr ? static_cast<CParticleBeamEvent*>(row->make()) : nullptr;
}

CEventBase* CreateEventByKind(std::int32_t kind) {
    const event_kind_t* row = FindByKind(kind);
    return row != nullptr ? row->make() : nullptr;
}

const char* EventKeyword(std::int32_t kind) {
    const event_kind_t* row = FindByKind(kind);
    return row != nullptr ? row->keyword : "";
}
