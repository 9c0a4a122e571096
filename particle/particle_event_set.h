#pragma once
// Event sets: the editing view of one event kind on one beam: that kind's events in time
// order (by GetTime), at most one event per time. The beam makes its 23 sets on first demand
// (kinds 0 to 22) and deletes them; a set shows events the beam owns and never deletes them
// itself. Adding and removing through a set changes the beam's lists; the beam then sorts
// and links them again and restarts its particles' event timelines (particle kinds) or its
// beam-event cursor (beam kinds).
//
// Particle-event times are fractions of a particle's life (0 to 1); the editing bounds
// (IParticleEventSet) treat beam-event times the same way. Host thread only.
#include <cstdint>
#include <map>
#include <vector>

#include "particle/particle_event_set_interface.h"

class CEventBase;
class CParticleBeam;

class CParticleEventSet final : public IParticleEventSet {
public:
    static constexpr float kTimeSpacing = 0.001f;  // between neighbours made by the editing operations

    // Throws lumi::Exception "invalid particle beam pointer!" for a null beam.
    CParticleEventSet(std::int32_t kind, CParticleBeam* beam);
    // Frees its own lists without touching the events: the beam deletes its events first.
    ~CParticleEventSet();
    CParticleEventSet(const CParticleEventSet&) = delete;
    CParticleEventSet& operator=(const CParticleEventSet&) = delete;

    // ---- IParticleEventSet ----
    std::int32_t GetEventType() override { return kind_; }
    std::int32_t GetEventCount() override { return static_cast<std::int32_t>(events_.size()); }
    IParticleEvent* GetEvent(std::int32_t index) override;
    IParticleEvent* AddEvent(float time, bool fade) override;
    IParticleEvent* InsertEventBefore(IParticleEvent* event) override;
    bool GetEventTimeRange(IParticleEvent* event, float* bounds) override;
    bool RemoveEvent(float time) override;
    void Clear() override;

    CParticleBeam* GetBeam() const { return beam_; }

    // Takes in an event of the beam's lists under its time, after those taken before (no
    // sorting), and makes itself the event's set. False, leaving the event out, when an event
    // already stands at that time (or the time is not a number).
    bool BindEvent(CEventBase* event);
    // The event's time changed from `oldTime`: it moves to its new time in this set (or, when
    // that time is taken, stays out of the set while still belonging to it), and the beam
    // puts it in its new place.
    void OnEventTimeChanged(CEventBase* event, float oldTime);

private:
    // The event this set holds at `time`, or null.
    CEventBase* At(float time) const;
    void SortByTime();
    void Forget(CEventBase* event);

    std::int32_t kind_;
    std::vector<CEventBase*> events_;
    std::map<float, CEventBase*> times_;
    CParticleBeam* beam_;
};
