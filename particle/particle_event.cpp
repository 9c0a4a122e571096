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

template <class Base, class Event>
Base* Make() {
    return new Event();
}

// An event kind as scripts name it. `kind` is event_kind::kNone where this build has no such
// event.
template <class Base>
struct event_kind_t {
    const char* keyword;
    std::int32_t kind;
    Base* (*make)();
};

// In test order: a keyword that contains another must come before it.
constexpr event_kind_t<CParticleEvent> kParticleKinds[] = {
    {"SIZEX", event_kind::kSizeX, Make<CParticleEvent, CParticleEvent_SizeX>},
    {"SIZEY", event_kind::kSizeY, Make<CParticleEvent, CParticleEvent_SizeY>},
    {"SIZE", event_kind::kSize, Make<CParticleEvent, CParticleEvent_Size>},
    {"EVENTTIMER", event_kind::kEventTimer, Make<CParticleEvent, CParticleEvent_EventTimer>},
    {"REDCOLOR", event_kind::kRedColor, Make<CParticleEvent, CParticleEvent_RedColor>},
    {"GREENCOLOR", event_kind::kGreenColor, Make<CParticleEvent, CParticleEvent_GreenColor>},
    {"BLUECOLOR", event_kind::kBlueColor, Make<CParticleEvent, CParticleEvent_BlueColor>},
    {"ALPHA", event_kind::kAlpha, Make<CParticleEvent, CParticleEvent_Alpha>},
    {"COLOR", event_kind::kColor, Make<CParticleEvent, CParticleEvent_Color>},
    {"SPEED", event_kind::kSpeed, Make<CParticleEvent, CParticleEvent_Speed>},
    {"VELOCITYX", event_kind::kVelocityX, Make<CParticleEvent, CParticleEvent_VelocityX>},
    {"VELOCITYY", event_kind::kVelocityY, Make<CParticleEvent, CParticleEvent_VelocityY>},
    {"VELOCITYZ", event_kind::kVelocityZ, Make<CParticleEvent, CParticleEvent_VelocityZ>},
    {"VELOCITY", event_kind::kVelocity, Make<CParticleEvent, CParticleEvent_Velocity>},
    {"MOTIONANGLE", event_kind::kMotionAngle, Make<CParticleEvent, CParticleEvent_MotionAngle>},
    {"ANGLE", event_kind::kAngle, Make<CParticleEvent, CParticleEvent_Angle>},
    {"SPIN", event_kind::kSpin, Make<CParticleEvent, CParticleEvent_Spin>},
};

constexpr event_kind_t<CParticleBeamEvent> kBeamKinds[] = {
    {"EVENTTIMER", event_kind::kBeamEventTimer, Make<CParticleBeamEvent, CParticleBeamEvent_EventTimer>},
    {"NUMPARTICLES", event_kind::kBeamNumParticles, Make<CParticleBeamEvent, CParticleBeamEvent_NumParticles>},
    {"EMITSPEED", event_kind::kBeamEmitSpeed, Make<CParticleBeamEvent, CParticleBeamEvent_EmitSpeed>},
    {"BEAMPOS", event_kind::kBeamPosition, Make<CParticleBeamEvent, CParticleBeamEvent_Position>},
    {"EMITANGLE", event_kind::kBeamEmitAngle, Make<CParticleBeamEvent, CParticleBeamEvent_EmitAngle>},
    {"PLAYSOUND", event_kind::kBeamPlaySound, Make<CParticleBeamEvent, CParticleBeamEvent_PlaySound>},
};

template <class Row, std::size_t N>
auto CreateByKeyword(const Row (&rows)[N], std::string_view keyword) -> decltype(rows[0].make()) {
    for (const Row& row : rows)
        if (row.kind != event_kind::kNone && keyword.find(row.keyword) != std::string_view::npos) return row.make();
    return nullptr;
}

// The row of a kind id of this build; null for any other number.
template <class Row, std::size_t N>
const Row* FindKind(const Row (&rows)[N], std::int32_t kind) {
    for (const Row& row : rows)
        if (row.kind != event_kind::kNone && row.kind == kind) return &row;
    return nullptr;
}

}  // namespace

CParticleEvent* CreateParticleEvent(const std::string& keyword) { return CreateByKeyword(kParticleKinds, keyword); }

CParticleBeamEvent* CreateBeamEvent(const std::string& keyword) { return CreateByKeyword(kBeamKinds, keyword); }

CEventBase* CreateEventByKind(std::int32_t kind) {
    if (const auto* row = FindKind(kBeamKinds, kind)) return row->make();
    if (const auto* row = FindKind(kParticleKinds, kind)) return row->make();
    return nullptr;
}

const char* EventKeyword(std::int32_t kind) {
    if (const auto* row = FindKind(kBeamKinds, kind)) return row->keyword;
    if (const auto* row = FindKind(kParticleKinds, kind)) return row->keyword;
    return "";
}
