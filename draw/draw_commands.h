#pragma once
// Draw-command records: what every drawing request of the host becomes. A record is the
// common head (STRU_DRAW_COMMAND_BASE) followed by the geometry of one command type. The
// renderer's drawing operations fill a record and stamp it with a sequence number; the draw
// layers hand it to the batch processors. Records are plain structures without virtual
// operations. In the current build each type comes from its own named pool
// ("STRU_POINT_COMMAND", ...; rectangles, types 3 and 5, share "STRU_RECT_COMMAND"); the
// legacy build takes them from the renderer's typed pools (legacy/cmd_pool_set.h), and its
// records have no display stamp, and a text record names its font with a font description
// (legacy/font_desc.h) instead of a font pair.
//
// Lifetime: a host keeps a record from the renderer's CreatePrimitive to its ReleasePrimitive
// and may submit it any number of times; the renderer's per-frame pools keep theirs for the
// renderer's life. Submitting never copies a record (the alpha-blended processor keeps a
// pointer to it until its frame-end reset), so a submitted record must live until its frame
// has been drawn.
//
// What a queued draw samples is settled when it is queued, whatever the host does before the
// flush:
// - Besides the record's own reference, the renderer holds the record's texture from its
//   first queueing in a frame to that frame's end (CTexMgr::HoldForFrame). Within the frame
//   the texture therefore never goes idle: its atlas cell, video copy and memory stay its
//   own, no other texture is given its cell, and DestroyTexture of it is decided at the frame
//   end (it goes then unless something references it still).
// - Swapping a queued record's texture (SetTexture, AttachTexture, a scratch record reused by
//   DrawTexture) or releasing the record changes later submissions only; the queued draw
//   keeps its texture. A record released while queued is freed at the frame end.
// - Pixels are those of the flush: before it, every held texture's atlas cell and video
//   copy take what the host wrote since they were last copied. A reload of the same size and
//   format keeps the atlas cell; any other gives it up, but a cell given up while a queued
//   draw may sample it is only retired, so that draw shows the old pixels, never another
//   texture's.
// - All of it ends in one place, the frame end after the layers were emptied
//   (CLumiscriber::EndFrameLifetimes): released records, scratch records, frame holds,
//   destructions that waited, retired cells.
//
// Ownership: a line record owns its segment array; a text record owns its font pair (legacy:
// its font description) and the word nodes, word draws and page draw lists of its layout; a
// type-5 or type-7 record holds one reference on its texture; a type-7 record holds its
// emitter until it is released.
//
// Failures: pool exhaustion throws from CMemPool; cloning a text or particle record throws
// lumi::Exception "unsupported". Every operation here takes null and the scratch-command
// value (ScratchCommand()) as "no record". Host thread only.
#include <cstddef>
#include <cstdint>
#include <functional>

#include "core/build_variant.h"
#include "core/lru_list.h"
#include "core/pool_table.h"
#include "core/renderer_interface.h"
#include "draw/font_glyphs.h"
#include "platform/d3d9/d3d9.h"
#include "platform/win32/win32_types.h"

class CD3DFont;
class CD3DTexture;
class CParticleEmitter;

// The command types (kDrawCmd*) and flags (kDrawFlag*) are public (core/renderer_interface.h).
// What grey mode turns every other record's flags into.
inline constexpr std::int32_t kDrawFlagsGreyMode = kDrawFlagGrey | kDrawFlagAlpha;

inline constexpr std::size_t kTextCommandUnits = 256;  // at most 255 code units and a terminator

// The class-level allocation of a command record: from its named pool in the current build.
// The legacy build has none: its records are made only by the renderer's typed pools.
#if LUMI_LEGACY
#define LUMI_COMMAND_RECORD_ALLOCATION(Type)         \
    static void* operator new(std::size_t) = delete; \
    static void operator delete(void*) = delete;
#else
#define LUMI_COMMAND_RECORD_ALLOCATION(Type)                                              \
    static void* operator new(std::size_t size) { return PooledAlloc<Type>(size); } \
    static void operator delete(void* block) noexcept { PooledFree<Type>(block); }
#endif

// The head every record starts with. Field order is fixed (48 bytes where pointers are 4; 44
// in the legacy build).
struct STRU_DRAW_COMMAND_BASE {
    lru_obj_s node;               // linked only while the record sits in an intrusive list
    std::int32_t type = 0;        // kDrawCmd*
    std::int32_t flags = 0;       // kDrawFlag*
    D3DCOLOR color = 0;           // ARGB
    std::uint32_t sequence = 0;   // submission number; depth 1 - sequence x 0.00001
    CD3DTexture* texture = nullptr;  // types 5 and 7: one counted reference; else null
#if !LUMI_LEGACY
    std::int32_t displayStamp = 0;   // g_DisplayStamp when the record was allocated
#endif
};

