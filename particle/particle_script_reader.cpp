// The particle script reader's upper layer: Compile and its four block parsers, over the
// token list of the lexer and the value readers (script_value_reader.h).
//
//   script      := PARTICLEEMITTER "name" number { system-line* }      (the rest is ignored)
//   system-line := POSITION = xyz | COORDINATES = COORDS_x | EMITTERLIFE = value
//                | EMITTERRATE = value | sound-block | beam-block      (no property after a beam)
//   sound-block := SOUND "name" { (SOUNDFILE = "file" | PLAYSOUND = token | SOUNDVOLUME = value
//                | SOUNDMINDISTANCE = value | SOUNDMAXDISTANCE = value | SOUND3D = bool)* }
//   beam-block  := PARTICLEBEAM "name" { (property | time-spec beam-event
//                | PARTICLE { (time-spec particle-event)* })* }     (no property after an event)
//
// Every error is a ScriptError with the format's message (spelling included); Compile keeps
// the message. A beam or sound whose block fails is deleted, not attached.
#include <cstdio>
#include <exception>
#include <memory>

#include "particle/particle_beam.h"
#include "particle/particle_emitter.h"
#include "particle/particle_event.h"
#include "particle/particle_names.h"
#include "particle/particle_sound.h"
#include "particle/script_enums.h"
#include "particle/script_number.h"
#include "particle/script_token_kinds.h"
#include "particle/script_value_reader.h"

