#pragma once
// Particle sounds: the named sounds of an emitter (one `Sound "name" { ... }` block each),
// and how a beam plays them and keeps its 3D sounds at the emitter's position.
//
// The library plays no audio itself; everything goes through the host's sound system
// (platform/sound/host_sound.h). Every failure on the way (no sound system, no sound of that
// name, a sound that does not load, no instance) plays nothing and reports nothing.
// Instances are the host's: the library never releases them. Host thread only.
#include <cstdint>
#include <string>

#include "particle/particle_sound_interface.h"

class CParticleBeam;
class IHostSoundData;
class IHostSoundSystem;
class IParticleSoundOwner;

// Every setter also writes its value into the sound the owner holds under this sound's name,
// when that is another sound. A sound made without an owner writes through to nothing.
class CParticleSound final : public IParticleSound {
public:
    static constexpr std::size_t kFileNameUnits = 255;  // of a 256-unit buffer

    // Volume 1, flat, distances 100 to 1000, no data. The owner (the emitter) is not owned
    // and may be null.
    explicit CParticleSound(IParticleSoundOwner* owner);
    // Does not release the data: the emitter does so through its sound system first.
    ~CParticleSound() = default;
    CParticleSound(const CParticleSound&) = delete;
    CParticleSound& operator=(const CParticleSound&) = delete;

    // ---- IParticleSound ----
    const std::string& GetName() override { return name_; }
    const std::u16string& GetFileName() override { return fileName_; }
    void SetFileName(const std::string& fileName) override;
    float GetVolume() override { return volume_; }
    void SetVolume(float volume) override;
    bool Get3D() override { return is3D_ != 0; }
    void Set3D(bool on) override;
    float GetMinDistance() override { return minDistance_; }
    void SetMinDistance(float distance) override;
    float GetMaxDistance() override { return maxDistance_; }
    void SetMaxDistance(float distance) override;

    // The name is the key of the emitter's sound map; the emitter sets it once.
    void SetName(std::string name) { name_ = std::move(name); }

    // ---- Host data ----
    // Loads the sound through `system` when it has no data yet: 3D or 2D mode by the 3D
    // flag; a loaded 3D sound gets its distances, then every loaded sound option 0. Nothing
    // without a system. Returns the data (null when there is none).
    IHostSoundData* LoadData(IHostSoundSystem* system);
    // Releases the data through `system` (nothing when either is missing); the sound has no
    // data afterwards.
    void ReleaseData(IHostSoundSystem* system);
    IHostSoundData* GetData() const { return data_; }

    // Appends the sound's `Sound "name" { ... }` block at `indent` (particle_script_writer.cpp).
    void WriteScript(std::string& text, const std::string& indent);

private:
    // The owner's other sound of this name, or null.
    CParticleSound* Twin();
    // Sets the field of this sound and of its twin.
    template <class Field>
    void SetShared(Field CParticleSound::*field, const Field& value);

    std::string name_;
    std::u16string fileName_;
    std::uint8_t is3D_ = 0;
    float volume_ = 1.0f;
    float minDistance_ = 100.0f;
    float maxDistance_ = 1000.0f;
    IHostSoundData* data_ = nullptr;
    IParticleSoundOwner* owner_;
};

// Plays the sound `name` of the beam's emitter: an instance is started (paused), joins the
// host's collection when there is one, gets the beam as user data, the sound's volume, flag
// 0 and is unpaused. A 3D sound's instance is kept on the beam's list (once) to follow the
// emitter.
void PlayBeamSound(const std::string& name, CParticleBeam& beam);

// Each update, with the emitter's position: every instance on the beam's list that still
// reports the beam as its user data is placed at (x, y, 0) (sounds stay in the screen's
// plane); the others have been ended or reused by the host and leave the list.
void UpdateSounds(CParticleBeam& beam, float x, float y);
