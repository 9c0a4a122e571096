#pragma once
// The software device's rasteriser: draws FVF 0x142 primitives (position already in clip space,
// diffuse colour, one texture coordinate set), and points of FVF 0x62 (with a size each), into
// a render target by Direct3D 9's rules, and clears targets. It knows nothing of the device's objects: the device describes its state and
// memory in the plain records below.
#include <cstdint>
#include <memory>

#include "platform/d3d9/d3d9_types.h"
#include "platform/d3d9/pixel_format.h"

namespace d3d9sw {

class PixelShaderProgram;  // pixel_shader.h

// Everything a draw reads from the device. Arrays are indexed by the state's numeric value.
struct DrawState {
    const DWORD* renderStates = nullptr;                          // [kD3DRenderStateCount]
    const DWORD (*stageStates)[kD3DTextureStageStateCount] = nullptr;  // [kD3DTextureStageCount]
    const DWORD (*samplerStates)[kD3DSamplerStateCount] = nullptr;     // [kD3DSamplerCount]
    SurfaceView textures[kD3DTextureStageCount];                  // bits == null: no texture
    const PixelShaderProgram* pixelShader = nullptr;              // null: fixed function stages
    D3DVIEWPORT9 viewport{};
    SurfaceView target;                                           // colour render target
    SurfaceView depth;                                            // bits == null: no depth buffer
    // The lowest value the depth buffer may hold, in its units, kept by the buffer's owner (0
    // when unknown): the draw queue lowers it as it draws and relies on it (raster_queue.h).
    std::uint32_t* depthFloor = nullptr;
    // How to draw, never what: every setting gives the same pixels.
    int threads = 1;    // bands drawn at once by the rasteriser's threads (RasterThreads)
    bool avx2 = true;   // AVX2 row kernels where the CPU has them; SSE2 otherwise
};

// The vertex layouts drawn: FVF 0x142 {x, y, z, diffuse, u, v}, 24 bytes, for every primitive
// type; FVF 0x62 {x, y, z, point size, diffuse}, 20 bytes, for point lists only.
inline constexpr DWORD kFvfTextured = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;
inline constexpr DWORD kFvfPointSize = D3DFVF_XYZ | D3DFVF_PSIZE | D3DFVF_DIFFUSE;
// Bytes of one vertex of the layout; 0 for a layout that is not drawn.
UINT VertexBytesOf(DWORD fvf);

// One draw call's geometry: vertices of the `fvf` layout at `stride`.
struct DrawCall {
    D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST;
    DWORD fvf = kFvfTextured;
    UINT primitiveCount = 0;
    const std::uint8_t* vertices = nullptr;  // first vertex of the stream (offset applied)
    UINT vertexStride = 24;
    UINT vertexCount = 0;                    // vertices readable from `vertices`
    const std::uint16_t* indices = nullptr;  // null: non-indexed; else from the start index
    UINT indexCount = 0;                     // indices readable from `indices`
    INT baseVertex = 0;                      // added to every index
};

// Draws the primitives. Returns D3D_OK, or D3DERR_INVALIDCALL when an index or vertex lies
// outside the supplied data, the primitive type or a state is one the device does not support
// (nothing is drawn then).
//
// Implemented: POINTLIST, LINELIST and TRIANGLELIST; clipping to -1 <= x, y <= 1, 0 <= z <= 1
// (w = 1) and the viewport; CULLMODE; GOURAUD and FLAT shading; depth test and write at the
// buffer's precision (D16, D24S8, D24X8); alpha test; every blend factor and operation, separate
// alpha blending; COLORWRITEENABLE; the texture stages (DISABLE, SELECTARG1/2, MODULATE, ADD,
// SUBTRACT, ADDSIGNED with a 0x80 bias, ADDSMOOTH over DIFFUSE, CURRENT, TEXTURE and TFACTOR
// with COMPLEMENT and ALPHAREPLICATE); POINT and LINEAR filtering of the top level with every
// address mode; a bound ps.1.1 program in place of the stages. Every stage samples the vertex's
// one coordinate set; a stage without a texture reads opaque white (so a MODULATE shows the
// other argument), a shader's sampler without one opaque black.
// Refused: FILLMODE other than SOLID, LIGHTING, fog, stencil, scissor test, sRGB writes, user
// clip planes, WRAP0, point scaling, W-buffering, other stage operations and arguments,
// anisotropic and other filters.
// A draw that covers enough pixels is split into horizontal bands of the target's rows, small
// enough for a band's rows to stay in the core's cache, drawn at once by `threads` threads
// (raster_draw.h); pairs of triangles forming an unrotated rectangle that maps texel for pixel
// are drawn row by row with vectorised kernels (raster_quad.h).
// Points are squares of D3DRS_POINTSIZE, or of the vertex's own size in the 0x62 layout,
// either held to D3DRS_POINTSIZE_MIN..D3DRS_POINTSIZE_MAX; with D3DRS_POINTSPRITEENABLE their
// texture coordinates run from (0, 0) at the square's top left to (1, 1) at its bottom right.
// Lines follow the diamond-exit rule, the last pixel drawn when LASTPIXEL is TRUE
// (raster_points_lines.h). Primitives with a non-finite position or texture coordinate are
// dropped.
HRESULT Rasterize(const DrawState& state, const DrawCall& call);

// Fills `rect` (clipped to the surface) of a colour target with `argb`, or of a depth surface
// with `z` (0..1, stored at the depth format's precision).
// `avx2`: as DrawState::avx2.
void ClearColor(const SurfaceView& target, const RECT& rect, D3DCOLOR argb, bool avx2);
void ClearDepth(const SurfaceView& depth, const RECT& rect, float z, bool avx2);
// Sets the stencil byte of D24S8 (the low byte of each 32-bit word) in `rect`, depth kept.
void ClearStencil(const SurfaceView& depth, const RECT& rect, DWORD stencil);
// What ClearDepth stores for `z` in a depth buffer of `format`, in the format's units.
std::uint32_t DepthUnits(D3DFORMAT format, float z);

}  // namespace d3d9sw
