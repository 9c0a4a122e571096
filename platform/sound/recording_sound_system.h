#pragma once
// A host sound system that plays nothing and writes down every call made on it and on its
// sounds and instances, in order, as one line of text each. Tests and the demo hand it to
// the renderer in place of a host's real sound system.
//
// Lines (numbers in %g, pointers as PointerText gives them):
//     LoadSound(<file>, 0x<mode>) -> data <n> | none
//     ReleaseSound(data <n>)
//     StartInstance(<channel>, data <n>, <paused>) -> instance <n> | none
//     GetCollection() -> collection | none
//     data <n>: Set3DDistances(<min>, <max>)        data <n>: SetOption(<option>)
//     instance <n>: SetPaused(<p>)                  instance <n>: SetVolume(<v>)
//     instance <n>: JoinCollection(collection)      instance <n>: Set3DPosition(<x>, <y>, <z>, <velocity>)
//     instance <n>: SetFlag(<f>)                    instance <n>: SetUserData(<pointer>)
//     instance <n>: GetUserData() -> <pointer>
// where <velocity> is "none" or "<x>, <y>, <z>".
//
// Like a real host, it ends instances (EndInstance) and reuses ended ones for later starts;
// every handle it gave stays valid, and safe to query, until the system is destroyed.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/sound/host_sound.h"

namespace hostsound {

// How the lines write a pointer.
std::string PointerText(const void* pointer);

class RecordingSoundSystem;

class RecordedSoundData final : public IHostSoundData {
public:
    std::int32_t Set3DDistances(float minDistance, float maxDistance) override;
    std::int32_t SetOption(std::int32_t option) override;

    std::int32_t id = 0;            // 1, 2, ... in load order
    std::u16string fileName;
    std::uint32_t mode = 0;
    bool released = false;
    float minDistance = 0.0f;
    float maxDistance = 0.0f;

private:
    friend class RecordingSoundSystem;
    RecordingSoundSystem* system_ = nullptr;
};

class RecordedSoundInstance final : public IHostSoundInstance {
public:
    std::int32_t SetPaused(std::int32_t paused) override;
    std::int32_t SetVolume(float volume) override;
    std::int32_t JoinCollection(IHostSoundCollection* collection) override;
    std::int32_t Set3DPosition(const float* position, const float* velocity) override;
    std::int32_t SetFlag(std::int32_t flag) override;
    std::int32_t SetUserData(void* userData) override;
    std::int32_t GetUserData(void** userData) override;

    std::int32_t id = 0;            // 1, 2, ... in order of first start; kept when reused
    RecordedSoundData* data = nullptr;
    bool ended = false;
    bool paused = true;
    bool inCollection = false;
    float volume = 1.0f;
    float position[3] = {};
    void* userData = nullptr;

private:
    friend class RecordingSoundSystem;
    RecordingSoundSystem* system_ = nullptr;
};

class RecordingSoundSystem final : public IHostSoundSystem {
public:
    RecordingSoundSystem();
    ~RecordingSoundSystem();
    RecordingSoundSystem(const RecordingSoundSystem&) = delete;
    RecordingSoundSystem& operator=(const RecordingSoundSystem&) = delete;

    // ---- IHostSoundSystem ----
    std::int32_t LoadSound(const WCHAR* fileName, std::uint32_t mode, void* reserved, IHostSoundData** data) override;
    std::int32_t ReleaseSound(IHostSoundData* data) override;
    std::int32_t StartInstance(std::int32_t channel, IHostSoundData* data, std::int32_t paused,
                               IHostSoundInstance** instance) override;
    std::int32_t GetCollection(IHostSoundCollection** collection) override;

    // ---- Controls ----
    // Loads and starts that give no handle, as a host that cannot read a file or has no
    // free channel.
    void SetFailLoads(bool fail) { failLoads_ = fail; }
    void SetFailStarts(bool fail) { failStarts_ = fail; }
    // Whether GetCollection gives a collection (it does unless switched off).
    void SetCollectionEnabled(bool enabled) { collectionEnabled_ = enabled; }
    // Ends an instance as the host does when it has played: its user data is cleared and the
    // next start reuses it (the oldest ended instance first). Not recorded.
    void EndInstance(IHostSoundInstance* instance);

    // ---- What happened ----
    const std::vector<std::string>& Calls() const { return calls_; }
    void ClearCalls() { calls_.clear(); }
    // Handles given so far, in order; null beyond the end.
    RecordedSoundData* Data(std::size_t index) const;
    RecordedSoundInstance* Instance(std::size_t index) const;
    std::size_t DataCount() const { return data_.size(); }
    std::size_t InstanceCount() const { return instances_.size(); }

private:
    friend class RecordedSoundData;
    friend class RecordedSoundInstance;
    class Collection final : public IHostSoundCollection {};

    void Record(std::string line) { calls_.push_back(std::move(line)); }
    std::string Name(const IHostSoundData* data) const;

    std::vector<std::string> calls_;
    std::vector<std::unique_ptr<RecordedSoundData>> data_;
    std::vector<std::unique_ptr<RecordedSoundInstance>> instances_;
    Collection collection_;
    bool failLoads_ = false;
    bool failStarts_ = false;
    bool collectionEnabled_ = true;
};

}  // namespace hostsound