namespace {

constexpr float kParticleTimeUpper = 1.0f;    // particle events: fractions of a life
constexpr float kBeamTimeUpper = 9999.0f;     // beam events: seconds on the beam clock
constexpr std::size_t kMessageBytes = 256;    // an "Unexpected" message holds 255 characters

// `format` holds one %s for the token's text; the message is cut to 255 characters, since a
// token can be the rest of the file (an unterminated quote).
[[noreturn]] void ThrowUnexpected(const char* format, const script_token_t& token) {
    char message[kMessageBytes];
    std::snprintf(message, sizeof(message), format, token.text.c_str());
    throw ScriptError(message);
}

// The token under the cursor must be of `type`; the cursor stays on it.
void CheckToken(script_cursor_t& cursor, std::int32_t type, const char* message) {
    if (CurrentToken(cursor).type != type) throw ScriptError(message);
}

// From a property keyword: past the keyword and its "=", onto the value.
void SkipToValue(script_cursor_t& cursor) {
    NextToken(cursor);
    CheckToken(cursor, kTokenEquals, "Expected equals sign!");
    NextToken(cursor);
}

// From a block's keyword: past its quoted name (`nameMessage` when there is none) and its
// "{" (`braceMessage`), onto the block's first line. Returns the name.
std::string OpenNamedBlock(script_cursor_t& cursor, const char* nameMessage, const char* braceMessage) {
    NextToken(cursor);
    CheckToken(cursor, kTokenString, nameMessage);
    std::string name = StripQuotes(CurrentToken(cursor));
    NextToken(cursor);
    CheckToken(cursor, kTokenOpenBrace, braceMessage);
    NextToken(cursor);
    return name;
}

// Hands each line of a block to `line` with the token it starts on, until the block's "}",
// which it then passes. `line` moves the cursor past its line or throws.
template <class Line>
void ForEachBlockLine(script_cursor_t& cursor, Line line) {
    for (;;) {
        const script_token_t& token = CurrentToken(cursor);
        if (token.type == kTokenCloseBrace) break;
        line(token);
    }
    NextToken(cursor);
}

bool Has(const script_token_t& token, ScriptKeyword keyword) { return HasKeyword(token.text, keyword); }

// The numeric beam properties, in the order their keywords are tested, each with what it
// takes of the value read.
struct number_property_t {
    ScriptKeyword keyword;
    void (*set)(CParticleBeam& beam, const value_range_t& value);
    bool currentOnly = false;  // not a property of the legacy language
};

std::int32_t Whole(const value_range_t& v) { return ScriptToInt32(v.max); }

using B = CParticleBeam;
using V = value_range_t;
constexpr number_property_t kNumberProperties[] = {
    {ScriptKeyword::EmitRate, [](B& b, const V& v) { b.SetEmitRate(&v); }},
    {ScriptKeyword::LifeTime, [](B& b, const V& v) { b.SetLifeTime(&v); }},
    {ScriptKeyword::NumParticles, [](B& b, const V& v) { b.SetNumParticles(ScriptToUInt32(v.max)); }},
    {ScriptKeyword::EmitAngle, [](B& b, const V& v) { b.SetEmitAngle(&v); }},
    {ScriptKeyword::EmitSpeed, [](B& b, const V& v) { b.SetEmitSpeed(&v); }},
    {ScriptKeyword::DelayTimer, [](B& b, const V& v) { b.SetDelayTimer(v.max); }, true},
    {ScriptKeyword::TrackCount, [](B& b, const V& v) { b.SetTrackCount(Whole(v)); }, true},
    {ScriptKeyword::TrackIndex, [](B& b, const V& v) { b.SetTrackIndex(Whole(v)); }, true},
    {ScriptKeyword::TrackTime, [](B& b, const V& v) { b.SetTrackTime(v.max); }, true},
    {ScriptKeyword::AnimRow, [](B& b, const V& v) { b.SetAnimRow(Whole(v)); }, true},
    {ScriptKeyword::AnimCow, [](B& b, const V& v) { b.SetAnimCow(Whole(v)); }, true},
    {ScriptKeyword::AnimTimes, [](B& b, const V& v) { b.SetAnimTimes(v.max); }, true},
    // The cell comes from the pair's first number, not from the keyword; a negative one
    // names no cell.
    {ScriptKeyword::AnimTime,
     [](B& b, const V& v) { b.SetAnimTime(static_cast<std::uint32_t>(ScriptToInt32(v.min)), v.max); }, true},
    {ScriptKeyword::AnimActualCount, [](B& b, const V& v) { b.SetAnimActualCount(Whole(v)); }, true},
    {ScriptKeyword::AnimSize, [](B& b, const V& v) { b.SetAnimSize(Whole(v)); }, true},
    {ScriptKeyword::StartAnimIndex, [](B& b, const V& v) { b.SetStartAnimIndex(Whole(v)); }, true},
};

// The boolean beam properties, in the order their keywords are tested.
struct bool_property_t {
    ScriptKeyword keyword;
    void (CParticleBeam::*set)(std::int32_t on);
    bool currentOnly = false;  // not a property of the legacy language
};

constexpr bool_property_t kBoolProperties[] = {
    {ScriptKeyword::SingleParticle, &B::SetSingleParticle},
    {ScriptKeyword::IsAnim, &B::SetIsAnim, true},
    {ScriptKeyword::TrackMode, &B::SetTrackMode, true},
    {ScriptKeyword::TrackRand, &B::SetTrackRand, true},
    {ScriptKeyword::CircleBeam, &B::SetCircleBeam},
    {ScriptKeyword::FlipX, &B::SetFlipX},
    {ScriptKeyword::FlipY, &B::SetFlipY},
    {ScriptKeyword::LockAspect, &B::SetLockAspect},
    {ScriptKeyword::AttachedToEmitter, &B::SetAttachedToEmitter},
    {ScriptKeyword::EmitRand, &B::SetEmitRand},
    {ScriptKeyword::CirclePlay, &B::SetCirclePlay, true},
};

// The beam properties named by a name of an enumeration (script_enums.h) that have a token
// kind of their own.
struct enum_property_t {
    std::int32_t tokenType;
    const script_enum_table_t* names;
    void (CParticleBeam::*set)(std::int32_t value);
};

constexpr enum_property_t kEnumProperties[] = {
    {kTokenBlendOpProperty, &kBlendOpNames, &B::SetBlendOp},
    {kTokenParticleModeProperty, &kParticleModeNames, &B::SetParticleMode},
    {kTokenAngleTypeProperty, &kAngleTypeNames, &B::SetParticleAngleType},
    {kTokenMuzzleShapeProperty, &kMuzzleShapeNames, &B::SetMuzzleShape},
    {kTokenChgModeProperty, &kChgModeNames, &B::SetChgMode},
};

// The first row whose keyword the token holds; null when none does.
template <class Row, std::size_t N>
const Row* FindProperty(const Row (&rows)[N], const script_token_t& token) {
    for (const Row& row : rows)
        if (InScriptLanguage(row) && Has(token, row.keyword)) return &row;
    return nullptr;
}

// An event made for a script line: its Parse, its time, its fade and its time kind. The parse's
// own errors pass on; any other failure is the reader's.
template <class Event>
std::unique_ptr<Event> ParseEvent(script_cursor_t& cursor, Event* made, const script_time_spec_t& time) {
    std::unique_ptr<Event> event(made);
    if (event == nullptr) throw ScriptError("Unknown event type, or there was an error creating this event.");
    if (time.fade && !event->SupportsFade()) throw ScriptError("Fading is not supported on this event.");
    try {
        event->Parse(cursor);
    } catch (const ScriptError&) {
        throw;
    } catch (const std::exception&) {
        throw ScriptError("Unhandled exception creating event!");
    }
    event->TimeRange() = value_range_t{time.min, time.max, 0.0f};
    event->SetFade(time.fade);
    event->SetTimeKind(time.kind);
    return event;
}

}  // namespace

