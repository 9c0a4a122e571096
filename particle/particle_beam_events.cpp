// The beam's event lists: adding, sorting, linking, editing through the sets, and applying
// particle events to particles and beam events to the beam.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "particle/particle.h"
#include "particle/particle_beam.h"
#include "particle/particle_event.h"

namespace {

constexpr std::int32_t kParticleEventTimerKind = 17;  // internal kinds
constexpr std::int32_t kBeamEventTimerKind = 1;

// Adds `event` to a list of chain heads by its effective time. The list owns the event even
// when it cannot grow.
template <class Event>
void AddToChains(std::vector<Event*>& chains, Event* event) {
    for (Event*& head : chains) {
        if (head->GetEffectiveTime() == event->GetEffectiveTime()) {
            event->SetNextInChain(head);
            head = event;
            return;
        }
    }
    try {
        chains.push_back(event);
    } catch (...) {
        delete event;
        throw;
    }
}

template <class Event>
void DeleteChains(std::vector<Event*>& chains) {
    for (Event* head : chains) {
        for (CEventBase* event = head; event != nullptr;) {
            CEventBase* next = event->GetNextInChain();
            delete event;
            event = next;
        }
    }
    chains.clear();
}

// By effective time; an edit can leave a time that is not a number, which goes last.
template <class Event>
void SortChains(std::vector<Event*>& chains) {
    std::stable_sort(chains.begin(), chains.end(), [](const Event* a, const Event* b) {
        const float ta = a->GetEffectiveTime();
        const float tb = b->GetEffectiveTime();
        return std::isnan(tb) ? !std::isnan(ta) : ta < tb;
    });
}

template <class Event>
void LinkChains(const std::vector<Event*>& chains) {
    for (std::size_t i = 0; i < chains.size(); ++i) {
        for (CEventBase* event = chains[i]; event != nullptr; event = event->GetNextInChain()) {
            for (std::size_t j = i + 1; j < chains.size(); ++j) {
                CEventBase* later = chains[j];
                while (later != nullptr && later->GetInternalKind() != event->GetInternalKind())
                    later = later->GetNextInChain();
                if (later == nullptr) continue;
                event->SetRampTarget(later->GetFade() ? later : nullptr);
                break;
            }
        }
    }
}

// Every event's ramp target cleared, so that linking again leaves none pointing at an event
// that no longer follows it (linking keeps the target of an event with no later one of its
// kind).
template <class Event>
void ClearRampTargets(const std::vector<Event*>& chains) {
    for (Event* head : chains)
        for (CEventBase* event = head; event != nullptr; event = event->GetNextInChain()) event->SetRampTarget(nullptr);
}

// Takes the event out of its chain (the entry goes when the chain empties). False when the
// list does not hold it.
template <class Event>
bool Unchain(std::vector<Event*>& chains, CEventBase* event) {
    for (auto entry = chains.begin(); entry != chains.end(); ++entry) {
        if (*entry == event) {
            if (event->GetNextInChain() != nullptr) {
                *entry = static_cast<Event*>(event->GetNextInChain());
            } else {
                chains.erase(entry);
            }
            event->SetNextInChain(nullptr);
            return true;
        }
        for (CEventBase* before = *entry; before->GetNextInChain() != nullptr; before = before->GetNextInChain()) {
            if (before->GetNextInChain() == event) {
                before->SetNextInChain(event->GetNextInChain());
                event->SetNextInChain(nullptr);
                return true;
            }
        }
    }
    return false;
}

// Every event of the list but `removed`, chain by chain, with its chain and ramp links
// cleared; the list is left empty with room for them all.
template <class Event>
std::vector<Event*> TakeApart(std::vector<Event*>& chains, const CEventBase* removed) {
    std::vector<Event*> kept;
    for (Event* head : chains) {
        for (CEventBase* event = head; event != nullptr;) {
            CEventBase* next = event->GetNextInChain();
            event->SetNextInChain(nullptr);
            event->SetRampTarget(nullptr);
            if (event != removed) kept.push_back(static_cast<Event*>(event));
            event = next;
        }
    }
    chains.clear();
    chains.reserve(kept.size());
    return kept;
}

}  // namespace

