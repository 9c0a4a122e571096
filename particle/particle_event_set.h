#pragma once
// CParticleEventSet: the editing view of one event kind on one beam: that kind's events in
// time order, at most one event per time. The beam makes its 23 sets on first demand and
// deletes them; a set refers to events the beam owns and never deletes them.
#include <cstdint>
#include <map>
#include <vector>

class CEventBase;
class CParticleBeam;

class CParticleEventSet {
public:
    // Throws lumi::Exception "invalid particle beam pointer!" for a null beam.
    CParticleEventSet(std::int32_t kind, CParticleBeam* beam);
    // Frees its own lists without touching the events: the beam deletes its events first.
    ~CParticleEventSet();
    CParticleEventSet(const CParticleEventSet&) = delete;
    CParticleEventSet& operator=(const CParticleEventSet&) = delete;

    std::int32_t GetEventType() const { return kind_; }
    std::int32_t GetEventCount() const { return static_cast<std::int32_t>(events_.size()); }
    // The event at `index`; null out of range.
    CEventBase* GetEvent(std::int32_t index) const;
    CParticleBeam* GetBeam() const { return beam_; }

    // Takes in an event of the beam's lists under its time, after those taken before, and
    // makes itself the event's set. False, leaving the event out, when an event already
    // stands at that time (or the time is not a number).
    bool BindEvent(CEventBase* event);

private:
    std::int32_t kind_;
    std::vector<CEventBase*> events_;
    std::map<float, CEventBase*> times_;
    CParticleBeam* beam_;
};
