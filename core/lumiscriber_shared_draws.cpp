// CLumiscriberCommon: the draw operations that are the same in both builds: commands' types,
// points, lines, triangles and rectangles, and the texture a host's textured-rectangle command
// holds (type 5). Each build finds the command (CommandFor) and queues it (QueueDrawCommand) its
// own way.
#include "core/host_handles.h"
#include "core/lumiscriber.h"
#include "draw/d3d_texture.h"
#include "draw/draw_commands.h"

using lumi::ClipToCurrentFrame;
using lumi::HasPixels;
using lumi::IsOpaqueColor;
using lumi::WholeTexture;

// ---- Commands ----

std::int32_t CLumiscriberCommon::GetPrimitiveType(STRU_DRAW_COMMAND_BASE* cmd) {
    if (cmd == nullptr || IsScratchCommand(cmd)) return -1;
    return cmd->type;
}

// ---- Shapes ----

STRU_POINT_COMMAND* CLumiscriberCommon::QueuePoint(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y,
                                                   D3DCOLOR color) {
    AddDrawCalls(1);
    auto* point = static_cast<STRU_POINT_COMMAND*>(Renderer().CommandFor(cmd, kDrawCmdPoint));
    if (point == nullptr) return nullptr;
    point->x = x;
    point->y = y;
    point->color = color;
    point->texture = nullptr;
    Renderer().QueueDrawCommand(point);
    return point;
}

void CLumiscriberCommon::DrawLine(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                                  std::int32_t y2, D3DCOLOR color) {
    const STRU_LINE_SEGMENT segment{x1, y1, x2, y2};
    DrawLines(cmd, &segment, 1, color);
}

void CLumiscriberCommon::DrawLines(STRU_DRAW_COMMAND_BASE* cmd, const STRU_LINE_SEGMENT* segments, std::int32_t count,
                                   D3DCOLOR color) {
    // Nothing to draw is no draw: no command of the renderer's is taken either.
    if (count <= 0 || segments == nullptr) return;
    auto* line = static_cast<STRU_LINE_COMMAND*>(Renderer().CommandFor(cmd, kDrawCmdLine));
    if (line == nullptr) {
        AddDrawCalls(1);
        return;
    }
    if (!SetLineSegments(line, segments, count)) return;
    AddDrawCalls(1);
    line->color = color;
    line->texture = nullptr;
    Renderer().QueueDrawCommand(line);
}

void CLumiscriberCommon::DrawTriangle(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                                      std::int32_t y2, std::int32_t x3, std::int32_t y3, D3DCOLOR color, bool filled) {
    AddDrawCalls(1);
    auto* triangle = static_cast<STRU_TRI_COMMAND*>(Renderer().CommandFor(cmd, kDrawCmdTriangle));
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
    Renderer().QueueDrawCommand(triangle);
}

void CLumiscriberCommon::DrawRect(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t left, std::int32_t top, std::int32_t right,
                                  std::int32_t bottom, D3DCOLOR color, bool filled) {
    AddDrawCalls(1);
    auto* rect = static_cast<STRU_RECT_COMMAND*>(Renderer().CommandFor(cmd, kDrawCmdRect));
    if (rect == nullptr) return;
    rect->destination = RECT{left, top, right, bottom};
    rect->color = color;
    rect->filled = filled ? 1 : 0;
    rect->texture = nullptr;
    if (filled && !IsOpaqueColor(color)) rect->flags = kDrawFlagAlpha;
    Renderer().QueueDrawCommand(rect);
}

void CLumiscriberCommon::DrawReserved(std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                                      std::int32_t, std::int32_t, std::int32_t) {
    AddDrawCalls(1);
}

// ---- Textured rectangles ----

STRU_RECT_COMMAND* CLumiscriberCommon::TexturedRectOf(STRU_DRAW_COMMAND_BASE* cmd) const {
    STRU_RECT_COMMAND* rect = lumi::TexturedCommand(cmd);
    return rect != nullptr && rect->texture != nullptr ? rect : nullptr;
}

void CLumiscriberCommon::SubmitTexturedRect(const RECT& source, const RECT& destination, std::int32_t flags,
                                            STRU_RECT_COMMAND* cmd, D3DCOLOR color) {
    CD3DTexture* texture = cmd->texture;
    if (texture == nullptr) return;
    if (texture->HasAlphaFormat()) {
        flags = lumi::AlphaFormatFlags(flags);
    } else if (IsOpaqueColor(color)) {
        flags &= ~kDrawFlagAlpha;
    }
    if (!HasPixels(texture)) return;
    cmd->flags = flags;
    cmd->color = color;
    cmd->source = source;
    cmd->destination = destination;
    if (texture->GetFrameCount() > 0) ClipToCurrentFrame(texture, cmd->source, cmd->destination);
    Renderer().QueueDrawCommand(cmd);
    AddDrawCalls(1);
}

void CLumiscriberCommon::DrawTexturePrimitive(STRU_DRAW_COMMAND_BASE* cmd, const RECT* source, const RECT* destination,
                                              std::int32_t flags, D3DCOLOR color) {
    STRU_RECT_COMMAND* rect = TexturedRectOf(cmd);
    if (rect == nullptr || source == nullptr || destination == nullptr) return;
    rect->texture->Restore();
    SubmitTexturedRect(*source, *destination, flags, rect, color);
}

void CLumiscriberCommon::DrawTexturePrimitiveAt(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y,
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

void CLumiscriberCommon::DrawTexturePrimitiveEx(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y,
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