void CParticleEmitter::ResetScript() {
    name_.clear();
    SetCurPosition(0.0f, 0.0f, 0.0f);
    position_ = xyz_range_t{};
    hasCircleBeam_ = 0;
}

bool CParticleEmitter::Compile(const char* text) {
    try {
        ResetScript();
        script_token_list_t tokens;
        Tokenize(text, tokens);
        if (tokens.size() < 2) throw ScriptError("This script is too small to be valid.");
        script_cursor_t cursor(tokens);
        CheckToken(cursor, kTokenParticleEmitter, "First word must be ParticleEmitter");
        NextToken(cursor);
        CheckToken(cursor, kTokenString, "Must name particle system");
        SetName(AnsiToWideCapped(StripQuotes(CurrentToken(cursor)).c_str(), kNameUnits));
        NextToken(cursor);
        CheckToken(cursor, kTokenNumber, "Must have version number");
        version_ = ReadValueRange(cursor).max;
        CheckToken(cursor, kTokenOpenBrace, "Missing opening brace for ParticleSystem block");
        ParseSystemBlock(cursor);
        const vec3_t drawn = SampleVec3Range(position_);
        SetCurPosition(drawn.x, drawn.y, drawn.z);
        return true;
    } catch (const ScriptError& error) {
        compileError_ = error.what();
    } catch (const std::exception&) {
        compileError_ = "Unhandled exception in CParticleEmitter::Compile.";
    }
    ResetScript();
    return false;
}

bool CParticleEmitter::ParseSystemBlock(script_cursor_t& cursor) {
    NextToken(cursor);
    bool beamSeen = false;
    ForEachBlockLine(cursor, [&](const script_token_t& token) {
        switch (token.type) {
            case kTokenSound: {
                // Parsed apart from the emitter: a sound of a name already taken is dropped
                // whole, without touching the one that has the name.
                auto sound = std::make_unique<CParticleSound>(nullptr);
                ParseSoundBlock(cursor, *sound);
                const std::string name = sound->GetName();
                sounds_.try_emplace(name, std::move(sound));
                break;
            }
            case kTokenParticleBeam: {
                beamSeen = true;
                std::unique_ptr<CParticleBeam> beam = NewBeam();
                beam->SetCoordinates(coordinates_);
                ParseBeamBlock(cursor, *beam);
                if (beam->GetCircleBeam()) hasCircleBeam_ = 1;
                beams_.push_back(std::move(beam));
                break;
            }
            case kTokenPosition:
            case kTokenCoordinates:
            case kTokenEmitterProperty:
                if (beamSeen)
                    throw ScriptError("Cannot specify any particle emitter properties after specifying particle beam.");
                SkipToValue(cursor);
                if (token.type == kTokenPosition) {
                    position_ = ReadXYZRange(cursor);
                } else if (token.type == kTokenCoordinates) {
                    coordinates_ = ReadCoordsType(cursor);
                } else if (Has(token, ScriptKeyword::EmitterLife)) {
                    life_ = ReadValueRange(cursor).max;
                } else {
                    rate_ = ReadValueRange(cursor).max;
                }
                break;
            default:
                ThrowUnexpected("Unexpected \"%s\" in Particle System Block!", token);
        }
    });
    return true;
}

