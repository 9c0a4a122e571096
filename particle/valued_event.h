#pragma once
// CValuedEvent: the value part every event kind shares: a value record of one type, its
// SetValue and GetValue, and its Parse (keyword check, "=", value). `Base` is
// CParticleEvent or CParticleBeamEvent.
#include <cstdint>
#include <cstring>
#include <string>

#include "particle/particle_event.h"
#include "particle/script_cursor.h"
#include "particle/script_value_reader.h"

namespace valued_event {

// Reads "=" and the value from a property keyword.
inline void ReadAssigned(script_cursor_t& cursor, value_range_t& value) { value = ReadAssignedValue(cursor); }
inline void ReadAssigned(script_cursor_t& cursor, color_range_t& value) { value = ReadAssignedColor(cursor); }
inline void ReadAssigned(script_cursor_t& cursor, xyz_range_t& value) { value = ReadAssignedXYZ(cursor); }

// One value given for both ends of the range.
inline void AssignBothEnds(value_range_t& range, const void* data) {
    std::memcpy(&range.min, data, sizeof(float));
    range.max = range.min;
}
inline void AssignBothEnds(color_range_t& range, const void* data) {
    std::memcpy(&range.min, data, sizeof(color4_t));
    range.max = range.min;
}
inline void AssignBothEnds(xyz_range_t& range, const void* data) {
    std::memcpy(&range.min, data, sizeof(vec3_t));
    range.max = range.min;
}

// An event's ramp target as the event's own class: a target always has the event's internal
// kind, hence its class. Null without one.
template <class Event>
Event* RampTargetOf(Event& event) {
    return static_cast<Event*>(event.GetRampTarget());
}

}  // namespace valued_event

template <class Base, class Range, std::int32_t kValueType>
class CValuedEvent : public Base {
public:
    // `parseMessage` is thrown when Parse meets a keyword without `keyword` in it.
    CValuedEvent(std::int32_t internalKind, const char* keyword, const char* parseMessage, bool supportsFade)
        : Base(internalKind, keyword), parseMessage_(parseMessage), supportsFade_(supportsFade) {}

    std::int32_t GetValueType() override { return kValueType; }
    const void* GetValue() override { return &value_; }
    bool SetValue(std::int32_t type, bool whole, const void* data) override {
        if (type != kValueType || data == nullptr) return false;
        Range value = value_;
        if (whole) {
            std::memcpy(&value, data, sizeof(Range));
        } else {
            valued_event::AssignBothEnds(value, data);
        }
        if (!IsFiniteRange(value)) return false;
        value_ = value;
        this->OnValueChanged();
        return true;
    }
    bool SupportsFade() override { return supportsFade_; }
    bool Parse(script_cursor_t& cursor) override {
        if (CurrentToken(cursor).text.find(this->GetKeyword()) == std::string::npos) throw ScriptError(parseMessage_);
        valued_event::ReadAssigned(cursor, value_);
        return true;
    }

    Range& Value() { return value_; }

private:
    Range value_{};
    const char* parseMessage_;
    bool supportsFade_;
};
