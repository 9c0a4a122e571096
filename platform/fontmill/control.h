#pragma once
// Control of the glyph library stand-in for tests, benchmarks and the demo: counters of the
// bitmaps it handed out, switches that delay or refuse rasterisation, and a reset. Product
// code never includes this header. Host thread only, like the engine.
#include <cstdint>

namespace fontmillctl {

struct Counters {
    std::int32_t getBitmapCalls = 0;   // GetBitmap requests, both forms
    std::int32_t bitmapsIssued = 0;    // CFT2GlyphBitmap handed out
    std::int32_t bitmapsReleased = 0;  // ... and released once
    std::int32_t doubleReleases = 0;   // Release calls on a bitmap already released
    std::int32_t legacyIssued = 0;     // STRU_FONT_BITMAP handed out by the legacy GetBitmap
    std::int32_t legacyFreed = 0;
    std::int32_t badFrees = 0;         // FreeBitmap of a record not issued (or freed twice)
    std::int32_t facesInstalled = 0;   // distinct font files installed

    // Bitmaps of either form handed out and not given back yet.
    std::int32_t Outstanding() const { return bitmapsIssued - bitmapsReleased + legacyIssued - legacyFreed; }
};

Counters GetCounters();

// Everything back to a fresh process: faces and bitmaps forgotten, no western font,
// antialiasing on, no switch set, counters zero. Call only while no renderer holds a face.
void Reset();

// Bitmaps requested from now on answer IsLoaded false for their first `polls` calls.
void SetLoadDelay(std::int32_t polls);

inline constexpr std::int32_t kEveryCodeUnit = -1;
inline constexpr std::int32_t kNoFailure = -2;
// GetBitmap (both forms) returns null for requests of this code unit, or of every code unit
// with kEveryCodeUnit, until kNoFailure.
void FailGetBitmap(std::int32_t codeUnit);

// GetFT2FontEngine returns null while this is off, as when FreeType cannot start.
void SetEngineAvailable(bool available);

}  // namespace fontmillctl
