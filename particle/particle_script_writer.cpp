// The particle script writer: value texts, event lines, the sound's block, the emitter's block
// and Save. The beam's block is each language's own: particle_beam_writer.cpp, and
// legacy/particle_beam_writer_legacy.cpp in the legacy build.
#include "particle/particle_script_writer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "particle/particle_beam.h"
#include "particle/particle_emitter.h"
#include "particle/particle_event.h"
#include "particle/particle_names.h"
#include "particle/particle_sound.h"
#include "particle/script_enums.h"
#include "platform/win32/files.h"

namespace {

constexpr std::size_t kReservedBytes = 32768;
constexpr std::size_t kEmitterNameBytes = 259;

// The number a script text can hold for `value`. The setters refuse numbers that are not
// finite, but a host may write one through a range getter's pointer: it is written as the
// reader takes a number beyond the float range, the largest float of its sign (NaN as 0).
float Writable(float value) {
    if (std::isnan(value)) return 0.0f;
    if (std::isinf(value)) return std::copysign(std::numeric_limits<float>::max(), value);
    return value;
}

// `value` in fixed notation with `decimals` decimals, in the "C" locale's form.
std::string FixedText(float value, int decimals) {
    char text[64];
    const std::to_chars_result result = std::to_chars(text, text + sizeof(text), static_cast<double>(Writable(value)),
                                                      std::chars_format::fixed, decimals);
    return std::string(text, result.ptr);
}

std::string Pair(float min, float max) { return FormatValueRange(value_range_t{min, max, 0.0f}); }

std::string EventValueText(IParticleEvent& event) {
    const void* value = event.GetValue();
    switch (event.GetValueType()) {
        case kEventValueSingle: return FormatValueRange(*static_cast<const value_range_t*>(value));
        case kEventValueColor: return FormatColorRange(*static_cast<const color_range_t*>(value));
        case kEventValueXYZ: return FormatXYZRange(*static_cast<const xyz_range_t*>(value));
        default: return '"' + std::string(static_cast<const char*>(value)) + '"';
    }
}

// Every event of one kind in a list of chains, in time order; events of one time in the order
// they were added (a chain holds its latest event first), so that reading the text back
// chains them as they were.
template <class Event>
std::vector<Event*> EventsOfKind(const std::vector<Event*>& chains, std::int32_t kind) {
    std::vector<Event*> events;
    for (Event* head : chains) {
        const std::size_t chainStart = events.size();
        for (CEventBase* event = head; event != nullptr; event = event->GetNextInChain())
            if (event->GetEventType() == kind) events.push_back(static_cast<Event*>(event));
        std::reverse(events.begin() + static_cast<std::ptrdiff_t>(chainStart), events.end());
    }
    std::stable_sort(events.begin(), events.end(), [](const Event* a, const Event* b) {
        return a->GetEffectiveTime() < b->GetEffectiveTime();
    });
    return events;
}

// One event line per event, then the line feed that closes the kind's group.
template <class Event>
void AppendEvents(std::string& text, const std::string& indent, const std::vector<Event*>& events, float endOfLife) {
    for (Event* event : events) {
        const value_range_t& time = event->TimeRange();
        const bool fixed = time.min == time.max;
        const std::string spec =
            FormatTimeSpec(event->GetFade(), fixed && time.min == 0.0f, fixed && time.min == endOfLife, time);
        text += '\n';
        text += indent;
        text += spec;
        text += EventKeyword(event->GetEventType());
        text += " = ";
        text += EventValueText(*event);
    }
    text += '\n';
}

}  // namespace

// ---- Values ----------------------------------------------------------------------------------------

std::string FormatNumber(float value) {
    value = Writable(value);
    double whole = 0.0;
    const double fraction = std::fabs(std::modf(static_cast<double>(value), &whole));
    return FixedText(value, fraction >= 0.001 ? 3 : 0);
}

std::string FormatValueRange(const value_range_t& range) {
    if (range.min == range.max) return FormatNumber(range.min);
    return "random(" + FormatNumber(range.min) + "," + FormatNumber(range.max) + ")";
}

std::string FormatXYZRange(const xyz_range_t& range) {
    return "XYZ(" + Pair(range.min.x, range.max.x) + "," + Pair(range.min.y, range.max.y) + "," +
           Pair(range.min.z, range.max.z) + ")";
}

std::string FormatUVRange(const uv_range_t& range) {
    return "UV(" + Pair(range.minU, range.maxU) + "," + Pair(range.minV, range.maxV) + ")";
}

std::string FormatColorRange(const color_range_t& range) {
    std::string rgb = Pair(range.min.r, range.max.r) + "," + Pair(range.min.g, range.max.g) + "," +
                      Pair(range.min.b, range.max.b);
    if (range.min.a >= 0.0f) return "RGBA(" + rgb + "," + Pair(range.min.a, range.max.a) + ")";
    return "RGB(" + rgb + ")";
}

