#pragma once
// Events: changes that happen at a point of time. A particle event changes one property of
// every particle of a beam at a point of that particle's life (time 0 birth to 1 death); a
// beam event changes the beam itself at a time on the beam clock (seconds). Both share the
// record below, the event sets and the chains of the beam's lists.
//
// Chains: the beam keeps each kind of event (particle, beam) in one list sorted by effective
// time; events with the same effective time form a chain linked by their next-in-chain
// pointers, and the list holds each chain's first event. The beam owns its events and
// deletes them; a set only shows them.
//
// Fading: "fade so" makes the previous event of the same internal kind ramp linearly into
// this one: when the beam links its lists, an event's ramp target is the next event of its
// internal kind when that one fades.
//
// Class tree: IParticleEvent <- CEventBase <- CParticleEvent <- 17 kinds (particle_event_kinds.h)
//                                          <- CParticleBeamEvent <- 6 kinds (beam_event_kinds.h)
// Host thread only.
#include <cstdint>
#include <string>

#include "core/build_variant.h"
#include "particle/particle_event_interface.h"
#include "particle/particle_values.h"
#include "particle/script_value_reader.h"

class CParticle;
class CParticleBeam;
class CParticleEventSet;

// How the script wrote the time (GetTimeKind): the kinds of time specifier the reader gives.
inline constexpr std::int32_t kEventTimeInitial = script_time_spec_t::kInitial;
inline constexpr std::int32_t kEventTimeAt = script_time_spec_t::kAt;
inline constexpr std::int32_t kEventTimeFinal = script_time_spec_t::kFinal;

class CEventBase : public IParticleEvent {
public:
    CEventBase(std::int32_t internalKind, const char* keyword);
    virtual ~CEventBase() = default;
    CEventBase(const CEventBase&) = delete;
    CEventBase& operator=(const CEventBase&) = delete;

    static bool IsBeamKind(std::int32_t kind) { return kind < kFirstParticleEventKind; }

    // ---- IParticleEvent (the parts every kind shares) ----
    float GetTime() override { return timeRange_.max; }
    bool SetTime(float time) override;
    bool HasValue() override { return true; }
    bool GetFade() override { return fade_ != 0; }
    void SetFade(bool fade) override;

    // ---- Each kind's own ----
    virtual bool SupportsFade() = 0;
    // From the keyword token under the cursor: the keyword must contain the kind's keyword
    // (else ScriptError with the kind's message), then "=" and the value. Leaves the cursor
    // after the value; true.
    virtual bool Parse(script_cursor_t& cursor) = 0;

    // ---- The record ----
    // The time specifier as read: a number, or RANDOM(a, b); value is the last draw.
    value_range_t& TimeRange() { return timeRange_; }
    // Drawn from the time range when the event enters its beam's list; particle clocks and
    // the beam clock are compared with it.
    float GetEffectiveTime() const { return effectiveTime_; }
    void SetEffectiveTime(float time) { effectiveTime_ = time; }
    // The number the beam applies and links by (not the kind id).
    std::int32_t GetInternalKind() const { return internalKind_; }
    const std::string& GetKeyword() const { return keyword_; }
    std::int32_t GetTimeKind() const { return timeKind_; }
    void SetTimeKind(std::int32_t kind) { timeKind_ = kind; }
    // The next event of this internal kind when that one fades; set by the beam's linking.
    CEventBase* GetRampTarget() const { return rampTarget_; }
    void SetRampTarget(CEventBase* target) { rampTarget_ = target; }
    CEventBase* GetNextInChain() const { return nextInChain_; }
    void SetNextInChain(CEventBase* event) { nextInChain_ = event; }
    // The set showing the event; null while it is in none.
    CParticleEventSet* GetOwningSet() const { return owningSet_; }
    void SetOwningSet(CParticleEventSet* set) { owningSet_ = set; }

protected:
    // After a value change: a particle event in a set has its beam restart the particles'
    // event timelines.
    void OnValueChanged();

private:
    CParticleEventSet* owningSet_ = nullptr;
    value_range_t timeRange_{};
    float effectiveTime_ = 0.0f;
    std::int32_t internalKind_;
    std::uint8_t fade_ = 0;
    std::string keyword_;
    std::int32_t timeKind_ = kEventTimeAt;
    CEventBase* rampTarget_ = nullptr;
    CEventBase* nextInChain_ = nullptr;
};

// A particle event: applied to one particle when its event clock reaches the event's
// effective time x the particle's lifetime.
class CParticleEvent : public CEventBase {
public:
    using CEventBase::CEventBase;

    // Sets the particle's property (unless the event fades) and starts the ramp toward the
    // ramp target (rate 0 without one).
    virtual void Apply(CParticle& particle) = 0;

    CParticleEvent* NextInChain() const { return static_cast<CParticleEvent*>(GetNextInChain()); }
};

// A beam event: applied to the beam when the beam clock reaches its effective time.
class CParticleBeamEvent : public CEventBase {
public:
    using CEventBase::CEventBase;

    virtual void Apply(CParticleBeam& beam) = 0;

    CParticleBeamEvent* NextInChain() const { return static_cast<CParticleBeamEvent*>(GetNextInChain()); }
};

// The particle event whose keyword the text contains, tested in the order SIZEX, SIZEY,
// SIZE, EVENTTIMER, REDCOLOR, GREENCOLOR, BLUECOLOR, ALPHA, COLOR, SPEED, VELOCITYX,
// VELOCITYY, VELOCITYZ, VELOCITY, MOTIONANGLE, ANGLE, SPIN (the legacy build has no
// MOTIONANGLE: its text makes an ANGLE event there); null when it contains none.
CParticleEvent* CreateParticleEvent(const std::string& keyword);
// The beam event whose keyword the text contains, tested in the order EVENTTIMER,
// NUMPARTICLES, EMITSPEED, BEAMPOS, EMITANGLE, PLAYSOUND (the legacy build knows the first
// three only); null when it contains none.
CParticleBeamEvent* CreateBeamEvent(const std::string& keyword);
// The event of a kind id below kEventKindCount; null for other ids.
CEventBase* CreateEventByKind(std::int32_t kind);
// The keyword scripts write for a kind id below kEventKindCount ("NUMPARTICLES" for the beam
// event of that name); "" for other ids.
const char* EventKeyword(std::int32_t kind);
