#pragma once
// IParticleBeamScript: the property interface of a particle beam, through which the script
// reader fills a beam, the writer reads it back and a host edits it. 87 operations in a
// fixed order; there is no destructor slot (the emitter destroys its beams).
//
// The legacy build's interface has 53 of these operations, in the same order: it has no
// animation operations, no ISANIM and nothing after GetEventSet. The beam keeps those as
// plain members there (LUMI_BEAM_CURRENT_OP marks their overrides).
//
// Range getters return the beam's own record (valid while the beam lives; its value field is
// the last draw); range setters copy the record. Enumerated and flag setters take an int32
// and keep it in the field's width. Setters refuse a number that is not finite (an infinity
// or NaN, or a range with one at either end): the old value stays, since no saved script
// could hold it.
//
// A host sees the legacy build's interface when it compiles with LUMI_LEGACY set to 1 (as the
// legacy package's flags do), the current one otherwise.
#include <cstdint>
#include <string>

#include "particle/particle_event_set_interface.h"
#include "particle/particle_value_records.h"

#if defined(LUMI_LEGACY) && LUMI_LEGACY
#define LUMI_BEAM_CURRENT_OP
#else
#define LUMI_BEAM_CURRENT_OP override
#endif

class CParticleBeam;

// PARTICLEMODE
inline constexpr std::int32_t PM_POINTSPRITE = 0;
inline constexpr std::int32_t PM_BILLBOARD = 1;
// PARTICLEANGLETYPE
inline constexpr std::int32_t PAT_ALIGNTOMOTION = 0;
inline constexpr std::int32_t PAT_SPECIFY = 1;
// MUZZLESHAPE
inline constexpr std::int32_t MS_POINT = 0;
inline constexpr std::int32_t MS_LINE = 1;
inline constexpr std::int32_t MS_ELLIPSE = 2;
inline constexpr std::int32_t MS_AREA = 3;
// CHGMODE
inline constexpr std::int32_t CHG_MODE_NONE = 0;
inline constexpr std::int32_t CHG_MODE_NUM_LIFE = 1;
inline constexpr std::int32_t CHG_MODE_EMITRADIUS = 2;
// COORDINATES (of the emitter, copied into its beams)
inline constexpr std::int32_t COORDS_2D = 1;
inline constexpr std::int32_t COORDS_3D = 2;

