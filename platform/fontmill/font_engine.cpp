// The glyph library over FreeType: faces by path, glyphs rendered on request.
#include <algorithm>
#include <cstring>
#include <string>

#include "platform/fontmill/engine_state.h"
#include "platform/win32/files.h"
#include "platform/win32/text.h"

namespace {

constexpr std::size_t kRequestPathUnits = 260;
constexpr std::uint16_t kLastWesternCodeUnit = 254;

std::u16string RequestPath(const WCHAR* path) {
    if (path == nullptr) return {};
    const WCHAR* end = std::find(path, path + kRequestPathUnits, u'\0');
    return std::u16string(path, end);
}

bool HasCharacter(FT_Face face, unsigned long codePoint) { return FT_Get_Char_Index(face, codePoint) != 0; }

// Renders one glyph of `face` into `out` and `pixels` (rows top first, pitch positive).
bool Rasterise(FT_Face face, std::uint16_t codeUnit, std::uint8_t size, bool antialias, STRU_FONT_BITMAP& out,
               std::vector<std::uint8_t>& pixels) {
    if (!HasCharacter(face, codeUnit)) return false;
    if (FT_Set_Pixel_Sizes(face, 0, size) != 0) return false;
    const FT_Int32 flags =
        FT_LOAD_RENDER | (antialias ? FT_LOAD_TARGET_NORMAL : (FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME));
    if (FT_Load_Char(face, codeUnit, flags) != 0) return false;
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    // Embedded colour or sub-pixel images are nothing the renderer can pack.
    if (bitmap.pixel_mode != FT_PIXEL_MODE_MONO && bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) return false;

    const auto rows = static_cast<std::int32_t>(bitmap.rows);
    const auto pitch = static_cast<std::int32_t>(bitmap.pitch < 0 ? -bitmap.pitch : bitmap.pitch);
    pixels.assign(static_cast<std::size_t>(rows) * static_cast<std::size_t>(pitch), 0);
    for (std::int32_t row = 0; row < rows; ++row) {
        // An upward flow stores the bottom row first.
        const std::int32_t stored = bitmap.pitch < 0 ? rows - 1 - row : row;
        std::memcpy(pixels.data() + static_cast<std::size_t>(row) * pitch,
                    bitmap.buffer + static_cast<std::ptrdiff_t>(stored) * pitch, static_cast<std::size_t>(pitch));
    }
    const FT_Size_Metrics& metrics = face->size->metrics;
    out.rows = rows;
    out.width = static_cast<std::int32_t>(bitmap.width);
    out.pitch = pitch;
    out.grayLevels = bitmap.pixel_mode == FT_PIXEL_MODE_GRAY ? bitmap.num_grays : 2;
    out.pixelMode = bitmap.pixel_mode == FT_PIXEL_MODE_GRAY ? kFT2PixelModeGray : kFT2PixelModeMono;
    out.left = slot->bitmap_left;
    out.top = -slot->bitmap_top;
    out.advance = static_cast<std::int32_t>((slot->advance.x + 32) >> 6);
    out.lineHeight = static_cast<std::int32_t>((metrics.height + 32) >> 6);
    out.ascender = static_cast<float>(metrics.ascender) / 64.0f;
    out.descender = static_cast<float>(metrics.descender) / 64.0f;
    out.buffer = pixels.empty() ? nullptr : pixels.data();
    out.bufferSize = static_cast<std::int32_t>(pixels.size());
    return true;
}

// The face that draws the request: the western face for code units up to 254 when one is
// set and has the glyph, else the request's own. Null when neither can be installed.
FT_Face FaceFor(CFT2FontEngine& engine, const STRU_BITMAPGET_INFO& request) {
    fontmill_state_t& state = FontmillState();
    if (!state.westernPath.empty() && request.codeUnit <= kLastWesternCodeUnit) {
        CFT2Face* western = engine.InstallFontByPath(state.westernPath.c_str());
        if (western != nullptr && western->IsCodepointAvailable(request.codeUnit)) return western->Handle();
    }
    const std::u16string path = RequestPath(request.path);
    CFT2Face* face = engine.InstallFontByPath(path.c_str());
    return face != nullptr ? face->Handle() : nullptr;
}

// Counts the request; false when a test refuses it or it cannot give a glyph.
bool Admit(const STRU_BITMAPGET_INFO& request) {
    fontmill_state_t& state = FontmillState();
    ++state.counters.getBitmapCalls;
    if (state.failingCodeUnit == fontmillctl::kEveryCodeUnit || state.failingCodeUnit == request.codeUnit)
        return false;
    return request.size != 0;
}

}  // namespace

// ---- State ----

fontmill_state_t::fontmill_state_t() {
    if (FT_Init_FreeType(&library) != 0) library = nullptr;
}

