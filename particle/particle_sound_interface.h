#pragma once
// IParticleSound: the script interface of one named sound of a particle emitter
// (IParticleEmitterScript::AddSound, GetSoundAt). Host thread only.
#include <string>

class CParticleSound;

// The script interface of a sound, in the order of its operations. There is no destructor
// slot: sounds are destroyed by their emitter. The number setters refuse a number that is
// not finite (an infinity or NaN): the old value stays, since no saved script could hold it.
class IParticleSound {
public:
    virtual const std::string& GetName() = 0;
    virtual const std::u16string& GetFileName() = 0;
    // From 8-bit text (ANSI code page), kept as at most 255 wide characters.
    virtual void SetFileName(const std::string& fileName) = 0;
    virtual float GetVolume() = 0;
    virtual void SetVolume(float volume) = 0;
    virtual bool Get3D() = 0;
    virtual void Set3D(bool on) = 0;
    virtual float GetMinDistance() = 0;
    virtual void SetMinDistance(float distance) = 0;
    virtual float GetMaxDistance() = 0;
    virtual void SetMaxDistance(float distance) = 0;

protected:
    ~IParticleSound() = default;
};

// The interface of a sound the emitter hands out as CParticleSound* (AddSound, GetSoundAt).
// CParticleSound derives from IParticleSound alone, so the interface lies at the start of
// the object (the layout every interface of the library's binary interface rests on) and the
// sound's address is the interface's: a host that cannot see CParticleSound converts here.
inline IParticleSound* SoundScriptOf(CParticleSound* sound) { return reinterpret_cast<IParticleSound*>(sound); }
