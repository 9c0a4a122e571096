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

template <class Base>
struct event_kind_t {
    const char* keyword;
    Base* (*make)();
    bool currentOnly = false;  // the legacy build has no such event
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
    {"MOTIONANGLE", Make<CParticleEvent, CParticleEvent_MotionAngle>, true},
    {"ANGLE", Make<CParticleEvent, CParticleEvent_Angle>},
    {"SPIN", Make<CParticleEvent, CParticleEvent_Spin>},
};

constexpr event_kind_t<CParticleBeamEvent> kBeamKinds[] = {
    {"EVENTTIMER", Make<CParticleBeamEvent, CParticleBeamEvent_EventTimer>},
    {"NUMPARTICLES", Make<CParticleBeamEvent, CParticleBeamEvent_NumParticles>},
    {"EMITSPEED", Make<CParticleBeamEvent, CParticleBeamEvent_EmitSpeed>},
    {"BEAMPOS", Make<CParticleBeamEvent, CParticleBeamEvent_Position>, true},
    {"EMITANGLE", Make<CParticleBeamEvent, CParticleBeamEvent_EmitAngle>, true},
    {"PLAYSOUND", Make<CParticleBeamEvent, CParticleBeamEvent_PlaySound>, true},
};

template <class Row, std::size_t N>
auto CreateByKeyword(const Row (&rows)[N], std::string_view keyword) -> decltype(rows[0].make()) {
    for (const Row& row : rows)
        if (!(lumi::kLegacy && row.currentOnly) && keyword.find(row.keyword) != std::string_view::npos)
            return row.make();
    return nullptr;
}

}  // namespace

CParticleEvent* CreateParticleEvent(const std::string& keyword) { return CreateByKeyword(kParticleKinds, keyword); }

CParticleBeamEvent* CreateBeamEvent(const std::string& keyword) { return CreateByKeyword(kBeamKinds, keyword); }

CEventBase* CreateEventByKind(std::int32_t kind) {
    using namespace event_kind;
    if (kind == kNone) return nullptr;
    if (kind == kBeamEventTimer) return new CParticleBeamEvent_EventTimer();
    if (kind == kBeamNumParticles) return new CParticleBeamEvent_NumParticles();
    if (kind == kBeamEmitSpeed) return new CParticleBeamEvent_EmitSpeed();
    if (kind == kBeamPosition) return new CParticleBeamEvent_Position();
    if (kind == kBeamPlaySound) return new CParticleBeamEvent_PlaySound();
    if (kind == kBeamEmitAngle) return new CParticleBeamEvent_EmitAngle();
    if (kind == kEventTimer) return new CParticleEvent_EventTimer();
    if (kind == kSize) return new CParticleEvent_Size();
    if (kind == kSizeX) return new CParticleEvent_SizeX();
    if (kind == kSizeY) return new CParticleEvent_SizeY();
    if (kind == kRedColor) return new CParticleEvent_RedColor();
    if (kind == kGreenColor) return new CParticleEvent_GreenColor();
    if (kind == kBlueColor) return new CParticleEvent_BlueColor();
    if (kind == kAlpha) return new CParticleEvent_Alpha();
    if (kind == kColor) return new CParticleEvent_Color();
    if (kind == kVelocityX) return new CParticleEvent_VelocityX();
    if (kind == kVelocityY) return new CParticleEvent_VelocityY();
    if (kind == kVelocityZ) return new CParticleEvent_VelocityZ();
    if (kind == kVelocity) return new CParticleEvent_Velocity();
    if (kind == kAngle) return new CParticleEvent_Angle();
    if (kind == kMotionAngle) return new CParticleEvent_MotionAngle();
    if (kind == kSpin) return new CParticleEvent_Spin();
    if (kind == kSpeed) return new CParticleEvent_Speed();
    return nullptr;
}