std::string FormatBool(std::uint8_t value) { return value ? "TRUE" : "FALSE"; }

std::string FormatBlendMode(std::int32_t value) { return FindEnumName(kBlendModeNames, value); }
std::string FormatTextureOp(std::int32_t value) { return FindEnumName(kTextureOpNames, value); }
std::string FormatBlendOp(std::int32_t value) { return FindEnumName(kBlendOpNames, value); }
std::string FormatCoordsType(std::int32_t value) { return FindEnumName(kCoordsTypeNames, value); }
std::string FormatParticleMode(std::int32_t value) { return FindEnumName(kParticleModeNames, value); }
std::string FormatParticleAngleType(std::int32_t value) { return FindEnumName(kAngleTypeNames, value); }
std::string FormatMuzzleShape(std::int32_t value) { return FindEnumName(kMuzzleShapeNames, value); }
std::string FormatChgMode(std::int32_t value) { return FindEnumName(kChgModeNames, value); }

std::string FormatTimeSpec(bool fade, bool initial, bool final, const value_range_t& time) {
    if (initial) return "INITIAL ";
    if (final) return fade ? "FADE SO FINAL " : "FINAL ";
    return (fade ? "FADE SO AT " : "AT ") + FormatValueRange(time) + " ";
}

void AppendLine(std::string& text, const std::string& indent, const char* keyword, const std::string& value,
                bool quoted) {
    text += '\n';
    text += indent;
    text += keyword;
    text += " = ";
    if (quoted) text += '"';
    text += value;
    if (quoted) text += '"';
}

// ---- Blocks --------------------------------------------------------------------------------------

void AppendBlockHead(std::string& text, const std::string& indent, const char* keyword, const std::string& name) {
    text += '\n' + indent + keyword + " \"" + name + '"';
    text += '\n' + indent + '{';
}

void AppendParticleBlock(std::string& text, const std::string& indent, const std::vector<CParticleEvent*>& chains) {
    text += '\n' + indent + "PARTICLE";
    text += '\n' + indent + '{';
    const std::string eventIndent = indent + '\t';
    for (std::int32_t kind = kFirstParticleEventKind; kind < kEventKindCount; ++kind) {
        const std::vector<CParticleEvent*> events = EventsOfKind(chains, kind);
        if (!events.empty()) AppendEvents(text, eventIndent, events, 1.0f);
    }
    text += '\n' + indent + '}';
}

// Beam events never end a life: a time of 9999 seconds is no FINAL.
void AppendBeamEvents(std::string& text, const std::string& indent, const std::vector<CParticleBeamEvent*>& chains) {
    for (std::int32_t kind = 0; kind < kFirstParticleEventKind; ++kind)
        AppendEvents(text, indent, EventsOfKind(chains, kind), -1.0f);
}

void CParticleSound::WriteScript(std::string& text, const std::string& indent) {
    const std::string inner = indent + '\t';
    AppendBlockHead(text, indent, "Sound", name_);
    AppendLine(text, inner, "SOUNDFILE", WideToAnsiCapped(fileName_, kScriptFileNameBytes), true);
    AppendLine(text, inner, "SOUNDVOLUME", FormatNumber(volume_));
    AppendLine(text, inner, "SOUND3D", FormatBool(is3D_));
    AppendLine(text, inner, "SOUNDMinDistance", FormatNumber(minDistance_));
    AppendLine(text, inner, "SOUNDMaxDistance", FormatNumber(maxDistance_));
    text += '\n' + indent + "}\n";
}

// The emitter's header, its sounds (the current build's only) and its beams.
void CParticleEmitter::WriteScript(std::string& text) {
    text += "PARTICLEEMITTER \"" + WideToAnsiCapped(name_, kEmitterNameBytes) + "\" ";
    text += FixedText(version_, 2) + "\n{\n";
    const std::string indent = "\t";
    text += indent + "POSITION = " + FormatXYZRange(position_) + '\n';
    text += indent + "COORDINATES = " + FormatCoordsType(coordinates_) + '\n';
    if constexpr (!lumi::kLegacy) {
        text += indent + "EMITTERLIFE = " + FormatNumber(life_) + '\n';
        text += indent + "EMITTERRATE = " + FormatNumber(rate_) + '\n';
        for (auto& entry : sounds_) entry.second->WriteScript(text, indent);
    }
    for (auto& beam : beams_) beam->WriteScript(text, indent);
    text += "}\n";
}

bool CParticleEmitter::Save(const WCHAR* path) {
    if (path == nullptr) return false;
    // The whole text first: a file is opened (and emptied) only for text that is ready.
    std::string text;
    text.reserve(kReservedBytes);
    WriteScript(text);
    FILE* file = _wfopen(path, u"wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    // A full disk may only show when the buffered text is flushed by the close.
    const bool closed = std::fclose(file) == 0;
    return written && closed;
}
