#pragma once
// IParticleEvent: the editing interface of one event of a particle beam (a change at a point
// of each particle's life, or of the beam's clock), with the kind ids that name the beam's
// event sets (IParticleBeamScript::GetEventSet) and the records its values come in. A host of
// the legacy library compiles with LUMI_LEGACY set to 1 and gets that build's kind ids.
// Host thread only.
#include <cstdint>

#include "particle/particle_value_records.h"

// Kind ids (the event factory by kind, the beam's event sets, the writer's order): 0 to 5
// beam events and 6 to 22 particle events; the legacy build numbers its 19 kinds 0 to 2 and
// 3 to 18 and has no BEAMPOS, PLAYSOUND, EMITANGLE or MOTIONANGLE events (their id is
// kNone there).
namespace event_kind {
inline constexpr std::int32_t kNone = -1;
#if defined(LUMI_LEGACY) && LUMI_LEGACY
inline constexpr bool kL = true;
#else
inline constexpr bool kL = false;
#endif
inline constexpr std::int32_t kBeamEventTimer = 0;
inline constexpr std::int32_t kBeamNumParticles = 1;
inline constexpr std::int32_t kBeamEmitSpeed = 2;
inline constexpr std::int32_t kBeamPosition = kL ? kNone : 3;
inline constexpr std::int32_t kBeamPlaySound = kL ? kNone : 4;
inline constexpr std::int32_t kBeamEmitAngle = kL ? kNone : 5;
// The particle kinds from EVENTTIMER to ANGLE follow one another in both builds.
enum : std::int32_t {
    kEventTimer = kL ? 3 : 6, kSize, kSizeX, kSizeY, kRedColor, kGreenColor, kBlueColor, kAlpha, kColor,
    kVelocityX, kVelocityY, kVelocityZ, kVelocity, kAngle
};
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

// The editing interface of an event, in the order of its operations.
class IParticleEvent {
public:
    virtual std::int32_t GetEventType() = 0;
    // The script's time: the time range's max. Sets order and key their events by it.
    virtual float GetTime() = 0;
    // Sets the time range to `time` at both ends; its set and its beam put the event in its
    // new place. False, changing nothing, when `time` is already the range's min or is not
    // finite.
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
    // NUL-terminated name for text) that becomes both ends of the range. False, changing
    // nothing, when an end of the range would not be finite. A particle event in a set then
    // restarts the event timeline of every live particle.
    virtual bool SetValue(std::int32_t type, bool whole, const void* data) = 0;

protected:
    ~IParticleEvent() = default;
};
