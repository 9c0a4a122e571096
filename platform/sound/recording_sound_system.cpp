#include "platform/sound/recording_sound_system.h"

#include <algorithm>
#include <cstdio>

#include "platform/win32/text.h"

namespace hostsound {
namespace {

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof(text), "%g", value);
    return text;
}

std::string Handle(const char* kind, std::int32_t id) { return std::string(kind) + " " + std::to_string(id); }

}  // namespace

std::string PointerText(const void* pointer) {
    char text[32];
    std::snprintf(text, sizeof(text), "%p", pointer);
    return text;
}

// ---- RecordedSoundData ---------------------------------------------------------------------------

std::int32_t RecordedSoundData::Set3DDistances(float min, float max) {
    minDistance = min;
    maxDistance = max;
    system_->Record(Handle("data", id) + ": Set3DDistances(" + Number(min) + ", " + Number(max) + ")");
    return 0;
}

std::int32_t RecordedSoundData::SetOption(std::int32_t option) {
    system_->Record(Handle("data", id) + ": SetOption(" + std::to_string(option) + ")");
    return 0;
}

// ---- RecordedSoundInstance -----------------------------------------------------------------------

std::int32_t RecordedSoundInstance::SetPaused(std::int32_t value) {
    paused = value != 0;
    system_->Record(Handle("instance", id) + ": SetPaused(" + std::to_string(value) + ")");
    return 0;
}

std::int32_t RecordedSoundInstance::SetVolume(float value) {
    volume = value;
    system_->Record(Handle("instance", id) + ": SetVolume(" + Number(value) + ")");
    return 0;
}

std::int32_t RecordedSoundInstance::JoinCollection(IHostSoundCollection* collection) {
    inCollection = collection != nullptr;
    system_->Record(Handle("instance", id) + ": JoinCollection(" + (collection ? "collection" : "none") + ")");
    return 0;
}

std::int32_t RecordedSoundInstance::Set3DPosition(const float* where, const float* velocity) {
    std::string line = Handle("instance", id) + ": Set3DPosition(";
    if (where != nullptr) {
        std::copy(where, where + 3, position);
        line += Number(where[0]) + ", " + Number(where[1]) + ", " + Number(where[2]);
    } else {
        line += "none";
    }
    line += ", ";
    line += velocity != nullptr ? Number(velocity[0]) + ", " + Number(velocity[1]) + ", " + Number(velocity[2])
                                : std::string("none");
    system_->Record(line + ")");
    return 0;
}

std::int32_t RecordedSoundInstance::SetFlag(std::int32_t flag) {
    system_->Record(Handle("instance", id) + ": SetFlag(" + std::to_string(flag) + ")");
    return 0;
}

std::int32_t RecordedSoundInstance::SetUserData(void* value) {
    userData = value;
    system_->Record(Handle("instance", id) + ": SetUserData(" + PointerText(value) + ")");
    return 0;
}

std::int32_t RecordedSoundInstance::GetUserData(void** value) {
    if (value != nullptr) *value = userData;
    system_->Record(Handle("instance", id) + ": GetUserData() -> " + PointerText(userData));
    return 0;
}

// ---- RecordingSoundSystem ------------------------------------------------------------------------

RecordingSoundSystem::RecordingSoundSystem() = default;

RecordingSoundSystem::~RecordingSoundSystem() = default;

std::string RecordingSoundSystem::Name(const IHostSoundData* data) const {
    for (const auto& known : data_)
        if (known.get() == data) return Handle("data", known->id);
    return data == nullptr ? "no data" : "unknown data";
}

std::int32_t RecordingSoundSystem::LoadSound(const WCHAR* fileName, std::uint32_t mode, void*, IHostSoundData** data) {
    const std::u16string name = fileName != nullptr ? std::u16string(fileName) : std::u16string();
    char modeText[16];
    std::snprintf(modeText, sizeof(modeText), "0x%X", mode);
    std::string line = "LoadSound(" + win32::Utf16ToUtf8(name) + ", " + modeText + ") -> ";
    if (data != nullptr) *data = nullptr;
    if (failLoads_ || data == nullptr) {
        Record(line + "none");
        return -1;
    }
    auto made = std::make_unique<RecordedSoundData>();
    made->system_ = this;
    made->id = static_cast<std::int32_t>(data_.size() + 1);
    made->fileName = name;
    made->mode = mode;
    *data = made.get();
    Record(line + Handle("data", made->id));
    data_.push_back(std::move(made));
    return 0;
}

std::int32_t RecordingSoundSystem::ReleaseSound(IHostSoundData* data) {
    Record("ReleaseSound(" + Name(data) + ")");
    for (const auto& known : data_)
        if (known.get() == data) known->released = true;
    return 0;
}

std::int32_t RecordingSoundSystem::StartInstance(std::int32_t channel, IHostSoundData* data, std::int32_t paused,
                                                 IHostSoundInstance** instance) {
    std::string line =
        "StartInstance(" + std::to_string(channel) + ", " + Name(data) + ", " + std::to_string(paused) + ") -> ";
    if (instance != nullptr) *instance = nullptr;
    if (failStarts_ || instance == nullptr || data == nullptr) {
        Record(line + "none");
        return -1;
    }
    auto ended = std::find_if(instances_.begin(), instances_.end(), [](const auto& i) { return i->ended; });
    RecordedSoundInstance* started = nullptr;
    if (ended != instances_.end()) {
        started = ended->get();
    } else {
        instances_.push_back(std::make_unique<RecordedSoundInstance>());
        started = instances_.back().get();
        started->system_ = this;
        started->id = static_cast<std::int32_t>(instances_.size());
    }
    started->data = static_cast<RecordedSoundData*>(data);
    started->ended = false;
    started->paused = paused != 0;
    started->inCollection = false;
    started->volume = 1.0f;
    std::fill(std::begin(started->position), std::end(started->position), 0.0f);
    started->userData = nullptr;
    *instance = started;
    Record(line + Handle("instance", started->id));
    return 0;
}

std::int32_t RecordingSoundSystem::GetCollection(IHostSoundCollection** collection) {
    IHostSoundCollection* given = collectionEnabled_ ? &collection_ : nullptr;
    if (collection != nullptr) *collection = given;
    Record(std::string("GetCollection() -> ") + (given != nullptr ? "collection" : "none"));
    return 0;
}

void RecordingSoundSystem::EndInstance(IHostSoundInstance* instance) {
    for (const auto& known : instances_) {
        if (known.get() != instance) continue;
        known->ended = true;
        known->userData = nullptr;
    }
}

RecordedSoundData* RecordingSoundSystem::Data(std::size_t index) const {
    return index < data_.size() ? data_[index].get() : nullptr;
}

RecordedSoundInstance* RecordingSoundSystem::Instance(std::size_t index) const {
    return index < instances_.size() ? instances_[index].get() : nullptr;
}

}  // namespace hostsound
