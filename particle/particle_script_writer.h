#pragma once
// The particle script writer: the texts of values, time specifiers, lines and blocks that Save
// (CParticleEmitter), CParticleBeam::WriteScript and CParticleSound::WriteScript put together
// into script text the reader accepts. Each build writes its own language: the beam's block is
// particle_beam_writer.cpp, and legacy/particle_beam_writer_legacy.cpp in the legacy build.
//
// Written form: lines end with a single line feed, indentation is tabs, keywords are upper
// case and "=" stands between blanks. Numbers are the same whatever the C locale.
//
// What is written is what was authored: a beam's NUMPARTICLES, EMITSPEED, EMITANGLE, LIFETIME
// and EMITRADIUS as last set (not as beam events, scaling or a track rectangle changed them),
// every event of the beam's lists, and an event time or event value given as RANDOM(a, b) as
// such. Values the reader draws once (REFPOINT, the sounds' numbers) are written as drawn.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "particle/particle_values.h"

class CParticleBeamEvent;
class CParticleEvent;

// Beam names, texture names and sound file names are written in at most this many bytes.
inline constexpr std::size_t kScriptFileNameBytes = 511;

// 2 for 2, "1.500" for 1.5: three decimals when the fraction (without its sign) is 0.001 or
// more, none otherwise (rounded). A number that is not finite is written as the reader takes
// one beyond the float range: the largest float of its sign (NaN as 0).
std::string FormatNumber(float value);
// One number when both ends are equal, else "random(min,max)".
std::string FormatValueRange(const value_range_t& range);
// "XYZ(x,y,z)", each component a value range.
std::string FormatXYZRange(const xyz_range_t& range);
// "UV(u,v)", each component a value range.
std::string FormatUVRange(const uv_range_t& range);
// "RGBA(r,g,b,a)" when the minimum alpha is 0 or more, else "RGB(r,g,b)".
std::string FormatColorRange(const color_range_t& range);
std::string FormatBool(std::uint8_t value);  // "TRUE" or "FALSE"

// The name of the first row of the enumeration holding the value; "" when none does.
std::string FormatBlendMode(std::int32_t value);
std::string FormatTextureOp(std::int32_t value);
std::string FormatBlendOp(std::int32_t value);
std::string FormatCoordsType(std::int32_t value);
std::string FormatParticleMode(std::int32_t value);
std::string FormatParticleAngleType(std::int32_t value);
std::string FormatMuzzleShape(std::int32_t value);
std::string FormatChgMode(std::int32_t value);

// The time specifier of an event line, ended by one blank: "INITIAL " at time 0, "FINAL "
// (or "FADE SO FINAL ") at the end of a particle's life (`final`), else "AT t " or
// "FADE SO AT t ", t a value range.
std::string FormatTimeSpec(bool fade, bool initial, bool final, const value_range_t& time);

// Appends a line feed, the indent and "keyword = value" (the value quoted with `quoted`).
void AppendLine(std::string& text, const std::string& indent, const char* keyword, const std::string& value,
                bool quoted = false);

// Appends a line feed, the indent and `keyword "name"`, then a line feed, the indent and "{".
void AppendBlockHead(std::string& text, const std::string& indent, const char* keyword, const std::string& name);
// Appends the PARTICLE block of a beam's particle events at `indent`: each kind that has
// events, in the order of the kind ids, its events in time order (events of one time in the
// order they were added) and a line feed.
void AppendParticleBlock(std::string& text, const std::string& indent, const std::vector<CParticleEvent*>& chains);
// Appends a beam's beam events at `indent`: every beam kind in the order of the kind ids, its
// events ordered as AppendParticleBlock's, then a line feed (also for a kind without events).
void AppendBeamEvents(std::string& text, const std::string& indent, const std::vector<CParticleBeamEvent*>& chains);
