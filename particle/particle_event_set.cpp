#include "particle/particle_event_set.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <memory>

#include "core/exception.h"
#include "particle/particle_beam.h"
#include "particle/particle_event.h"

CParticleEventSet::CParticleEventSet(std::int32_t kind, CParticleBeam* beam) : kind_(kind), beam_(beam) {
    if (beam == nullptr) throw lumi::Exception("invalid particle beam pointer!");
}

CParticleEventSet::~CParticleEventSet() = default;

IParticleEvent* CParticleEventSet::GetEvent(std::int32_t index) {
    if (index < 0 || index >= GetEventCount()) return nullptr;
    return events_[static_cast<std::size_t>(index)];
}

CEventBase* CParticleEventSet::At(float time) const {
    const auto found = times_.find(time);
    return found != times_.end() ? found->second : nullptr;
}

void CParticleEventSet::SortByTime() {
    std::stable_sort(events_.begin(), events_.end(),
                     [](CEventBase* a, CEventBase* b) { return a->GetTime() < b->GetTime(); });
}

void CParticleEventSet::Forget(CEventBase* event) {
    const auto found = times_.find(event->GetTime());
    if (found != times_.end() && found->second == event) times_.erase(found);
    events_.erase(std::remove(events_.begin(), events_.end(), event), events_.end());
    event->SetOwningSet(nullptr);
}

bool CParticleEventSet::BindEvent(CEventBase* event) {
    const float time = event->GetTime();
    // A NaN key would break the map's ordering.
    if (std::isnan(time) || !times_.emplace(time, event).second) return false;
    events_.push_back(event);
    event->SetOwningSet(this);
    return true;
}

IParticleEvent* CParticleEventSet::AddEvent(float time, bool fade) {
    if (std::isnan(time) || At(time) != nullptr) return nullptr;
    std::unique_ptr<CEventBase> made(CreateEventByKind(kind_));
    if (made == nullptr) return nullptr;
    // Still in no set: neither call reaches the beam.
    made->SetTime(time);
    made->SetFade(fade);
    CEventBase* event = made.get();
    events_.push_back(event);
    try {
        times_.emplace(time, event);
    } catch (...) {
        events_.pop_back();
        throw;
    }
    event->SetOwningSet(this);
    SortByTime();
    made.release();
    try {
        beam_->TakeEvent(event);
    } catch (...) {
        // The beam deleted the event it could not take.
        times_.erase(time);
        events_.erase(std::remove(events_.begin(), events_.end(), event), events_.end());
        throw;
    }
    return event;
}

IParticleEvent* CParticleEventSet::InsertEventBefore(IParticleEvent* event) {
    if (event == nullptr) {
        if (times_.empty()) return AddEvent(0.0f, false);
        const float after = times_.rbegin()->first + kTimeSpacing;
        return after > 1.0f ? nullptr : AddEvent(after, true);
    }
    const auto found = times_.find(event->GetTime());
    if (found == times_.end() || found->second != event) return nullptr;
    const float time = found->first;
    if (found == times_.begin()) return time == 0.0f ? nullptr : AddEvent(0.0f, false);
    const float before = std::prev(found)->first;
    if (time - before <= kTimeSpacing) return nullptr;
    return AddEvent(time - kTimeSpacing, true);
}

bool CParticleEventSet::GetEventTimeRange(IParticleEvent* event, float* bounds) {
    if (event == nullptr || bounds == nullptr) return false;
    const auto found = times_.find(event->GetTime());
    if (found == times_.end() || found->second != event) return false;
    const auto next = std::next(found);
    bounds[0] = found == times_.begin() ? 0.0f : std::prev(found)->first + kTimeSpacing;
    bounds[1] = next == times_.end() ? 1.0f : next->first - kTimeSpacing;
    return !(bounds[1] < bounds[0]);
}

bool CParticleEventSet::RemoveEvent(float time) {
    CEventBase* event = At(time);
    if (event == nullptr) return false;
    Forget(event);
    beam_->RemoveEvent(event);
    return true;
}

void CParticleEventSet::Clear() {
    // Events that leave the set no longer tell it about their changes.
    for (CEventBase* event : events_) event->SetOwningSet(nullptr);
    events_.clear();
    times_.clear();
}

void CParticleEventSet::OnEventTimeChanged(CEventBase* event, float oldTime) {
    const auto found = times_.find(oldTime);
    if (found != times_.end() && found->second == event) times_.erase(found);
    events_.erase(std::remove(events_.begin(), events_.end(), event), events_.end());
    const float time = event->GetTime();
    // A taken time leaves the event out of the view; it still belongs to this set.
    if (!std::isnan(time) && times_.emplace(time, event).second) events_.push_back(event);
    SortByTime();
    beam_->OnEventTimeChanged(event);
}