struct STRU_POINT_COMMAND : STRU_DRAW_COMMAND_BASE {
    LUMI_COMMAND_RECORD_ALLOCATION(STRU_POINT_COMMAND)
    static bool HoldsType(std::int32_t type) { return type == kDrawCmdPoint; }

    std::int32_t x = 0;
    std::int32_t y = 0;
};

struct STRU_LINE_COMMAND : STRU_DRAW_COMMAND_BASE {
    LUMI_COMMAND_RECORD_ALLOCATION(STRU_LINE_COMMAND)
    static bool HoldsType(std::int32_t type) { return type == kDrawCmdLine; }

    STRU_LINE_SEGMENT* segments = nullptr;  // owned (array new); null until the first submission
    std::uint32_t segmentCount = 0;         // segments drawn
    std::uint32_t segmentCapacity = 0;      // segments the array holds
};

struct STRU_TRI_COMMAND : STRU_DRAW_COMMAND_BASE {
    LUMI_COMMAND_RECORD_ALLOCATION(STRU_TRI_COMMAND)
    static bool HoldsType(std::int32_t type) { return type == kDrawCmdTriangle; }

    std::int32_t x1 = 0, y1 = 0;
    std::int32_t x2 = 0, y2 = 0;
    std::int32_t x3 = 0, y3 = 0;
    std::uint8_t filled = 0;  // zero: the three edges only
};

// Types 3 (filled or outlined rectangle) and 5 (textured rectangle).
struct STRU_RECT_COMMAND : STRU_DRAW_COMMAND_BASE {
    LUMI_COMMAND_RECORD_ALLOCATION(STRU_RECT_COMMAND)
    static bool HoldsType(std::int32_t type) { return type == kDrawCmdRect || type == kDrawCmdTexturedRect; }

    RECT source{};       // in the texture; type 5 only
    RECT destination{};  // on the screen
    std::uint8_t filled = 0;  // type 3: zero draws the outline
};

#if !LUMI_LEGACY
// The font pair of a text command: the main font, and a western font that serves code units
// up to 254 when set. The fonts belong to the font manager; the pair only points at them.
class CRenderFont {
public:
    static void* operator new(std::size_t size) { return PooledAlloc<CRenderFont>(size); }
    static void operator delete(void* block) noexcept { PooledFree<CRenderFont>(block); }

    // The glyph of a code unit: from the western font for code units up to 254 when one is
    // set, else from the main font. Null as CD3DFont::GetWord, and without a main font.
    CWordTex* GetWord(WCHAR codeUnit) const;
    // Whether the main font and the western font, when set, know their line metrics.
    bool HasMetrics() const;

    CD3DFont* mainFont = nullptr;
    CD3DFont* westernFont = nullptr;  // null: the main font serves every code unit
};
#endif

// One glyph of a laid-out text, on its page's draw list.
struct STRU_WORD_DRAW : lru_obj_s {
    static void* operator new(std::size_t size) { return PooledAlloc<STRU_WORD_DRAW>(size); }
    static void operator delete(void* block) noexcept { PooledFree<STRU_WORD_DRAW>(block); }
    static STRU_WORD_DRAW* FromNode(lru_obj_s* node) { return static_cast<STRU_WORD_DRAW*>(node); }

    text_glyph_t* word = nullptr;  // the glyph; null: a code unit without one, never drawn
    RECT rect{};  // the glyph's page rectangle, then its screen rectangle; empty when not shown
};

// One code unit of a text, on the text command's word list, in string order.
struct word_node_t : lru_obj_s {
    static void* operator new(std::size_t size) { return PooledAlloc<word_node_t>(size); }
    static void operator delete(void* block) noexcept { PooledFree<word_node_t>(block); }
    static word_node_t* FromNode(lru_obj_s* node) { return static_cast<word_node_t*>(node); }

    STRU_WORD_DRAW* draw = nullptr;  // owned by the text command, freed with this node
};

// The head the alpha-blended processor receives for one font page of a text: a type-6 head
// filled from the text command at each draw, followed by that page's glyphs and the outline.
// Never allocated on its own; it lives inside a txt_drawlist_t.
struct STRU_TEXT_COMMAND_BASE : STRU_DRAW_COMMAND_BASE {
    lru_list_t words;                    // STRU_WORD_DRAW of this page
    std::int32_t outlineStyle = 0;       // 2: outlined, 0: plain
    D3DCOLOR outlineColor = 0xFFFFFFFF;
};

