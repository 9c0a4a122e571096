// CParticleEmitter: its beams and sounds, the per-frame update, its life, the track
// rectangle and the loading steps. The script's reading and writing are in
// particle_script_reader.cpp and particle_script_writer.cpp.
#include "particle/particle_emitter.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "core/event_log.h"
#include "core/format_helpers.h"
#include "core/frame_clock.h"
#include "particle/particle_beam.h"
#include "particle/particle_event.h"
#include "particle/particle_event_set.h"
#include "particle/particle_names.h"
#include "particle/particle_sound.h"
#include "particle/script_number.h"
#include "platform/tarnel/tarnel.h"

namespace {

constexpr std::uint32_t kVelocityEventKind = 18;
constexpr std::size_t kInitialBeamRoom = 8;

}  // namespace

CParticleEmitter::CParticleEmitter(IHostSoundSystem* sound, CTexMgr* texMgr, const STRU_FILE_CALLBACKS* callbacks)
    : texMgr_(texMgr), sound_(sound), callbacks_(callbacks) {
    beams_.reserve(kInitialBeamRoom);
}

CParticleEmitter::~CParticleEmitter() {
    beams_.clear();
#if LUMI_LEGACY
    removedBeams_.clear();
#endif
    for (auto& entry : sounds_) entry.second->ReleaseData(sound_);
    sounds_.clear();
    Plat_Free(buffer_);
    buffer_ = nullptr;
}

// ---- Beams ---------------------------------------------------------------------------------------

std::unique_ptr<CParticleBeam> CParticleEmitter::NewBeam() {
    auto beam = std::make_unique<CParticleBeam>(this, texMgr_);
    beam->SetSoundOwner(this);
    return beam;
}

CParticleBeam* CParticleEmitter::GetBeam(std::uint32_t index) {
    return index < beams_.size() ? beams_[index].get() : nullptr;
}

CParticleBeam* CParticleEmitter::AddBeam() {
    std::unique_ptr<CParticleBeam> beam = NewBeam();
    beam->SetTextureA(kDefaultBeamTexture);
    beam->SortEvents();  // its beam-event cursor at the start of its (empty) list
    beams_.push_back(std::move(beam));
    return beams_.back().get();
}

bool CParticleEmitter::RemoveBeam(CParticleBeam* beam) {
    // A beam this emitter does not hold belongs to another one, or is gone already.
    const auto found =
        std::find_if(beams_.begin(), beams_.end(), [beam](const auto& held) { return held.get() == beam; });
    if (beam == nullptr || found == beams_.end()) return false;
#if LUMI_LEGACY
    removedBeams_.push_back(std::move(*found));
#endif
    beams_.erase(found);
    return true;
}

#if LUMI_LEGACY
void CParticleEmitter::DestroyRemovedBeams() { removedBeams_.clear(); }
#endif

bool CParticleEmitter::MoveBeamUp(std::uint32_t index) {
    if (index == 0 || index >= beams_.size()) return false;
    std::swap(beams_[index], beams_[index - 1]);
    return true;
}

bool CParticleEmitter::MoveBeamDown(std::uint32_t index) {
    if (index >= beams_.size() || index + 1 == beams_.size()) return false;
    std::swap(beams_[index], beams_[index + 1]);
    return true;
}

bool CParticleEmitter::MoveBeamToFront(std::uint32_t index) {
    if (index == 0 || index >= beams_.size()) return false;
    std::rotate(beams_.begin(), beams_.begin() + index, beams_.begin() + index + 1);
    return true;
}

bool CParticleEmitter::MoveBeamToBack(std::uint32_t index) {
    if (index >= beams_.size() || index + 1 == beams_.size()) return false;
    std::rotate(beams_.begin() + index, beams_.begin() + index + 1, beams_.end());
    return true;
}

std::int32_t CParticleEmitter::GetBeamIndex(CParticleBeam* beam) {
    for (std::size_t i = 0; i < beams_.size(); ++i)
        if (beams_[i].get() == beam) return static_cast<std::int32_t>(i);
    return -1;
}

void CParticleEmitter::SetCoordinates(std::int32_t coordinates) {
    coordinates_ = coordinates;
    for (auto& beam : beams_) beam->SetCoordinates(coordinates);
}

