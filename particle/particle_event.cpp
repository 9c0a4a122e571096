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

template <class Event>
CParticleEvent* MakeParticleEvent() {
    return new Event();
}

template <class Event>
CParticleBeamEvent* MakeBeamEvent() {
    return new Event();
}

struct particle_kind_t {
    const char* keyword;
    CParticleEvent* (*make)();
};

struct beam_kind_t {
    const char* keyword;
    CParticleBeamEvent* (*make)();
};

// In test order: a keyword that contains another must come before it.
constexpr particle_kind_t kParticleKinds[] = {
    {"SIZEX", MakeParticleEvent<CParticleEvent_SizeX>},
    {"SIZEY", MakeParticleEvent<CParticleEvent_SizeY>},
    {"SIZE", MakeParticleEvent<CParticleEvent_Size>},
    {"EVENTTIMER", MakeParticleEvent<CParticleEvent_EventTimer>},
    {"REDCOLOR", MakeParticleEvent<CParticleEvent_RedColor>},
    {"GREENCOLOR", MakeParticleEvent<CParticleEvent_GreenColor>},
    {"BLUECOLOR", MakeParticleEvent<CParticleEvent_BlueColor>},
    {"ALPHA", MakeParticleEvent<CParticleEvent_Alpha>},
    {"COLOR", MakeParticleEvent<CParticleEvent_Color>},
    {"SPEED", MakeParticleEvent<CParticleEvent_Speed>},
    {"VELOCITYX", MakeParticleEvent<CParticleEvent_VelocityX>},
    {"VELOCITYY", MakeParticleEvent<CParticleEvent_VelocityY>},
    {"VELOCITYZ", MakeParticleEvent<CParticleEvent_VelocityZ>},
    {"VELOCITY", MakeParticleEvent<CParticleEvent_Velocity>},
    {"MOTIONANGLE", MakeParticleEvent<CParticleEvent_MotionAngle>},
    {"ANGLE", MakeParticleEvent<CParticleEvent_Angle>},
    {"SPIN", MakeParticleEvent<CParticleEvent_Spin>},
};

constexpr beam_kind_t kBeamKinds[] = {
    {"EVENTTIMER", MakeBeamEvent<CParticleBeamEvent_EventTimer>},
    {"NUMPARTICLES", MakeBeamEvent<CParticleBeamEvent_NumParticles>},
    {"EMITSPEED", MakeBeamEvent<CParticleBeamEvent_EmitSpeed>},
    {"BEAMPOS", MakeBeamEvent<CParticleBeamEvent_Position>},
    {"EMITANGLE", MakeBeamEvent<CParticleBeamEvent_EmitAngle>},
    {"PLAYSOUND", MakeBeamEvent<CParticleBeamEvent_PlaySound>},
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