// The glyphs of one text command that lie on one font page, on the command's draw-list list
// in order of the pages' first use.
struct txt_drawlist_t : lru_obj_s {
    static void* operator new(std::size_t size) { return PooledAlloc<txt_drawlist_t>(size); }
    static void operator delete(void* block) noexcept { PooledFree<txt_drawlist_t>(block); }
    static txt_drawlist_t* FromNode(lru_obj_s* node) { return static_cast<txt_drawlist_t*>(node); }

    font_page_t* page = nullptr;
    STRU_TEXT_COMMAND_BASE command;
};

struct STRU_TEXT_COMMAND : STRU_DRAW_COMMAND_BASE {
    LUMI_COMMAND_RECORD_ALLOCATION(STRU_TEXT_COMMAND)
    static bool HoldsType(std::int32_t type) { return type == kDrawCmdText; }

#if LUMI_LEGACY
    font_desc_t* font = nullptr;  // owned; null until a font is set
#else
    CRenderFont* font = nullptr;  // owned; null until a font is set
#endif
    WCHAR text[kTextCommandUnits] = {};
    RECT layoutRect{};            // where the glyphs were last placed; empty: not placed
    lru_list_t words;             // word_node_t, one per code unit
    lru_list_t drawLists;         // txt_drawlist_t, one per font page
#if !LUMI_LEGACY
    std::uint8_t glyphsReady = 0;  // every glyph loaded
    std::uint8_t layoutReady = 0;  // the draw lists are built
#endif
    // How the glyphs were last placed besides the rectangle, so that a draw with another
    // wrap or spacing places them again.
    std::int32_t layoutSpacing = 0;
    std::uint8_t layoutWrap = 0;
    std::uint8_t layoutPlaced = 0;  // the glyphs were placed since the layout was built
};

struct STRU_PARTICLE_COMMAND : STRU_DRAW_COMMAND_BASE {
    LUMI_COMMAND_RECORD_ALLOCATION(STRU_PARTICLE_COMMAND)
    static bool HoldsType(std::int32_t type) { return type == kDrawCmdParticle; }

    std::int32_t xOffset = 0;    // x - dx of the emitter drawing operation
    std::int32_t yOffset = 0;    // y - dy
    std::int32_t drawParam = 0;  // handed unchanged to the emitter's drawing
    std::int32_t drawMode = 0;   // written by the renderer (circle-beam variant)
    CParticleEmitter* emitter = nullptr;  // held until the record is released
};

#undef LUMI_COMMAND_RECORD_ALLOCATION

// The layouts of 32-bit Windows, where the pool tables' block sizes come from. The legacy
// head has no display stamp, and the legacy text record no ready bytes or placement.
inline constexpr std::size_t kCommandHeadBytes32 = lumi::kLegacy ? 44 : 48;
static_assert(sizeof(void*) != 4 || sizeof(STRU_DRAW_COMMAND_BASE) == kCommandHeadBytes32, "32-bit layout");
static_assert(sizeof(void*) != 4 || sizeof(STRU_POINT_COMMAND) == kCommandHeadBytes32 + 8, "32-bit layout");
static_assert(sizeof(void*) != 4 || sizeof(STRU_LINE_COMMAND) == kCommandHeadBytes32 + 12, "32-bit layout");
static_assert(sizeof(void*) != 4 || sizeof(STRU_TRI_COMMAND) == kCommandHeadBytes32 + 28, "32-bit layout");
static_assert(sizeof(void*) != 4 || sizeof(STRU_RECT_COMMAND) == kCommandHeadBytes32 + 36, "32-bit layout");
// 632 bytes of the original record (legacy: 624), then the placement parameters.
static_assert(sizeof(void*) != 4 || sizeof(STRU_TEXT_COMMAND) == (lumi::kLegacy ? 632 : 640), "32-bit layout");
static_assert(sizeof(void*) != 4 || sizeof(STRU_PARTICLE_COMMAND) == kCommandHeadBytes32 + 20, "32-bit layout");
static_assert(sizeof(void*) != 4 || sizeof(STRU_TEXT_COMMAND_BASE) == kCommandHeadBytes32 + 32, "32-bit layout");
static_assert(sizeof(void*) != 4 || sizeof(txt_drawlist_t) == kCommandHeadBytes32 + 60, "32-bit layout");
static_assert(sizeof(void*) != 4 || sizeof(word_node_t) == 28, "28 bytes on 32-bit targets");
static_assert(sizeof(void*) != 4 || sizeof(STRU_WORD_DRAW) == 44, "44 bytes on 32-bit targets");
#if !LUMI_LEGACY
static_assert(sizeof(void*) != 4 || sizeof(CRenderFont) == 8, "8 bytes on 32-bit targets");
#endif

