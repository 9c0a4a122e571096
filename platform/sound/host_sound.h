#pragma once
// The host's sound system, as the particle system calls it. The library plays no audio: the
// host hands the renderer an object of its own (IRenderer::SetSoundInterface), and emitters
// load, start, place and release their sounds through it. These are the thirteen operations
// the library calls, on three objects, in the order of the host's interfaces.
//
// Handles: sound data stays valid until the library releases it (ReleaseSound). An instance
// handle stays valid to query for as long as the sound system lives, also after the host has
// ended or reused the instance; GetUserData then reports whatever the host set since, no
// longer what the library gave. The library never releases instances.
//
// Results are 0 on success; the library relies only on the handles it gets back (null means
// failure). Host thread only.
#include <cstdint>

#include "platform/win32/win32_types.h"

// Modes of LoadSound: how the host is to load a sound the library plays flat or placed.
inline constexpr std::uint32_t kHostSoundMode2D = 0x0100002A;
inline constexpr std::uint32_t kHostSoundMode3D = 0x01000052;

// A group instances join so that the host can control them together; opaque to the library.
class IHostSoundCollection {
protected:
    ~IHostSoundCollection() = default;
};

// One loaded sound.
class IHostSoundData {
public:
    // Distances of a 3D sound: full volume up to the minimum, silent beyond the maximum.
    virtual std::int32_t Set3DDistances(float minDistance, float maxDistance) = 0;
    // The library passes 0.
    virtual std::int32_t SetOption(std::int32_t option) = 0;

protected:
    ~IHostSoundData() = default;
};

// One playing instance of a sound.
class IHostSoundInstance {
public:
    // 0 plays.
    virtual std::int32_t SetPaused(std::int32_t paused) = 0;
    virtual std::int32_t SetVolume(float volume) = 0;
    virtual std::int32_t JoinCollection(IHostSoundCollection* collection) = 0;
    // `position` points at x, y, z; `velocity` may be null (none).
    virtual std::int32_t Set3DPosition(const float* position, const float* velocity) = 0;
    // The library passes 0.
    virtual std::int32_t SetFlag(std::int32_t flag) = 0;
    // A pointer the host keeps for the library while this instance is the one started.
    virtual std::int32_t SetUserData(void* userData) = 0;
    virtual std::int32_t GetUserData(void** userData) = 0;

protected:
    ~IHostSoundInstance() = default;
};

class IHostSoundSystem {
public:
    // Loads a sound file (`fileName` wide and terminated) in one of the modes above;
    // `reserved` is null. `*data` is the sound, or null on failure.
    virtual std::int32_t LoadSound(const WCHAR* fileName, std::uint32_t mode, void* reserved,
                                   IHostSoundData** data) = 0;
    virtual std::int32_t ReleaseSound(IHostSoundData* data) = 0;
    // Starts an instance of `data` on any channel (-1), paused when `paused` is 1, as the
    // library asks. `*instance` is the instance, or null when none could start.
    virtual std::int32_t StartInstance(std::int32_t channel, IHostSoundData* data, std::int32_t paused,
                                       IHostSoundInstance** instance) = 0;
    // `*collection` is the collection new instances join, or null.
    virtual std::int32_t GetCollection(IHostSoundCollection** collection) = 0;

protected:
    ~IHostSoundSystem() = default;
};
