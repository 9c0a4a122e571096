#include "particle/particle_event_set.h"

#include <cmath>

#include "core/exception.h"
#include "particle/particle_event.h"

CParticleEventSet::CParticleEventSet(std::int32_t kind, CParticleBeam* beam) : kind_(kind), beam_(beam) {
    if (beam == nullptr) throw lumi::Exception("invalid particle beam pointer!");
}

CParticleEventSet::~CParticleEventSet() = default;

CEventBase* CParticleEventSet::GetEvent(std::int32_t index) const {
    if (index < 0 || index >= GetEventCount()) return nullptr;
    return events_[static_cast<std::size_t>(index)];
}

bool CParticleEventSet::BindEvent(CEventBase* event) {
    const float time = event->GetTime();
    // A NaN key would break the map's ordering.
    if (std::isnan(time) || !times_.emplace(time, event).second) return false;
    events_.push_back(event);
    event->SetOwningSet(this);
    return true;
}