class IParticleBeamScript {
public:
    virtual const std::u16string& GetName() = 0;
    virtual void SetName(const std::u16string& name) = 0;
    // The texture file name in key form ('\' as '/', a-z upper-cased).
    virtual const std::u16string& GetTexture() = 0;
    virtual void SetTexture(const std::u16string& name) = 0;
    // NUMPARTICLES: the ramp's value truncated; the setter also sets the particle budget (the
    // legacy build has none: there it sets the ramp's value only).
    virtual std::int32_t GetNumParticles() = 0;
    virtual void SetNumParticles(std::uint32_t count) = 0;
    virtual std::int32_t GetSourceBlendMode() = 0;  // D3DBLEND
    virtual void SetSourceBlendMode(std::int32_t mode) = 0;
    virtual std::int32_t GetDestBlendMode() = 0;
    virtual void SetDestBlendMode(std::int32_t mode) = 0;
    virtual std::int32_t GetColorOp() = 0;  // D3DTEXTUREOP
    virtual void SetColorOp(std::int32_t op) = 0;
    virtual std::int32_t GetAlphaOp() = 0;
    virtual void SetAlphaOp(std::int32_t op) = 0;
    virtual std::int32_t GetBlendOp() = 0;  // D3DBLENDOP
    virtual void SetBlendOp(std::int32_t op) = 0;
#if !(defined(LUMI_LEGACY) && LUMI_LEGACY)
    // The animation setters rebuild the animation cells.
    virtual std::uint8_t GetAnimRow() = 0;
    virtual void SetAnimRow(std::int32_t rows) = 0;
    virtual std::uint8_t GetAnimCow() = 0;
    virtual void SetAnimCow(std::int32_t columns) = 0;
    // The time of cell `index`; 0 (get) or nothing (set) for an index past the cells.
    virtual float GetAnimTime(std::uint32_t index) = 0;
    virtual void SetAnimTime(std::uint32_t index, float seconds) = 0;
    virtual float GetAnimTimes() = 0;
    virtual void SetAnimTimes(float seconds) = 0;
    virtual std::uint8_t GetAnimActualCount() = 0;
    virtual void SetAnimActualCount(std::int32_t count) = 0;
    virtual std::uint16_t GetAnimSize() = 0;
    virtual void SetAnimSize(std::int32_t pixels) = 0;
    virtual std::uint8_t GetStartAnimIndex() = 0;
    virtual void SetStartAnimIndex(std::int32_t index) = 0;
#endif
    // Two floats (u, v): the pivot of the particle quad.
    virtual const float* GetRefPoint() = 0;
    virtual void SetRefPoint(const float* uv) = 0;
    virtual std::int32_t GetParticleMode() = 0;
    virtual void SetParticleMode(std::int32_t mode) = 0;
    virtual std::int32_t GetParticleAngleType() = 0;
    virtual void SetParticleAngleType(std::int32_t type) = 0;
    virtual std::int32_t GetMuzzleShape() = 0;
    virtual void SetMuzzleShape(std::int32_t shape) = 0;
    virtual std::uint8_t GetAttachedToEmitter() = 0;
    virtual void SetAttachedToEmitter(std::int32_t on) = 0;
    virtual std::uint8_t GetEmitRand() = 0;
    virtual void SetEmitRand(std::int32_t on) = 0;
    virtual std::uint8_t GetSingleParticle() = 0;
    virtual void SetSingleParticle(std::int32_t on) = 0;
#if !(defined(LUMI_LEGACY) && LUMI_LEGACY)
    virtual std::uint8_t GetIsAnim() = 0;
    virtual void SetIsAnim(std::int32_t on) = 0;
#endif
    virtual std::uint8_t GetCircleBeam() = 0;
    virtual void SetCircleBeam(std::int32_t on) = 0;
    virtual std::uint8_t GetFlipX() = 0;
    virtual void SetFlipX(std::int32_t on) = 0;
    virtual std::uint8_t GetFlipY() = 0;
    virtual void SetFlipY(std::int32_t on) = 0;
    virtual std::uint8_t GetLockAspect() = 0;
    virtual void SetLockAspect(std::int32_t on) = 0;
    // LIFETIME: the scaled copy; the setter writes the scaled and the base copy.
    virtual value_range_t* GetLifeTime() = 0;
    virtual void SetLifeTime(const value_range_t* range) = 0;
    virtual value_range_t* GetEmitRate() = 0;  // particles per second
    virtual void SetEmitRate(const value_range_t* range) = 0;
    virtual value_range_t* GetEmitAngle() = 0;  // degrees
    virtual void SetEmitAngle(const value_range_t* range) = 0;
    virtual value_range_t* GetEmitSpeed() = 0;  // units per second
    virtual void SetEmitSpeed(const value_range_t* range) = 0;
    // EMITRADIUS: the scaled copy; the setter writes the scaled and the base copy.
    virtual xyz_range_t* GetEmitRadius() = 0;
    virtual void SetEmitRadius(const xyz_range_t* range) = 0;
    virtual xyz_range_t* GetGravity() = 0;
    virtual void SetGravity(const xyz_range_t* range) = 0;
    // Whether the beam is drawn; not saved.
    virtual std::uint8_t GetBeamFlag() = 0;
    virtual void SetBeamFlag(std::int32_t on) = 0;
    // The editing view of one event kind (0 to 22; 0 to 18 in the legacy build); null above.
    virtual IParticleEventSet* GetEventSet(std::uint32_t kind) = 0;
#if !(defined(LUMI_LEGACY) && LUMI_LEGACY)
    virtual float GetDelayTimer() = 0;  // seconds
    virtual void SetDelayTimer(float seconds) = 0;
    virtual void SetCirclePlay(std::int32_t on) = 0;
    virtual std::uint8_t GetCirclePlay() = 0;
    // Restarts the beam's timeline (live particles stay).
    virtual void Reset() = 0;
    // The duration of the last finished cycle, 0 when there is none.
    virtual float GetDelayClock() = 0;
    virtual void SetChgMode(std::int32_t mode) = 0;
    virtual std::uint8_t GetChgMode() = 0;
    virtual void SetTrackMode(std::int32_t on) = 0;
    virtual std::uint8_t GetTrackMode() = 0;
    virtual void SetTrackCount(std::int32_t count) = 0;
    virtual std::uint16_t GetTrackCount() = 0;
    virtual void SetTrackIndex(std::int32_t index) = 0;
    virtual std::uint16_t GetTrackIndex() = 0;
    virtual void SetTrackTime(float seconds) = 0;
    virtual float GetTrackTime() = 0;
    virtual void SetTrackRand(std::int32_t on) = 0;
    virtual std::uint8_t GetTrackRand() = 0;
#endif

protected:
    ~IParticleBeamScript() = default;
};

// The interface of a beam the emitter hands out as CParticleBeam* (IParticleEmitterScript::
// GetBeam, AddBeam). IParticleBeamScript is CParticleBeam's first base, so it lies at the
// start of the object (the layout every interface of the library's binary interface rests
// on) and the beam's address is the interface's: a host that cannot see CParticleBeam
// converts here.
inline IParticleBeamScript* BeamScriptOf(CParticleBeam* beam) { return reinterpret_cast<IParticleBeamScript*>(beam); }
