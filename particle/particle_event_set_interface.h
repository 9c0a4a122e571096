#pragma once
// IParticleEventSet: the editing view of one event kind (event_kind) on one particle beam
// (IParticleBeamScript::GetEventSet), its events in time order. Particle-event times are
// fractions of a particle's life (0 to 1); the editing bounds treat beam-event times the
// same way. Host thread only.
#include <cstdint>

#include "particle/particle_event_interface.h"

// The editing interface of a set, in the order of its operations.
class IParticleEventSet {
public:
    virtual std::int32_t GetEventType() = 0;
    virtual std::int32_t GetEventCount() = 0;
    // The event at `index` in time order; null out of range.
    virtual IParticleEvent* GetEvent(std::int32_t index) = 0;
    // A new event of the set's kind at `time`, handed to the beam; null when an event already
    // stands at that time.
    virtual IParticleEvent* AddEvent(float time, bool fade) = 0;
    // A new event just before `event` (0.001 earlier, fading; at 0, not fading, before the
    // first), or with a null `event` just after the last (at 0 in an empty set). Null when
    // there is no room (0.001 or less), when the new time would pass 1, or when `event` is
    // not in the set.
    virtual IParticleEvent* InsertEventBefore(IParticleEvent* event) = 0;
    // bounds[0], bounds[1] := the times the event may move to: 0.001 after the one before it
    // (0 for the first), 0.001 before the one after it (1 for the last). False for a null
    // event, for an event not in the set (bounds unwritten) and when there is no room.
    virtual bool GetEventTimeRange(IParticleEvent* event, float* bounds) = 0;
    // The beam removes and deletes the event at `time`; false when none stands there.
    virtual bool RemoveEvent(float time) = 0;
    // Forgets every event; the beam keeps them.
    virtual void Clear() = 0;

protected:
    ~IParticleEventSet() = default;
};