fontmill_state_t::~fontmill_state_t() {
    faces.clear();
    if (library != nullptr) FT_Done_FreeType(library);
}

void fontmill_state_t::Clear() {
    faces.clear();
    westernPath.clear();
    bitmaps.clear();
    legacyBitmaps.clear();
    counters = fontmillctl::Counters{};
    loadDelay = 0;
    failingCodeUnit = fontmillctl::kNoFailure;
    available = true;
    engine.antialias_ = 1;
    engine.initialized_ = false;
}

fontmill_state_t& FontmillState() {
    static fontmill_state_t state;
    return state;
}

CFT2FontEngine* GetFT2FontEngine() {
    fontmill_state_t& state = FontmillState();
    if (!state.available || state.library == nullptr) return nullptr;
    return &state.engine;
}

// ---- CFT2Face ----

CFT2Face::~CFT2Face() { FT_Done_Face(face_); }

bool CFT2Face::IsCodepointAvailable(unsigned long codePoint) const { return HasCharacter(face_, codePoint); }

// ---- CFT2GlyphBitmap ----

bool CFT2GlyphBitmap::IsLoaded() {
    if (pollsLeft_ > 0) {
        --pollsLeft_;
        return false;
    }
    loaded_ = true;
    return !released_;
}

void CFT2GlyphBitmap::Release() {
    fontmill_state_t& state = FontmillState();
    if (released_) {
        ++state.counters.doubleReleases;
        return;
    }
    released_ = true;
    ++state.counters.bitmapsReleased;
    pixels_ = {};
    data_.buffer = nullptr;
    data_.bufferSize = 0;
}

// ---- CFT2FontEngine ----

CFT2Face* CFT2FontEngine::InstallFontByPath(const WCHAR* path) {
    fontmill_state_t& state = FontmillState();
    if (path == nullptr || path[0] == u'\0' || state.library == nullptr) return nullptr;
    const std::u16string key(path);
    auto found = state.faces.find(key);
    if (found != state.faces.end()) return found->second.get();
    // A failed file is not remembered: it may appear later.
    const std::string file = win32::ResolvePathCaseInsensitive(win32::Utf16ToUtf8(key));
    FT_Face face = nullptr;
    if (FT_New_Face(state.library, file.c_str(), 0, &face) != 0) return nullptr;
    if (FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0) {
        FT_Done_Face(face);
        return nullptr;
    }
    ++state.counters.facesInstalled;
    return state.faces.emplace(key, std::make_unique<CFT2Face>(face)).first->second.get();
}

CFT2GlyphBitmap* CFT2FontEngine::GetBitmap(STRU_BITMAPGET_INFO& request) {
    if (!Admit(request)) return nullptr;
    FT_Face face = FaceFor(*this, request);
    if (face == nullptr) return nullptr;
    std::unique_ptr<CFT2GlyphBitmap> bitmap(new CFT2GlyphBitmap());
    if (!Rasterise(face, request.codeUnit, request.size, GetAntialias(), bitmap->data_, bitmap->pixels_))
        return nullptr;
    fontmill_state_t& state = FontmillState();
    bitmap->pollsLeft_ = state.loadDelay;
    bitmap->loaded_ = state.loadDelay == 0;
    state.bitmaps.push_back(std::move(bitmap));
    ++state.counters.bitmapsIssued;
    return state.bitmaps.back().get();
}

void CFT2FontEngine::SetWesternFontPath(const WCHAR* path) {
    FontmillState().westernPath = path != nullptr ? std::u16string(path) : std::u16string();
}

void CFT2FontEngine::SetAntialias(bool on) { antialias_ = on ? 1 : 0; }

bool CFT2FontEngine::Init(std::int32_t) {
    initialized_ = FontmillState().library != nullptr;
    return initialized_;
}

STRU_FONT_BITMAP* CFT2FontEngine::GetBitmap(STRU_BITMAPGET_INFO& request, bool) {
    if (!Admit(request)) return nullptr;
    FT_Face face = FaceFor(*this, request);
    if (face == nullptr) return nullptr;
    auto bitmap = std::make_unique<legacy_bitmap_t>();
    if (!Rasterise(face, request.codeUnit, request.size, GetAntialias(), bitmap->data, bitmap->pixels)) return nullptr;
    fontmill_state_t& state = FontmillState();
    STRU_FONT_BITMAP* data = &bitmap->data;
    state.legacyBitmaps.emplace(data, std::move(bitmap));
    ++state.counters.legacyIssued;
    return data;
}

void CFT2FontEngine::FreeBitmap(STRU_FONT_BITMAP* bitmap) {
    fontmill_state_t& state = FontmillState();
    if (state.legacyBitmaps.erase(bitmap) == 0) {
        ++state.counters.badFrees;
        return;
    }
    ++state.counters.legacyFreed;
}
