#pragma once
// Small pure helpers shared by the renderer, the adapter enumeration and the texture code:
// bit counts and names of Direct3D 9 formats and enumerations (for decisions and log lines),
// the image file format a save's extension names, the path form used as texture-name key, a
// code-unit comparison, unique texture names and the power-of-two rounding of texture sizes.
#include <cstdint>
#include <string>

#include "platform/d3d9/d3d9_types.h"
#include "platform/d3dx9/d3dx9.h"

// Bits per pixel; 8 for every DXT format (a block of 16 pixels averages out to at most one
// byte each), 0 for formats the renderer never sizes (FOURCC video formats, VERTEXDATA, ...).
std::uint32_t FormatBitsPerPixel(D3DFORMAT format);

// Bits of one colour channel, of alpha, of stencil and of depth; 0 when the format has none
// (or is not one the renderer chooses between).
std::int32_t GetColorChannelBits(D3DFORMAT format);
std::int32_t GetAlphaChannelBits(D3DFORMAT format);
std::int32_t GetStencilBits(D3DFORMAT format);
std::int32_t GetDepthBits(D3DFORMAT format);

// Names for log lines, e.g. u"D3DFMT_A8R8G8B8". Unknown values give u"D3DFMT_UNKNOWN",
// u"D3DDEVTYPE_UNKNOWN" and u"D3DMULTISAMPLE_UNKNOWN". The texts are static.
const char16_t* FormatName(D3DFORMAT format);
const char16_t* DevTypeName(D3DDEVTYPE type);
const char16_t* MultiSampleTypeName(D3DMULTISAMPLE_TYPE type);

// The D3DX file format a save to `path` writes, by the text after the last '.' compared without
// case: jpg, png and tga; dds with kWithDds, dds and dib with kWithDdsAndDib. Anything else,
// and a path without '.', is BMP.
enum class SaveFormats { kBasic, kWithDds, kWithDdsAndDib };
D3DXIMAGE_FILEFORMAT SaveFileFormatOf(const char16_t* path, SaveFormats formats);

// Turns a path into its key form in place: '\' becomes '/', and only 'a'..'z' are upper-
// cased (no other case mapping, no "." or ".." removal, no trimming). Null is ignored.
void NormalizePath(char16_t* path);

// Compares code unit by code unit as unsigned 16-bit values. Returns 0 when both end
// together, 1 when the second string's unit is the larger at the first difference (a longer
// second string counts as larger), -1 when it is the smaller. Null counts as empty.
int CompareWide(const char16_t* a, const char16_t* b);

// `prefix` followed by a new GUID in braced form, e.g.
// u"TEX{0F8FAD5B-D9CB-469F-A165-70867728950E}". Unique within the process even when the
// system cannot make a GUID. A null prefix counts as empty.
std::u16string MakeUniqueName(const char16_t* prefix);

// The smallest power of two that is at least n, and at least 2 (n of 2 or less gives 2).
// 0 when n is above 2^31 (no 32-bit power of two holds it): callers treat it as too large.
std::uint32_t NextPowerOfTwo(std::uint32_t n);
