#include "particle/particle_event.h"

#include <string_view>

#include "particle/beam_event_kinds.h"
#include "particle/particle_beam.h"
#include "particle/particle_event_kinds.h"
#include "particle/particle_event_set.h"

CEventBase::CEventBase(std::int32_t internalKind, const char* keyword) : internalKind_(internalKind), keyword_(keyword) {}

bool CEventBase::SetTime(float time) {
    if (time == timeRange_.min) return false;
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

template <class Base>
struct event_kind_t {
    const char* keyword;
    Base* (*make)();
};

// In test order: a keyword that contains another must come before it.
constexpr event_kind_t<CParticleEvent> kParticleKinds[] = {
    {"SIZEX", Make<CParticleEvent, CParticleEvent_SizeX>},
    {"SIZEY", Make<CParticleEvent, CParticleEvent_SizeY>},
    {"SIZE", Make<CParticleEvent, CParticleEvent_Size>},
    {"EVENTTIMER", Make<CParticleEvent, CParticleEvent_EventTimer>},
    {"REDCOLOR", Make<CParticleEvent, CParticleEvent_RedColor>},
    {"GREENCOLOR", Make<CParticleEvent, CParticleEvent_GreenColor>},
    {"BLUECOLOR", Make<CParticleEvent, CParticleEvent_BlueColor>},
    {"ALPHA", Make<CParticleEvent, CParticleEvent_Alpha>},
    {"COLOR", Make<CParticleEvent, CParticleEvent_Color>},
    {"SPEED", Make<CParticleEvent, CParticleEvent_Speed>},
    {"VELOCITYX", Make<CParticleEvent, CParticleEvent_VelocityX>},
    {"VELOCITYY", Make<CParticleEvent, CParticleEvent_VelocityY>},
    {"VELOCITYZ", Make<CParticleEvent, CParticleEvent_VelocityZ>},
    {"VELOCITY", Make<CParticleEvent, CParticleEvent_Velocity>},
    {"MOTIONANGLE", Make<CParticleEvent, CParticleEvent_MotionAngle>},
    {"ANGLE", Make<CParticleEvent, CParticleEvent_Angle>},
    {"SPIN", Make<CParticleEvent, CParticleEvent_Spin>},
};

constexpr event_kind_t<CParticleBeamEvent> kBeamKinds[] = {
    {"EVENTTIMER", Make<CParticleBeamEvent, CParticleBeamEvent_EventTimer>},
    {"NUMPARTICLES", Make<CParticleBeamEvent, CParticleBeamEvent_NumParticles>},
    {"EMITSPEED", Make<CParticleBeamEvent, CParticleBeamEvent_EmitSpeed>},
    {"BEAMPOS", Make<CParticleBeamEvent, CParticleBeamEvent_Position>},
    {"EMITANGLE", Make<CParticleBeamEvent, CParticleBeamEvent_EmitAngle>},
    {"PLAYSOUND", Make<CParticleBeamEvent, CParticleBeamEvent_PlaySound>},
};

template <class Row, std::size_t N>
auto CreateByKeyword(const Row (&rows)[N], std::string_view keyword) -> decltype(rows[0].make()) {
    for (const Row& row : rows)
        if (keyword.find(row.keyword) != std::string_view::npos) return row.make();
    return nullptr;
}

}  // namespace

CParticleEvent* CreateParticleEvent(const std::string& keyword) { return CreateByKeyword(kParticleKinds, keyword); }

CParticleBeamEvent* CreateBeamEvent(const std::string& keyword) { return CreateByKeyword(kBeamKinds, keyword); }

CEventBase* CreateEventByKind(std::int32_t kind) {
    switch (kind) {
        case 0: return new CParticleBeamEvent_EventTimer();
        case 1: return new CParticleBeamEvent_NumParticles();
        case 2: return new CParticleBeamEvent_EmitSpeed();
        case 3: return new CParticleBeamEvent_Position();
        case 4: return new CParticleBeamEvent_PlaySound();
        case 5: return new CParticleBeamEvent_EmitAngle();
        case 6: return new CParticleEvent_EventTimer();
        case 7: return new CParticleEvent_Size();
        case 8: return new CParticleEvent_SizeX();
        case 9: return new CParticleEvent_SizeY();
        case 10: return new CParticleEvent_RedColor();
        case 11: return new CParticleEvent_GreenColor();
        case 12: return new CParticleEvent_BlueColor();
        case 13: return new CParticleEvent_Alpha();
        case 14: return new CParticleEvent_Color();
        case 15: return new CParticleEvent_VelocityX();
        case 16: return new CParticleEvent_VelocityY();
        case 17: return new CParticleEvent_VelocityZ();
        case 18: return new CParticleEvent_Velocity();
        case 19: return new CParticleEvent_Angle();
        case 20: return new CParticleEvent_MotionAngle();
        case 21: return new CParticleEvent_Spin();
        case 22: return new CParticleEvent_Speed();
        default: return nullptr;
    }
}