bool CParticleEmitter::ParseSoundBlock(script_cursor_t& cursor, CParticleSound& sound) {
    sound.SetName(OpenNamedBlock(cursor, "Must sound name block!", "Expected opening brace for sound block!"));
    ForEachBlockLine(cursor, [&](const script_token_t& token) {
        switch (token.type) {
            case kTokenSoundText: {
                SkipToValue(cursor);
                // Any token is taken as the value; a PLAYSOUND line here means nothing.
                const std::string value = StripQuotes(CurrentToken(cursor));
                if (Has(token, ScriptKeyword::SoundFile)) sound.SetFileName(value);
                NextToken(cursor);
                break;
            }
            case kTokenSoundNumber: {
                SkipToValue(cursor);
                const value_range_t range = ReadValueRange(cursor);
                const float value = RandomInRange(range.min, range.max);
                if (Has(token, ScriptKeyword::SoundVolume)) {
                    sound.SetVolume(value);
                } else if (Has(token, ScriptKeyword::SoundMaxDistance)) {
                    sound.SetMaxDistance(value);
                } else {
                    sound.SetMinDistance(value);
                }
                break;
            }
            case kTokenSound3D:
                SkipToValue(cursor);
                sound.Set3D(ReadBool(cursor));
                break;
            default:
                ThrowUnexpected("Unexpected \"%s\" in Sound Block!", token);
        }
    });
    return true;
}

bool CParticleEmitter::ParseBeamBlock(script_cursor_t& cursor, CParticleBeam& beam) {
    const std::string name =
        OpenNamedBlock(cursor, "Must name particle beam block!", "Expected opening brace for particle beam block!");
    beam.SetNameA(name.c_str());
    bool eventSeen = false;
    ForEachBlockLine(cursor, [&](const script_token_t& token) {
        switch (token.type) {
            case kTokenParticle:
                ParseParticleBlock(cursor, beam);
                break;
            case kTokenFade:
            case kTokenAt:
            case kTokenInitial:
            case kTokenFinal:
                eventSeen = true;
                ParseBeamEventLine(cursor, beam);
                break;
            case kTokenNumberProperty:
            case kTokenVectorProperty:
            case kTokenBlendModeProperty:
            case kTokenTextureOpProperty:
            case kTokenBlendOpProperty:
            case kTokenBoolProperty:
            case kTokenParticleModeProperty:
            case kTokenAngleTypeProperty:
            case kTokenMuzzleShapeProperty:
            case kTokenChgModeProperty:
            case kTokenTexture:
            case kTokenRefPoint:
                if (eventSeen)
                    throw ScriptError("Cannot specify any particle beam properties after specifying events.");
                ParseBeamProperty(cursor, beam);
                break;
            default:
                ThrowUnexpected("Unexpected \"%s\" in Sequence Block!", token);
        }
    });
    beam.SortEvents();
    beam.LinkEvents();
    return true;
}