// ---- Allocation ----
#if !LUMI_LEGACY
// Each takes a block from the type's pool and returns it ready to fill: the list node clear,
// the display stamp copied from g_DisplayStamp, the texture null, flags 1 (the particle record
// 2), everything else zero, lists empty. Throws the pool's exceptions.
STRU_POINT_COMMAND* AllocPointCommand();
STRU_LINE_COMMAND* AllocLineCommand();
STRU_TRI_COMMAND* AllocTriCommand();
STRU_RECT_COMMAND* AllocRectCommand();  // type 3; the renderer relabels it 5 for a textured rectangle
STRU_TEXT_COMMAND* AllocTextCommand();
STRU_PARTICLE_COMMAND* AllocParticleCommand();

// The allocation for a type: 0, 1, 2, 3, 5 (a rectangle record of type 5), 6, 7; null for 4
// and every other value. (The legacy build allocates from its renderer's pool set instead:
// legacy/cmd_pool_set.h.)
STRU_DRAW_COMMAND_BASE* AllocDrawCommand(std::int32_t type);
#endif

// A record of its own: neither null nor the scratch-command value.
inline bool IsDrawRecord(const STRU_DRAW_COMMAND_BASE* cmd) { return cmd != nullptr && !IsScratchCommand(cmd); }

// The record as its type's structure when its type field is one of that structure's; null
// otherwise (also for null and the scratch-command value).
template <class Record>
Record* DrawCommandAs(STRU_DRAW_COMMAND_BASE* cmd) {
    if (!IsDrawRecord(cmd) || !Record::HoldsType(cmd->type)) return nullptr;
    return static_cast<Record*>(cmd);
}

#if !LUMI_LEGACY
// ---- Release ----
// Returns a record to its pool by its type, with what it owns: a line record's segment array,
// a text record's font pair (legacy: font description) and layout. Does not touch the texture
// reference or the emitter (ReleaseDrawCommand does). A record still in a list is taken out
// of it first. Records of type 4 or of an unknown type are left alone: no pool is known for
// them. A record its pool refuses (not from it, or released already) is reported through
// DbgMsg and left alone.
void FreeDrawCommand(STRU_DRAW_COMMAND_BASE* cmd);

// Hands an emitter a released particle record held back to its owner (the renderer's
// particle emitter manager).
using EmitterGiveBack = std::function<void(CParticleEmitter*)>;

// The end of a record the host or a per-frame pool owned: its texture reference is released
// and the field cleared, a particle record's emitter goes to `giveBack` (which must be set
// when the record holds one: lumi::Exception "invalid param." otherwise, before anything is
// released), then FreeDrawCommand. The emitter is handed back after the record is freed, so
// an exception from `giveBack` loses nothing.
void ReleaseDrawCommand(STRU_DRAW_COMMAND_BASE* cmd, const EmitterGiveBack& giveBack);

// ---- Copies ----
// A new record of the same type with the same type, flags, colour and texture (with a
// reference of its own), and a copy of the geometry: a line record gets an array of its own.
// The sequence is not copied; the display stamp (current build) is the current one. Null for no record and
// for type 4 or an unknown type; types 6 and 7 throw lumi::Exception "unsupported". On a
// failure nothing is left allocated or referenced.
STRU_DRAW_COMMAND_BASE* CloneDrawCommand(const STRU_DRAW_COMMAND_BASE* cmd);
#endif  // the legacy build releases into its pool set (legacy/cmd_pool_set.h)

// ---- Submission helpers ----
// The segments of a line submission: when the capacity is below `count` the array is
// replaced by one of exactly `count` segments; the segments are copied in and the count set.
// False, with the record unchanged, for a negative count, null segments with a positive
// count, or when the array cannot be allocated.
bool SetLineSegments(STRU_LINE_COMMAND* cmd, const STRU_LINE_SEGMENT* segments, std::int32_t count);

// A text record's layout undone: every word node is freed with its word draw (taken off its
// page's draw list), every page draw list is freed, the ready bytes (current build) are
// cleared and the layout rectangle emptied (the glyphs count as not placed). The text and the
// font stay.
void ClearTextLayout(STRU_TEXT_COMMAND* cmd);