void CParticleEmitter::SetCurPosition(float x, float y, float z) {
    if (!IsFiniteVec3(vec3_t{x, y, z})) return;
    currentPosition_[0] = x;
    currentPosition_[1] = y;
    currentPosition_[2] = z;
}

void CParticleEmitter::SetEmitStopped(std::uint8_t stopped) {
    emitStopped_ = stopped;
    for (auto& beam : beams_) beam->SetEmitStopped(stopped);
}

void CParticleEmitter::SetRect(std::uint16_t width, std::uint16_t height) {
    trackWidth_ = width;
    trackHeight_ = height;
    trackDirty_ = 1;
}

IAlphaBatchBeam* CParticleEmitter::BatchView::GetBeam(std::int32_t index) {
    return index < 0 ? nullptr : emitter_.GetBeam(static_cast<std::uint32_t>(index));
}

// ---- Sounds --------------------------------------------------------------------------------------

CParticleSound* CParticleEmitter::FindSound(const std::string& name) {
    const auto found = sounds_.find(name);
    return found != sounds_.end() ? found->second.get() : nullptr;
}

CParticleSound* CParticleEmitter::AcquireSound(const std::string& name) {
    CParticleSound* sound = FindSound(name);
    if (sound != nullptr) sound->LoadData(sound_);
    return sound;
}

CParticleSound* CParticleEmitter::AddSound(const WCHAR* name) {
    if (name == nullptr) return nullptr;
    std::string key = WideToAnsiCapped(name, kSoundNameBytes);
    if (sounds_.count(key) != 0) return nullptr;
    auto sound = std::make_unique<CParticleSound>(this);
    sound->SetName(key);
    CParticleSound* added = sound.get();
    sounds_.emplace(std::move(key), std::move(sound));
    return added;
}

bool CParticleEmitter::RemoveSound(IParticleSound* sound) {
    if (sound == nullptr) return false;
    // Only this very sound: another emitter's sound of the same name is not ours to remove.
    const auto found = sounds_.find(sound->GetName());
    if (found == sounds_.end() || found->second.get() != sound) return false;
    found->second->ReleaseData(sound_);
    sounds_.erase(found);
    return true;
}

CParticleSound* CParticleEmitter::GetSoundAt(std::uint32_t index) {
    if (index >= sounds_.size()) return nullptr;
    return std::next(sounds_.begin(), index)->second.get();
}

// ---- Each frame ----------------------------------------------------------------------------------

void CParticleEmitter::Restart() {
    lastUpdateTime_ = g_FrameTime;
    frameDelta_ = 0.0f;
}

void CParticleEmitter::Update(std::uint32_t frameId, std::int32_t x, std::int32_t y, std::int32_t originX,
                              std::int32_t originY, std::int32_t angle, float scale) {
    if (!IsLoaded()) return;
    if (trackDirty_) LayTrackBeams();
    if (frameId == lastFrameId_) return;
    lastFrameId_ = frameId;
    const float now = g_FrameTime;
    if (lastUpdateTime_ > 0.0f) {
        frameDelta_ = now - lastUpdateTime_;
    } else {
        frameDelta_ = 0.0001f;
        startTime_ = now;
    }
    lastUpdateTime_ = now;
    if (now == 0.0f) return;
    const float px = static_cast<float>(x) + currentPosition_[0];
    const float py = static_cast<float>(y) + currentPosition_[1];
    for (auto& beam : beams_) {
        beam->SetTimeScale(rate_);
        if (beam->GetIsAnim() && !beam->AreAnimCellsBuilt()) beam->BuildAnimCells(false);
        beam->Update(frameDelta_, px, py, currentPosition_[2], angle, scale, static_cast<float>(originX),
                     static_cast<float>(originY));
    }
}

void CParticleEmitter::SetDrawSequence(std::int32_t sequence) {
    for (std::size_t i = 0; i < beams_.size(); ++i) beams_[i]->SetDrawSequence(sequence, static_cast<std::int32_t>(i));
}

bool CParticleEmitter::IsAlive() {
    if (life_ < 0.0f) return true;
    if (startTime_ <= 0.0f) return false;
    // The frame clock, as the start time: whole seconds of another clock would make a life
    // up to a second too long.
    return g_FrameTime - startTime_ < life_;
}

void CParticleEmitter::ResetStartTime() {
    startLock_.Lock();
    startTime_ = g_FrameTime;
    startLock_.Unlock();
}

