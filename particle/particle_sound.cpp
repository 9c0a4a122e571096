#include "particle/particle_sound.h"

#include <cmath>

#include "particle/particle_beam.h"
#include "particle/particle_names.h"
#include "particle/particle_sound_owner.h"
#include "platform/sound/host_sound.h"

namespace {

// The beam already follows this instance: a host that hands the same instance out again
// must not make the list grow.
bool IsFollowed(lru_list_t& sounds, IHostSoundInstance* instance) {
    for (lru_obj_s* node = lru_obj_s::Next(&sounds); node != &sounds; node = lru_obj_s::Next(node))
        if (beam_sound_node_t::FromNode(node)->instance == instance) return true;
    return false;
}

}  // namespace

CParticleSound::CParticleSound(IParticleSoundOwner* owner) : owner_(owner) {}

CParticleSound* CParticleSound::Twin() {
    if (owner_ == nullptr) return nullptr;
    CParticleSound* held = owner_->FindSound(name_);
    return held != this ? held : nullptr;
}

template <class Field>
void CParticleSound::SetShared(Field CParticleSound::*field, const Field& value) {
    this->*field = value;
    if (CParticleSound* twin = Twin()) twin->*field = value;
}

void CParticleSound::SetFileName(const std::string& fileName) {
    SetShared(&CParticleSound::fileName_, AnsiToWideCapped(fileName.c_str(), kFileNameUnits));
}

void CParticleSound::SetVolume(float volume) {
    if (std::isfinite(volume)) SetShared(&CParticleSound::volume_, volume);
}

void CParticleSound::Set3D(bool on) { SetShared(&CParticleSound::is3D_, static_cast<std::uint8_t>(on ? 1 : 0)); }

void CParticleSound::SetMinDistance(float distance) {
    if (std::isfinite(distance)) SetShared(&CParticleSound::minDistance_, distance);
}

void CParticleSound::SetMaxDistance(float distance) {
    if (std::isfinite(distance)) SetShared(&CParticleSound::maxDistance_, distance);
}

IHostSoundData* CParticleSound::LoadData(IHostSoundSystem* system) {
    if (system == nullptr || data_ != nullptr) return data_;
    IHostSoundData* loaded = nullptr;
    system->LoadSound(fileName_.c_str(), is3D_ ? kHostSoundMode3D : kHostSoundMode2D, nullptr, &loaded);
    if (loaded == nullptr) return nullptr;
    if (is3D_) loaded->Set3DDistances(minDistance_, maxDistance_);
    loaded->SetOption(0);
    data_ = loaded;
    return data_;
}

void CParticleSound::ReleaseData(IHostSoundSystem* system) {
    if (system == nullptr || data_ == nullptr) return;
    system->ReleaseSound(data_);
    data_ = nullptr;
}

void PlayBeamSound(const std::string& name, CParticleBeam& beam) {
    IParticleSoundOwner* owner = beam.GetSoundOwner();
    IHostSoundSystem* system = owner != nullptr ? owner->GetSoundSystem() : nullptr;
    if (system == nullptr) return;
    CParticleSound* sound = owner->AcquireSound(name);
    if (sound == nullptr || sound->GetData() == nullptr) return;
    IHostSoundInstance* instance = nullptr;
    system->StartInstance(-1, sound->GetData(), 1, &instance);
    if (instance == nullptr) return;
    IHostSoundCollection* collection = nullptr;
    system->GetCollection(&collection);
    if (collection != nullptr) instance->JoinCollection(collection);
    instance->SetUserData(&beam);
    instance->SetVolume(sound->GetVolume());
    instance->SetFlag(0);
    instance->SetPaused(0);
    if (!sound->Get3D() || IsFollowed(beam.PlayingSounds(), instance)) return;
    auto* node = new beam_sound_node_t();
    node->instance = instance;
    beam.PlayingSounds().PushBack(node);
}

void UpdateSounds(CParticleBeam& beam, float x, float y) {
    lru_list_t& sounds = beam.PlayingSounds();
    const float position[3] = {x, y, 0.0f};
    for (lru_obj_s* node = lru_obj_s::Next(&sounds); node != &sounds;) {
        lru_obj_s* next = lru_obj_s::Next(node);
        IHostSoundInstance* instance = beam_sound_node_t::FromNode(node)->instance;
        void* userData = nullptr;
        instance->GetUserData(&userData);
        if (userData == &beam) {
            instance->Set3DPosition(position, nullptr);
        } else {
            delete beam_sound_node_t::FromNode(node->Unlink());
        }
        node = next;
    }
}
