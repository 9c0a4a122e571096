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
#include "particle/particle_values.h"

class CParticle;
class CParticleBeam;
class CParticleEventSet;
struct script_cursor_t;

// Kind ids (the event factory by kind, the beam's event sets, the writer's order): 0 to 5
// beam events and 6 to 22 particle events; the legacy build numbers its 19 kinds 0 to 2 and
// 3 to 18 and has no BEAMPOS, PLAYSOUND, EMITANGLE or MOTIONANGLE events (their id is
// kNoEventKind there).
namespace event_kind {
inline constexpr std::int32_t kNone = -1;
inline constexpr bool kL = lumi::kLegacy;
inline constexpr std::int32_t kBeamEventTimer = 0;
inline constexpr std::int32_t kBeamNumParticles = 1;
inline constexpr std::int32_t kBeamEmitSpeed = 2;
inline constexpr std::int32_t kBeamPosition = kL ? kNone : 3;
inline constexpr std::int32_t kBeamPlaySound = kL ? kNone : 4;
inline constexpr std::int32_t kBeamEmitAngle = kL ? kNone : 5;
inline constexpr std::int32_t kEventTimer = kL ? 3 : 6;
inline constexpr std::int32_t kSize = kEventTimer + 1;
inline constexpr std::int32_t kSizeX = kEventTimer + 2;
inline constexpr std::int32_t kSizeY = kEventTimer + 3;
inline constexpr std::int32_t kRedColor = kEventTimer + 4;
inline constexpr std::int32_t kGreenColor = kEventTimer + 5;
inline constexpr std::int32_t kBlueColor = kEventTimer + 6;
inline constexpr std::int32_t kAlpha = kEventTimer + 7;
inline constexpr std::int32_t kColor = kEventTimer + 8;
inline constexpr std::int32_t kVelocityX = kEventTimer + 9;
inline constexpr std::int32_t kVelocityY = kEventTimer + 10;
inline constexpr std::int32_t kVelocityZ = kEventTimer + 11;
inline constexpr std::int32_t kVelocity = kEventTimer + 12;
inline constexpr std::int32_t kAngle = kEventTimer + 13;
inline constexpr std::int32_t kMotionAngle = kL ? kNone : 20;
inline constexpr std::int32_t kSpin = kL ? 17 : 21;
inline constexpr std::int32_t kSpeed = kL ? 18 : 22;
}  // namespace event_kind
inline constexpr std::int32_t kFirstParticleEventKind = event_kind::kEventTimer;
inline constexpr std::int32_t kEventKindCount = event_kind::kSpeed + 1;

// What GetValue points at.
inline constexpr std::int32_t kEventValueSingle = 0;  // value_range_t
inline constexpr std::int32_t kEventValueColor = 1;   // color_range_t
inline constexpr std::int32_t kEventValueXYZ = 2;     // xyz_range_t
inline constexpr std::int32_t kEventValueText = 3;    // a NUL-terminated 8-bit name (PLAYSOUND)

// How the script wrote the time; the writer uses it.
inline constexpr std::int32_t kEventTimeInitial = 0;
inline constexpr std::int32_t kEventTimeAt = 1;
inline constexpr std::int32_t kEventTimeFinal = 2;

// The editing interface of an event, in the order of its operations.
class IParticleEvent {
public:
    virtual std::int32_t GetEventType() = 0;
    // The script's time: the time range's max. Sets order and key their events by it.
    virtual float GetTime() = 0;
    // Sets the time range to `time` at both ends; its set and its beam put the event in its
    // new place. False, changing nothing, when `time` is already the range's min.
    virtual bool SetTime(float time) = 0;
    virtual bool HasValue() = 0;
    virtual bool GetFade() = 0;
    // A change relinks the beam's events (and, for a particle event in a set, restarts the
    // event timeline of every live particle).
    virtual void SetFade(bool fade) = 0;
    virtual std::int32_t GetValueType() = 0;
    // The value record (kEventValue...); valid while the event lives.
    virtual const void* GetValue() = 0;
    // False when `type` is not GetValueType(). With `whole`, `data` is a whole record of that
    // type; else one value (a float, four floats for a colour, three for XYZ, a
    // NUL-terminated name for text) that becomes both ends of the range. A particle event in
    // a set then restarts the event timeline of every live particle.
    virtual bool SetValue(std::int32_t type, bool whole, const void* data) = 0;

protected:
    ~IParticleEvent() = default;
};

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
    virtual bool SupportsFade() = 0;
    // From the keyword token under the cursor: the keyword must contain the kind's keyword
    // (else ScriptError with the kind's message), then "=" and the value. Leaves the cursor
    // after the value; true.
    virtual bool Parse(script_cursor_t& cursor) = 0;

    CParticleEvent* NextInChain() const { return static_cast<CParticleEvent*>(GetNextInChain()); }
};

// A beam event: applied to the beam when the beam clock reaches its effective time.
class CParticleBeamEvent : public CEventBase {
public:
    using CEventBase::CEventBase;

    virtual void Apply(CParticleBeam& beam) = 0;
    virtual bool SupportsFade() = 0;
    virtual bool Parse(script_cursor_t& cursor) = 0;

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