void CParticleEmitter::LayTrackBeams() {
    const float w = trackWidth_;
    const float h = trackHeight_;
    const float perimeter = 2.0f * (w + h);
    for (std::size_t i = 0; i < beams_.size(); ++i) {
        CParticleBeam& beam = *beams_[i];
        beam.SetAttachedToEmitter(1);
        if (i < 2) {
            // Halves in whole pixels, the first beam at the top-left corner.
            const float sign = i == 0 ? -1.0f : 1.0f;
            const vec3_t corner{sign * static_cast<float>(trackWidth_ / 2), sign * static_cast<float>(trackHeight_ / 2),
                                0.0f};
            xyz_range_t& radius = *beam.GetEmitRadius();
            radius.min = corner;
            radius.max = corner;
        }
        IParticleEventSet* velocities = beam.GetEventSet(kVelocityEventKind);
        // Taken first: each new time re-sorts the set.
        std::vector<IParticleEvent*> events;
        for (std::int32_t j = 0; j < velocities->GetEventCount(); ++j) events.push_back(velocities->GetEvent(j));
        // A beam without a lap to scale to keeps its count and lifetime.
        std::uint32_t count = ScriptToUInt32(static_cast<float>(beam.GetNumParticles()));
        float distance = 0.0f;
        for (std::size_t j = 0; j < events.size(); ++j) {
            if (j == 0) {
                const auto* velocity = static_cast<const xyz_range_t*>(events[0]->GetValue());
                const float across = velocity->max.x != 0.0f ? velocity->max.x + velocity->min.x
                                                             : velocity->max.y + velocity->min.y;
                const float lap = 2.0f * std::fabs(across);
                const float factor = perimeter / lap;
                // A velocity that goes nowhere gives no lap time to scale to. The scaling starts
                // from what was authored, not from what the last layout left, so that the same
                // rectangle, given again, gives the same beam.
                if (lap > 0.0f && std::isfinite(factor)) {
                    const value_range_t& life = beam.GetBaseLifeTime();
                    value_range_t& scaled = *beam.GetLifeTime();
                    scaled = value_range_t{life.min * factor, life.max * factor, scaled.value};
                    count = ScriptToUInt32(static_cast<float>(beam.GetAuthoredNumParticles()) * factor);
                }
            }
            // An empty rectangle has no edges to spread the events along.
            if (perimeter > 0.0f) events[j]->SetTime(distance / perimeter);
            distance += j % 2 == 0 ? h : w;
        }
        beam.ChangeNumParticles(count);
    }
    trackDirty_ = 0;
}

// ---- Loading -------------------------------------------------------------------------------------

bool CParticleEmitter::ReserveBuffer(std::uint32_t bytes) {
    if (bufferCapacity_ >= bytes && buffer_ != nullptr) return true;
    Plat_Free(buffer_);
    buffer_ = nullptr;
    bufferCapacity_ = 0;
    const std::uint32_t capacity = NextPowerOfTwo(bytes);
    buffer_ = static_cast<char*>(Plat_Alloc(capacity));
    if (buffer_ == nullptr) return false;
    bufferCapacity_ = capacity;
    return true;
}

bool CParticleEmitter::PrepareImpl() {
    if (callbacks_ == nullptr || callbacks_->Open == nullptr) return false;
    std::int32_t size = 0;
    LumiFileHandle file = nullptr;
    callbacks_->Open(scriptPath_.c_str(), &size, &file);
    bool read = false;
    if (file != nullptr) {
        read = size >= 0 && size <= kScriptByteLimit && ReserveBuffer(static_cast<std::uint32_t>(size) + 1);
        if (read) {
            std::int32_t count = 0;
            callbacks_->Read(file, buffer_, size, &count);
            bytesRead_ = static_cast<std::uint32_t>(std::clamp(count, 0, size));
        }
        callbacks_->Close(file);
    }
    if (!read) WriteLog(u"CParticleEmitter: script not read.[%s]", scriptPath_.c_str());
    return read;
}

bool CParticleEmitter::DecodeImpl() {
    if (bufferCapacity_ == 0) return false;
    buffer_[bytesRead_] = '\0';
    if (Compile(buffer_)) return true;
    WriteLog(u"script parse failed.[%s] %hs", scriptPath_.c_str(), compileError_.c_str());
    return false;
}
