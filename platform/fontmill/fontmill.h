#pragma once
// Fontmill: the maker's glyph library, here over FreeType. It installs font files and
// rasterises one glyph at a time; the renderer reaches it through GetFT2FontEngine().
//
// Units and signs: the size byte of a request is the pixel height of the em square; a glyph
// bitmap's left offset is from the pen position to the image's left column, its top offset
// from the baseline to the image's top row, y pointing down (so a letter standing on the
// baseline has a negative top offset); ascender and descender are the face's at that size,
// in pixels, the descender negative; the line height is the face's baseline-to-baseline
// distance. The style byte is part of a request but the stand-in draws every face as it is.
//
// Rasterisation: a bitmap is rendered when requested; IsLoaded reports whether the caller
// may read it (a test switch holds it back for some polls, as a background rasteriser would).
// Anti-aliased bitmaps are grey (pixel mode 2, 256 levels), the others one bit a pixel
// (pixel mode 1, the most significant bit first); SetAntialias applies to later requests.
//
// Lifetime: the engine lives until the process ends; faces live until then (or until the
// control API forgets them), and every bitmap must be released exactly once (the control
// API counts what was issued, released and released twice). Host thread only.
#include <cstdint>
#include <vector>

#include "platform/win32/win32_types.h"

struct FT_FaceRec_;

inline constexpr std::int32_t kFT2PixelModeMono = 1;  // one bit a pixel, MSB first
inline constexpr std::int32_t kFT2PixelModeGray = 2;  // one grey byte a pixel

// One glyph request: the face by its path, the UTF-16 code unit, the size and the style.
struct STRU_BITMAPGET_INFO {
    WCHAR path[260];
    std::uint16_t codeUnit;
    std::uint8_t size;   // pixel height
    std::uint8_t style;  // (style flags & 0xF) | 0x10
};

// What a rasterised glyph gives. The legacy build receives this record itself.
struct STRU_FONT_BITMAP {
    std::int32_t rows = 0;
    std::int32_t width = 0;
    std::int32_t pitch = 0;        // bytes from one row to the next, never negative
    std::int32_t grayLevels = 0;   // 256 for grey images, 2 for one-bit images
    std::int32_t pixelMode = 0;    // kFT2PixelMode*
    std::int32_t left = 0;         // from the pen position to the first column
    std::int32_t top = 0;          // from the baseline to the first row, y down
    std::int32_t advance = 0;      // horizontal advance in pixels
    std::int32_t lineHeight = 0;   // baseline to baseline
    float ascender = 0.0f;         // above the baseline, positive
    float descender = 0.0f;        // below the baseline, negative
    const std::uint8_t* buffer = nullptr;  // rows x pitch bytes, top row first
    std::int32_t bufferSize = 0;
};

// An installed font file. Owned by the engine.
class CFT2Face {
public:
    // Whether the face's Unicode character map has a glyph for the code point.
    bool IsCodepointAvailable(unsigned long codePoint) const;

    // Takes the FreeType face over.
    explicit CFT2Face(FT_FaceRec_* face) : face_(face) {}
    ~CFT2Face();
    CFT2Face(const CFT2Face&) = delete;
    CFT2Face& operator=(const CFT2Face&) = delete;

    FT_FaceRec_* Handle() const { return face_; }

private:
    FT_FaceRec_* face_;
};

// One requested glyph. Owned by the engine; the requester gives it back with Release.
class CFT2GlyphBitmap {
public:
    // False while the glyph is still being rasterised: ask again later.
    bool IsLoaded();
    // A loaded glyph with an image; false for empty glyphs such as the space.
    bool IsValid() const { return loaded_ && data_.width > 0 && data_.rows > 0; }
    // The rasterised glyph; meaningful once IsLoaded is true and until Release.
    const STRU_FONT_BITMAP& GetData() const { return data_; }
    // Gives the bitmap back. Exactly once: a second call is counted, not honoured.
    void Release();

private:
    friend class CFT2FontEngine;
    friend struct fontmill_state_t;
    CFT2GlyphBitmap() = default;

    STRU_FONT_BITMAP data_;
    std::vector<std::uint8_t> pixels_;
    std::int32_t pollsLeft_ = 0;  // IsLoaded calls still answered false
    bool loaded_ = false;
    bool released_ = false;
};

class CFT2FontEngine {
public:
    // The face of the font file, installed on first use and kept by path; null when the
    // file cannot be read or holds no font with a Unicode character map.
    CFT2Face* InstallFontByPath(const WCHAR* path);
    // A glyph of the request's face, at its size, in the current antialias mode. Null for a
    // face that cannot be installed, size 0, a code point FreeType cannot load, or while a
    // test makes requests fail. With a western font path set, code units up to 254 come from
    // that face when it has them.
    CFT2GlyphBitmap* GetBitmap(STRU_BITMAPGET_INFO& request);
    // The face that serves code units up to 254 (null or empty: none).
    void SetWesternFontPath(const WCHAR* path);
    void SetAntialias(bool on);
    bool GetAntialias() const { return antialias_ != 0; }

    // ---- The legacy build's form ----
    // Marks the engine ready; true when FreeType runs.
    bool Init(std::int32_t flags);
    bool IsInitialized() const { return initialized_; }
    // A glyph rasterised at once (`wait` is accepted for the call's shape); null as above.
    // Give it back with FreeBitmap.
    STRU_FONT_BITMAP* GetBitmap(STRU_BITMAPGET_INFO& request, bool wait);
    // Frees a record of the legacy GetBitmap; a record it did not issue is counted and left.
    void FreeBitmap(STRU_FONT_BITMAP* bitmap);

    CFT2FontEngine(const CFT2FontEngine&) = delete;
    CFT2FontEngine& operator=(const CFT2FontEngine&) = delete;

private:
    friend CFT2FontEngine* GetFT2FontEngine();
    friend struct fontmill_state_t;
    CFT2FontEngine() = default;

    std::uint8_t antialias_ = 1;  // the state the renderer reads back
    bool initialized_ = false;
};

// The one engine; null when FreeType cannot start (or a test says so).
CFT2FontEngine* GetFT2FontEngine();
