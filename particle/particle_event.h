#pragma once
// CEventBase: what every particle event and beam event shares, as far as the beam's event
// lists and the event sets need it: the event's kind, its time and its place in a chain.
//
// A beam keeps its events as chains: events with the same effective time are linked through
// their next-in-chain pointers, and the beam's list holds the first event of each chain. The
// beam owns its events and deletes them; an event set only refers to them.
#include <cstdint>

#include "particle/particle_values.h"

class CParticleEventSet;

class CEventBase {
public:
    CEventBase() = default;
    virtual ~CEventBase() = default;
    CEventBase(const CEventBase&) = delete;
    CEventBase& operator=(const CEventBase&) = delete;

    // The kind id: 0 to 5 beam events, 6 to 22 particle events.
    virtual std::int32_t GetEventType() = 0;

    // The script's time (the time range's max); event sets order and key events by it.
    float GetTime() const { return timeRange_.max; }
    // The time specifier as read: a number, or RANDOM(a, b); value is the last draw.
    value_range_t& TimeRange() { return timeRange_; }

    // Drawn from the time range when the event enters its beam's list; particle clocks and
    // the beam clock are compared with it.
    float GetEffectiveTime() const { return effectiveTime_; }
    void SetEffectiveTime(float time) { effectiveTime_ = time; }

    CEventBase* GetNextInChain() const { return nextInChain_; }
    void SetNextInChain(CEventBase* event) { nextInChain_ = event; }

    // The set showing the event; null while it is in none.
    CParticleEventSet* GetOwningSet() const { return owningSet_; }
    void SetOwningSet(CParticleEventSet* set) { owningSet_ = set; }

private:
    CParticleEventSet* owningSet_ = nullptr;
    value_range_t timeRange_{};
    float effectiveTime_ = 0.0f;
    CEventBase* nextInChain_ = nullptr;
};
