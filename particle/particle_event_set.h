#pragma once
// Event sets: the editing view of one event kind on one beam: that kind's events in time
// order (by GetTime), at most one event per time. The beam makes its 23 sets on first demand
// (kinds 0 to 22) and deletes them; a set shows events the beam owns and never deletes them
// itself. Adding and removing through a set changes the beam's lists; the beam then sorts
// and links them again and restarts its particles' event timelines (particle kinds) or its
// beam-event cursor (beam kinds).
//
// Particle-event times are fractions of a particle's life (0 to 1); the editing bounds below
// treat beam-event times the same way. Host thread only.
#include <cstdint>
#include <map>
#include <vector>

class CEventBase;
class CParticleBeam;
class IParticleEvent;

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