void CParticleEmitter::ParseBeamProperty(script_cursor_t& cursor, CParticleBeam& beam) {
    const script_token_t& token = CurrentToken(cursor);
    SkipToValue(cursor);
    using K = ScriptKeyword;
    switch (token.type) {
        case kTokenNumberProperty: {
            const value_range_t value = ReadValueRange(cursor);
            const number_property_t* property = FindProperty(kNumberProperties, token);
            if (property == nullptr) throw ScriptError("Unknown particle beam numeric property!");
            property->set(beam, value);
            break;
        }
        case kTokenVectorProperty: {
            const xyz_range_t value = ReadXYZRange(cursor);
            if (Has(token, K::SpawnDir)) break;  // read, and not used
            if (Has(token, K::EmitRadius)) {
                beam.SetEmitRadius(&value);
            } else {
                beam.SetGravity(&value);
            }
            break;
        }
        case kTokenBlendModeProperty:
            (beam.*(Has(token, K::SourceBlendMode) ? &B::SetSourceBlendMode : &B::SetDestBlendMode))(
                ReadBlendMode(cursor));
            break;
        case kTokenTextureOpProperty:
            (beam.*(Has(token, K::AlphaOp) ? &B::SetAlphaOp : &B::SetColorOp))(ReadTextureOp(cursor));
            break;
        case kTokenBoolProperty: {
            const std::int32_t on = ReadBool(cursor) ? 1 : 0;
            if (const bool_property_t* property = FindProperty(kBoolProperties, token)) (beam.*property->set)(on);
            break;
        }
        case kTokenTexture:
            CheckToken(cursor, kTokenString, "Expected filename after texture property.");
            beam.SetTextureA(StripQuotes(CurrentToken(cursor)).c_str());
            NextToken(cursor);
            break;
        case kTokenRefPoint: {
            uv_range_t refPoint = ReadUVRange(cursor);
            const auto drawn = SampleUVRange(refPoint);
            beam.SetRefPoint(drawn.data());
            break;
        }
        default:  // the enumerated properties
            for (const enum_property_t& property : kEnumProperties) {
                if (property.tokenType == token.type) (beam.*property.set)(ReadEnum(cursor, *property.names));
            }
            break;
    }
}

void CParticleEmitter::ParseBeamEventLine(script_cursor_t& cursor, CParticleBeam& beam) {
    const script_time_spec_t time = ReadTimeSpec(cursor, 0.0f, kBeamTimeUpper);
    if constexpr (lumi::kLegacy) {
        const std::int32_t type = CurrentToken(cursor).type;
        if (type != kTokenNumberProperty && type != kTokenEventScalar && type != kTokenEventVector)
            throw ScriptError("Expecting particle beam property after time specifier!");
    }
    std::unique_ptr<CParticleBeamEvent> event = ParseEvent(cursor, CreateBeamEvent(CurrentToken(cursor).text), time);
    event->SetEffectiveTime(SampleValueRange(event->TimeRange()));
    beam.AddBeamEvent(event.release());
}

bool CParticleEmitter::ParseParticleBlock(script_cursor_t& cursor, CParticleBeam& beam) {
    NextToken(cursor);
    CheckToken(cursor, kTokenOpenBrace, "Expected opening brace for particle block!");
    NextToken(cursor);
    ForEachBlockLine(cursor, [&](const script_token_t& token) {
        switch (token.type) {
            case kTokenFade:
            case kTokenAt:
            case kTokenInitial:
            case kTokenFinal: {
                const script_time_spec_t time = ReadTimeSpec(cursor, 0.0f, kParticleTimeUpper);
                const script_token_t& keyword = CurrentToken(cursor);
                if (keyword.type != kTokenEventScalar && keyword.type != kTokenEventVector &&
                    keyword.type != kTokenEventColor)
                    throw ScriptError("Expecting particle property after time specifier!");
                std::unique_ptr<CParticleEvent> event = ParseEvent(cursor, CreateParticleEvent(keyword.text), time);
                beam.AddParticleEvent(event.release());
                break;
            }
            default:
                ThrowUnexpected("Unexpected \"%s\" in Particle Block!", token);
        }
    });
    return true;
}