void CParticleBeam::DeleteEvents() {
    DeleteChains(particleEvents_);
    DeleteChains(beamEvents_);
}

void CParticleBeam::AddParticleEvent(CParticleEvent* event) {
    event->SetEffectiveTime(SampleValueRange(event->TimeRange()));
    AddToChains(particleEvents_, event);
}

void CParticleBeam::AddBeamEvent(CParticleBeamEvent* event) { AddToChains(beamEvents_, event); }

void CParticleBeam::SortEvents() {
    SortChains(particleEvents_);
    SortChains(beamEvents_);
    state_.beamEventCursor = 0;
}

void CParticleBeam::LinkEvents() {
    LinkChains(particleEvents_);
    LinkChains(beamEvents_);
}

void CParticleBeam::RewindParticles() {
    for (lru_obj_s* node = lru_obj_s::Next(&live_); node != &live_; node = lru_obj_s::Next(node)) {
        CParticle* particle = CParticle::FromNode(node);
        particle->eventCursor = 0;
        particle->nextEventTime = 0.0f;
    }
}

// ---- Edits through the sets ---------------------------------------------------------------------
// A particle-event edit restarts the particles' timelines; a beam-event edit restarts the
// beam's (its cursor); neither touches the other's.

void CParticleBeam::ParticleEventsEdited() {
    SortChains(particleEvents_);
    ClearRampTargets(particleEvents_);
    LinkChains(particleEvents_);
    RewindParticles();
}

void CParticleBeam::BeamEventsEdited() {
    SortChains(beamEvents_);
    ClearRampTargets(beamEvents_);
    LinkChains(beamEvents_);
    state_.beamEventCursor = 0;
}

void CParticleBeam::TakeEvent(CEventBase* event) {
    if (CEventBase::IsBeamKind(event->GetEventType())) {
        auto* beamEvent = static_cast<CParticleBeamEvent*>(event);
        beamEvent->SetEffectiveTime(SampleValueRange(beamEvent->TimeRange()));
        AddBeamEvent(beamEvent);
        BeamEventsEdited();
        return;
    }
    AddParticleEvent(static_cast<CParticleEvent*>(event));
    ParticleEventsEdited();
}

void CParticleBeam::RemoveEvent(CEventBase* event) {
    if (CEventBase::IsBeamKind(event->GetEventType())) {
        // Beam events keep the effective times they have.
        for (CParticleBeamEvent* kept : TakeApart(beamEvents_, event)) AddBeamEvent(kept);
        delete event;
        BeamEventsEdited();
        return;
    }
    for (CParticleEvent* kept : TakeApart(particleEvents_, event)) AddParticleEvent(kept);
    delete event;
    ParticleEventsEdited();
}

void CParticleBeam::OnEventTimeChanged(CEventBase* event) {
    if (CEventBase::IsBeamKind(event->GetEventType())) {
        auto* beamEvent = static_cast<CParticleBeamEvent*>(event);
        beamEvent->SetEffectiveTime(SampleValueRange(beamEvent->TimeRange()));
        // The list must stay in time order for the cursor to find what is due.
        if (Unchain(beamEvents_, event)) {
            AddBeamEvent(beamEvent);
            BeamEventsEdited();
        }
        return;
    }
    if (!Unchain(particleEvents_, event)) return;
    AddParticleEvent(static_cast<CParticleEvent*>(event));
    ParticleEventsEdited();
}

void CParticleBeam::OnEventFadeChanged(CEventBase* event) {
    if (CEventBase::IsBeamKind(event->GetEventType())) {
        LinkChains(beamEvents_);
        return;
    }
    OnParticleEventChanged();
}

void CParticleBeam::OnParticleEventChanged() {
    LinkChains(particleEvents_);
    RewindParticles();
}

