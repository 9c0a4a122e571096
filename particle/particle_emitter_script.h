#pragma once
// IParticleEmitterScript: the editing interface of a particle emitter, through which a host
// reads and changes the values of a loaded script, orders its beams, names its sounds and
// writes it back to a file. 33 operations in a fixed order; there is no destructor slot (the
// renderer's emitter manager destroys emitters). The legacy build's interface has 20 of them,
// in the same order: no life, rate, sound, restart, stop, loaded or track operations; its
// emitter keeps those as plain members (LUMI_EMITTER_CURRENT_OP marks their overrides).
//
// Use it only once IsLoaded() is true: until then the emitter's script may still be compiling
// on the resource loader's thread. Host thread only.
//
// A host of the legacy library compiles with LUMI_LEGACY set to 1 (the legacy package's flags
// do) and sees the 20 operations. Beams and sounds come as the concrete CParticleBeam* and
// CParticleSound*, which a host does not see: BeamScriptOf and SoundScriptOf give their
// interfaces, and the host hands the same pointers back (RemoveBeam, GetBeamIndex).
//
// Setters refuse a number that is not finite (an infinity or NaN, or a range with one at
// either end): the old value stays, since no saved script could hold it.
//
// Beam and sound indices that are out of range make an operation return null or false and
// change nothing. Beams and sounds stay the emitter's: the pointers returned are valid until
// they are removed or the emitter goes.
#include <cstdint>
#include <string>

#include "particle/particle_beam_script.h"
#include "particle/particle_sound_interface.h"
#include "particle/particle_value_records.h"
#include "platform/win32/win32_types.h"

#if defined(LUMI_LEGACY) && LUMI_LEGACY
#define LUMI_EMITTER_CURRENT_OP
#else
#define LUMI_EMITTER_CURRENT_OP override
#endif

class CParticleEmitter;

class IParticleEmitterScript {
public:
    // The quoted name after PARTICLEEMITTER.
    virtual const std::u16string& GetName() = 0;
    virtual void SetName(const std::u16string& name) = 0;
    // COORDS_2D (1) or COORDS_3D (2); setting it sets every beam's as well.
    virtual std::int32_t GetCoordinates() = 0;
    virtual void SetCoordinates(std::int32_t coordinates) = 0;
#if !(defined(LUMI_LEGACY) && LUMI_LEGACY)
    // Seconds the emitter lives after its start (see IsAlive); below 0: endless.
    virtual float GetEmitterLife() = 0;
    virtual void SetEmitterLife(float seconds) = 0;
    // Multiplies the time of every particle of every beam.
    virtual float GetEmitterRate() = 0;
    virtual void SetEmitterRate(float rate) = 0;
#endif
    // The number after the name in the script's header.
    virtual float GetVersion() = 0;
    virtual void SetVersion(float version) = 0;
    // The emitter's offset from where it is drawn (x, y, z), drawn from POSITION by each
    // compile.
    virtual float* GetCurPosition() = 0;
    virtual void SetCurPosition(float x, float y, float z) = 0;
    // The script's POSITION range.
    virtual xyz_range_t* GetPosition() = 0;
    virtual void SetPosition(const xyz_range_t& position) = 0;

    // ---- Beams, in draw and update order ----
    virtual std::int32_t GetBeamCount() = 0;
    virtual CParticleBeam* GetBeam(std::uint32_t index) = 0;
    // A new beam at the end, with the default texture
    // "Data/particle/shape/8-bit shapes/leaf2.png"; null when it cannot be made.
    virtual CParticleBeam* AddBeam() = 0;
    // Takes the beam out and destroys it (the legacy build once the frame that may still
    // draw it has been drawn); the pointer is not to be used again. False (nothing destroyed)
    // for null or a beam this emitter does not hold.
    virtual bool RemoveBeam(CParticleBeam* beam) = 0;
    // Swap with the neighbour before (after); false at the first (last) index.
    virtual bool MoveBeamUp(std::uint32_t index) = 0;
    virtual bool MoveBeamDown(std::uint32_t index) = 0;
    // To index 0 (the last index), the others keeping their order; false when already there.
    virtual bool MoveBeamToFront(std::uint32_t index) = 0;
    virtual bool MoveBeamToBack(std::uint32_t index) = 0;
    // The first index holding the beam; -1 when absent.
    virtual std::int32_t GetBeamIndex(CParticleBeam* beam) = 0;

    // Writes the emitter as script text (the values as authored, not where play has taken
    // them). False when the file cannot be opened or written; a file that cannot be written
    // whole may be left short.
    virtual bool Save(const WCHAR* path) = 0;

#if !(defined(LUMI_LEGACY) && LUMI_LEGACY)
    // ---- Sounds, in byte order of their names ----
    // A new sound of that name (kept as at most 255 bytes of 8-bit text); null for a null
    // name or when the emitter already has a sound of that name.
    virtual CParticleSound* AddSound(const WCHAR* name) = 0;
    // Releases the sound's host data and destroys it; false when it is not one of this
    // emitter's sounds.
    virtual bool RemoveSound(IParticleSound* sound) = 0;
    virtual std::int32_t GetSoundCount() = 0;
    virtual CParticleSound* GetSoundAt(std::uint32_t index) = 0;

    // Play goes on from the current frame time: the next update advances the beams by the
    // time from now, not by the time since the last update.
    virtual void Restart() = 0;
    // While set, no beam spawns; live particles run on.
    virtual void SetEmitStopped(std::uint8_t stopped) = 0;
    virtual std::uint8_t IsEmitStopped() = 0;
    // The script's load has ended (compiled, or failed).
    virtual bool IsLoaded() = 0;
    // The track rectangle: the next update lays the beams on it (the first two beams' emit
    // radius at its corners, VELOCITY event times along its edges, lifetimes and counts as
    // authored, scaled to its perimeter). The same rectangle, given again, gives the same
    // beams.
    virtual void SetRect(std::uint16_t width, std::uint16_t height) = 0;
#endif

protected:
    ~IParticleEmitterScript() = default;
};

// The script interface of the emitter a particle command holds (IRenderer::GetParticleEmitter
// hands it out as CParticleEmitter*). IParticleEmitterScript is CParticleEmitter's first base
// in both builds, so it lies at the start of the object (the layout every interface of the
// library's binary interface rests on) and the emitter's address is the interface's: a host
// that cannot see CParticleEmitter converts here. Null stays null.
inline IParticleEmitterScript* EmitterScriptOf(CParticleEmitter* emitter) {
    return reinterpret_cast<IParticleEmitterScript*>(emitter);
}
