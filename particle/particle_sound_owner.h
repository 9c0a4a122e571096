#pragma once
// IParticleSoundOwner: what beams and sounds need of their emitter. The emitter holds the
// host's sound system and the named sounds of its script; it hands every beam it makes this
// view of itself (CParticleBeam::SetSoundOwner), and its sounds keep it to write their
// settings through to the sound its map holds under their name.
#include <string>

class CParticleSound;
class IHostSoundSystem;

class IParticleSoundOwner {
public:
    // The host's sound system the emitter was made with; null when it had none.
    virtual IHostSoundSystem* GetSoundSystem() = 0;
    // The emitter's sound of that name; null when it has none.
    virtual CParticleSound* FindSound(const std::string& name) = 0;
    // The same sound with its data loaded on first use (CParticleSound::LoadData with the
    // emitter's sound system); null when the emitter has no sound of that name.
    virtual CParticleSound* AcquireSound(const std::string& name) = 0;

protected:
    ~IParticleSoundOwner() = default;
};
