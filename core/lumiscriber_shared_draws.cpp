// CLumiscriber: the draw operations that are the same in both builds: lines, triangles and
// rectangles, and the texture a host's textured-rectangle command holds (type 5). Each build
// finds the command (CommandFor) and queues it its own way; its SubmitTexturedRect decides a
// textured rectangle's blending.
#include "core/host_handles.h"
#include "core/lumiscriber.h"
#include "draw/d3d_texture.h"
#include "draw/draw_commands.h"

using lumi::HasPixels;
using lumi::IsOpaqueColor;
using lumi::WholeTexture;

// ---- Shapes ----

void CLumiscriber::DrawLine(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                            std::int32_t y2, D3DCOLOR color) {
    const STRU_LINE_SEGMENT segment{x1, y1, x2, y2};
    DrawLines(cmd, &segment, 1, color);
}

void CLumiscriber::DrawLines(STRU_DRAW_COMMAND_BASE* cmd, const STRU_LINE_SEGMENT* segments, std::int32_t count,
                             D3DCOLOR color) {
    // Nothing to draw is no draw: no command of the renderer's is taken either.
    if (count <= 0 || segments == nullptr) return;
    auto* line = static_cast<STRU_LINE_COMMAND*>(CommandFor(cmd, kDrawCmdLine));
    if (line == nullptr) {
        AddDrawCalls(1);
        return;
    }
    if (!SetLineSegments(line, segments, count)) return;
    AddDrawCalls(1);
    line->color = color;
    line->texture = nullptr;
    QueueDrawCommand(line);
}

void CLumiscriber::DrawTriangle(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                                std::int32_t y2, std::int32_t x3, std::int32_t y3, D3DCOLOR color, bool filled) {
    AddDrawCalls(1);
    auto* triangle = static_cast<STRU_TRI_COMMAND*>(CommandFor(cmd, kDrawCmdTriangle));
    if (triangle == nullptr) return;
    triangle->x1 = x1;
    triangle->y1 = y1;
    triangle->x2 = x2;
    triangle->y2 = y2;
    triangle->x3 = x3;
    triangle->y3 = y3;
    triangle->color = color;
    triangle->filled = filled ? 1 : 0;
    triangle->texture = nullptr;
    if (filled && !IsOpaqueColor(color)) triangle->flags = kDrawFlagAlpha;
    QueueDrawCommand(triangle);
}

void CLumiscriber::DrawRect(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t left, std::int32_t top, std::int32_t right,
                            std::int32_t bottom, D3DCOLOR color, bool filled) {
    AddDrawCalls(1);
    auto* rect = static_cast<STRU_RECT_COMMAND*>(CommandFor(cmd, kDrawCmdRect));
    if (rect == nullptr) return;
    rect->destination = RECT{left, top, right, bottom};
    rect->color = color;
    rect->filled = filled ? 1 : 0;
    rect->texture = nullptr;
    if (filled && !IsOpaqueColor(color)) rect->flags = kDrawFlagAlpha;
    QueueDrawCommand(rect);
}

void CLumiscriber::DrawReserved(std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                                std::int32_t, std::int32_t) {
    AddDrawCalls(1);
}

// ---- Textured rectangles ----

void CLumiscriber::DrawTexturePrimitive(STRU_DRAW_COMMAND_BASE* cmd, const RECT* source, const RECT* destination,
                                        std::int32_t flags, D3DCOLOR color) {
    STRU_RECT_COMMAND* rect = TexturedRectOf(cmd);
    if (rect == nullptr || source == nullptr || destination == nullptr) return;
    rect->texture->Restore();
    SubmitTexturedRect(*source, *destination, flags, rect, color);
}

void CLumiscriber::DrawTexturePrimitiveAt(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y,
                                          const RECT* source, std::int32_t flags, D3DCOLOR color) {
    STRU_RECT_COMMAND* rect = TexturedRectOf(cmd);
    if (rect == nullptr) return;
    CD3DTexture* texture = rect->texture;
    texture->Restore();
    RECT from{};
    if (source != nullptr) {
        from = *source;
    } else if (HasPixels(texture)) {
        from = WholeTexture(texture);
    }
    if (flags == 0) flags = texture->HasAlphaFormat() ? kDrawFlagAlpha : kDrawFlagOpaque;
    const RECT to{x, y, x + (from.right - from.left), y + (from.bottom - from.top)};
    SubmitTexturedRect(from, to, flags, rect, color);
}

void CLumiscriber::DrawTexturePrimitiveEx(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y,
                                          D3DCOLOR color, const RECT* destination, const RECT* source) {
    AddDrawCalls(1);
    STRU_RECT_COMMAND* rect = TexturedRectOf(cmd);
    if (rect == nullptr) return;
    CD3DTexture* texture = rect->texture;
    texture->Restore();
    const RECT from = source != nullptr ? *source : WholeTexture(texture);
    const RECT to = destination != nullptr
                        ? *destination
                        : RECT{x, y, x + static_cast<LONG>(texture->GetWidth()), y + static_cast<LONG>(texture->GetHeight())};
    const std::int32_t flags = !IsOpaqueColor(color) || texture->HasAlphaFormat() ? kDrawFlagAlpha : kDrawFlagOpaque;
    SubmitTexturedRect(from, to, flags, rect, color);
}
