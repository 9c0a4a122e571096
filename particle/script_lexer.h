#pragma once
// The particle script lexer: splits script text into tokens and gives each one its kind
// (script_token_kinds.h).
//
// Keywords are found by substring tests on upper-cased text, so they are case-insensitive
// and a token matches every keyword it contains; the order of the tests decides which kind
// wins, and that order is part of the file format (ClassifyToken).
//
// Splitting rules that scripts depend on (keep them): "=" does not end a word, so it must
// stand apart ("POSITION=XYZ" is one token); "(" after white space starts a word, so
// "RANDOM (1,2)" gives the tokens RANDOM, "(1", ",", "2", ")"; a double quote glued to the
// end of a word starts a quoted token that begins with that word's text and has no opening
// quote; a word glued to "//" goes with the comment; a comment that starts between tokens and
// reaches the end of the text without a line feed leaves the token "/".
//
// Pure functions over the given text; any byte values are accepted, the text ends at its NUL.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct script_token_t {
    // Quoted tokens keep their double quotes; tokens classified by keyword are stored
    // upper-cased; numbers and punctuation keep their text as written.
    std::string text;
    std::int32_t type = 0;  // a kToken... kind
};

using script_token_list_t = std::vector<script_token_t>;

// Appends the tokens of the NUL-terminated text, in text order. Null is an empty text.
void Tokenize(const char* text, script_token_list_t& tokens);

// Sets the token's kind; upper-cases its text unless the first character decides the kind.
void ClassifyToken(script_token_t& token);

// Drops a token with empty text; otherwise classifies it and appends it.
void PushToken(script_token_list_t& tokens, script_token_t& token);

// Upper-cases a-z in place (no other byte changes, whatever the C locale).
void UpperCaseToken(std::string& text);

// One rule of the classification, in test order: the first rule that holds gives the kind.
// A rule that lists several keywords is one row per keyword, in the listed order.
struct script_token_rule_t {
    enum Match : std::uint8_t { kContains, kEquals };
    Match match;
    const char* keyword;
    std::int32_t type;
    bool currentOnly = false;  // not a keyword of the legacy language
};

// This build's rules, in test order (script_token_table.cpp).
std::span<const script_token_rule_t> ScriptTokenRules();

// The keywords the block readers tell apart within one kind.
enum class ScriptKeyword : std::uint8_t {
    Position, Coordinates, EmitterLife, EmitterRate, EmitRate, SpawnDir, EmitAngle, EmitSpeed,
    EmitRadius, LifeTime, NumParticles, DelayTimer, AnimRow, AnimCow, AnimTime, AnimTimes,
    AnimActualCount, AnimSize, StartAnimIndex, Gravity, SourceBlendMode, DestBlendMode, AlphaOp,
    ColorOp, BlendOp, SingleParticle, IsAnim, TrackMode, TrackRand, TrackCount, TrackIndex,
    TrackTime, AttachedToEmitter, CircleBeam, CirclePlay, FlipX, FlipY, LockAspect, EmitRand,
    ParticleMode, ParticleAngleType, MuzzleShape, ChgMode, SoundFile, SoundVolume, Sound3D,
    SoundMinDistance, SoundMaxDistance,
};

// Whether the (upper-cased) token text contains the keyword. AnimTime holds for ANIMTIMES as
// well: test AnimTimes first where both matter.
bool HasKeyword(std::string_view text, ScriptKeyword keyword);