// ---- Applying ----------------------------------------------------------------------------------

void CParticleBeam::ApplyParticleChain(CParticle& particle, CParticleEvent* head) {
    for (CParticleEvent* event = head; event != nullptr; event = event->NextInChain())
        if (event->GetInternalKind() != kParticleEventTimerKind) event->Apply(particle);
    // The legacy SPEED event sets the velocity itself.
    if (!lumi::kLegacy && particle.speedChanged && particle.angleChanged) particle.RebuildVelocityFromSpeed();
    // Last, so that the clock it sets holds for the particle's next chain.
    for (CParticleEvent* event = head; event != nullptr; event = event->NextInChain())
        if (event->GetInternalKind() == kParticleEventTimerKind) event->Apply(particle);
}

void CParticleBeam::SetNextEventTime(CParticle& particle) const {
    const auto cursor = static_cast<std::size_t>(particle.eventCursor);
    particle.nextEventTime = cursor < particleEvents_.size()
                                 ? particleEvents_[cursor]->GetEffectiveTime() * particle.lifetime
                                 : kNoEventPending;
}

void CParticleBeam::ApplySpawnEvents(CParticle& particle) {
    particle.eventCursor = 0;
    if (!particleEvents_.empty() && particleEvents_.front()->GetEffectiveTime() == 0.0f) {
        ApplyParticleChain(particle, particleEvents_.front());
        particle.eventCursor = 1;
    }
    SetNextEventTime(particle);
}

void CParticleBeam::AdvanceParticleEvents(CParticle& particle) {
    const std::size_t count = particleEvents_.size();
    const auto cursor = static_cast<std::size_t>(particle.eventCursor);
    if (cursor < count && particle.eventClock >= particleEvents_[cursor]->GetEffectiveTime() * particle.lifetime) {
        const float clock = particle.eventClock;
        ApplyParticleChain(particle, particleEvents_[cursor]);
        if (particle.eventClock == clock) {
            particle.eventCursor = static_cast<std::int32_t>(cursor + 1);
        } else {
            // The chain just before the new clock is applied again next.
            std::size_t due = 0;
            while (due < count && particleEvents_[due]->GetEffectiveTime() * particle.lifetime < particle.eventClock)
                ++due;
            particle.eventCursor = static_cast<std::int32_t>(due > 0 ? due - 1 : 0);
        }
    }
    SetNextEventTime(particle);
}

void CParticleBeam::ApplyBeamEvents() {
    const std::size_t count = beamEvents_.size();
    // A normal timeline applies each chain at most twice per tick (once more after an
    // EVENTTIMER jump back); an EVENTTIMER that keeps jumping ahead of itself stops here.
    std::size_t applications = 4 * count + 4;
    while (applications-- > 0) {
        const auto cursor = static_cast<std::size_t>(state_.beamEventCursor);
        if (cursor >= count || state_.beamClock < beamEvents_[cursor]->GetEffectiveTime()) return;
        CParticleBeamEvent* head = beamEvents_[cursor];
        const float clock = state_.beamClock;
        for (CParticleBeamEvent* event = head; event != nullptr; event = event->NextInChain()) {
            if (event->GetInternalKind() == kBeamEventTimerKind) {
                state_.emitSpeedOffset = 0.0f;
                state_.emitAngleOffset = 0.0f;
            } else {
                event->Apply(*this);
            }
        }
        for (CParticleBeamEvent* event = head; event != nullptr; event = event->NextInChain())
            if (event->GetInternalKind() == kBeamEventTimerKind) event->Apply(*this);
        if (state_.beamClock == clock) {
            state_.beamEventCursor = static_cast<std::int32_t>(cursor + 1);
            continue;
        }
        std::size_t due = 0;
        while (due < count && beamEvents_[due]->GetEffectiveTime() < state_.beamClock) ++due;
        state_.beamEventCursor = static_cast<std::int32_t>(due > 0 ? due - 1 : 0);
    }
}
