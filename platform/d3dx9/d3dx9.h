#pragma once
// The D3DX 9 functions the library calls, over the software Direct3D 9: texture creation with
// D3DX's size and format adjustment, image files (BMP, JPG, TGA, PNG, DDS, DIB, PPM, HDR) read
// and written, surface copies with format conversion, stretching and colour key, and a ps.1.1
// assembler. Everything reports failure through its HRESULT and never crashes on bad input:
// D3DERR_INVALIDCALL for bad arguments, D3DXERR_INVALIDDATA for unreadable or corrupt files.
// There are no palettised formats, so palette arguments are ignored (as D3DX ignores them for
// other formats). Shader defines and includes, which no caller uses, fail with E_NOTIMPL and a
// line on stderr rather than being silently ignored.
#include <cstdint>

#include "platform/d3d9/d3d9.h"
#include "platform/win32/win32_types.h"

// ---- Constants -------------------------------------------------------------------------------
inline constexpr UINT D3DX_DEFAULT = 0xFFFFFFFFu;
inline constexpr UINT D3DX_DEFAULT_NONPOW2 = 0xFFFFFFFEu;  // sizes: keep the file's exact size
inline constexpr UINT D3DX_FROM_FILE = 0xFFFFFFFDu;        // sizes and mip levels from the file
inline constexpr D3DFORMAT D3DFMT_FROM_FILE = static_cast<D3DFORMAT>(0xFFFFFFFDu);

// Filters: the low byte selects the kind; the flags above it are accepted and ignored.
inline constexpr DWORD D3DX_FILTER_NONE = 1;      // 1:1 copy at the top-left; outside: transparent black
inline constexpr DWORD D3DX_FILTER_POINT = 2;     // nearest source pixel
inline constexpr DWORD D3DX_FILTER_LINEAR = 3;    // bilinear between the four nearest pixels
inline constexpr DWORD D3DX_FILTER_TRIANGLE = 4;  // area average shrinking, bilinear growing
inline constexpr DWORD D3DX_FILTER_BOX = 5;       // area average
inline constexpr DWORD D3DX_FILTER_MIRROR_U = 0x00010000;
inline constexpr DWORD D3DX_FILTER_MIRROR_V = 0x00020000;
inline constexpr DWORD D3DX_FILTER_MIRROR_W = 0x00040000;
inline constexpr DWORD D3DX_FILTER_MIRROR = 0x00070000;
inline constexpr DWORD D3DX_FILTER_DITHER = 0x00080000;
inline constexpr DWORD D3DX_FILTER_DITHER_DIFFUSION = 0x00100000;
inline constexpr DWORD D3DX_FILTER_SRGB_IN = 0x00200000;
inline constexpr DWORD D3DX_FILTER_SRGB_OUT = 0x00400000;
inline constexpr DWORD D3DX_FILTER_SRGB = 0x00600000;

#define MAKE_D3DXERR(code) MAKE_HRESULT(1, 0x876, code)
inline constexpr HRESULT D3DXERR_CANNOTMODIFYINDEXBUFFER = MAKE_D3DXERR(2900);
inline constexpr HRESULT D3DXERR_INVALIDMESH = MAKE_D3DXERR(2901);
inline constexpr HRESULT D3DXERR_CANNOTATTRSORT = MAKE_D3DXERR(2902);
inline constexpr HRESULT D3DXERR_SKINNINGNOTSUPPORTED = MAKE_D3DXERR(2903);
inline constexpr HRESULT D3DXERR_TOOMANYINFLUENCES = MAKE_D3DXERR(2904);
inline constexpr HRESULT D3DXERR_INVALIDDATA = MAKE_D3DXERR(2905);
inline constexpr HRESULT D3DXERR_LOADEDMESHASNODATA = MAKE_D3DXERR(2906);
inline constexpr HRESULT D3DXERR_DUPLICATENAMEDFRAGMENT = MAKE_D3DXERR(2907);
inline constexpr HRESULT D3DXERR_CANNOTREMOVELASTITEM = MAKE_D3DXERR(2908);

enum D3DXIMAGE_FILEFORMAT : std::uint32_t {
    D3DXIFF_BMP = 0,
    D3DXIFF_JPG = 1,
    D3DXIFF_TGA = 2,
    D3DXIFF_PNG = 3,
    D3DXIFF_DDS = 4,
    D3DXIFF_PPM = 5,
    D3DXIFF_DIB = 6,
    D3DXIFF_HDR = 7,
    D3DXIFF_PFM = 8,
    D3DXIFF_FORCE_DWORD = 0x7fffffff,
};

// What a file holds. Format is the format the file stores its pixels in, as D3DX reports it:
// colour tables P8; 24-bit colour R8G8B8 (BMP, TGA, PNG, PPM); 16-bit BMP and TGA X1R5G5B5,
// A1R5G5B5 or R5G6B5 by their masks and alpha bits; 32-bit BMP and TGA A8R8G8B8 when they
// declare alpha, else X8R8G8B8; PNG with alpha A8R8G8B8, grey L8, grey with alpha A8L8,
// 16 bits a channel L16 or A16B16G16R16; JPEG X8R8G8B8 or L8; DDS its own format; HDR
// A32B32G32R32F. Most devices make no surfaces of R8G8B8, P8 or A8L8: a caller creating a
// surface of the file's format must be ready for the device to refuse it.
struct D3DXIMAGE_INFO {
    UINT Width;
    UINT Height;
    UINT Depth;      // 1 for two-dimensional images
    UINT MipLevels;  // levels stored in the file (DDS), else 1
    D3DFORMAT Format;
    D3DRESOURCETYPE ResourceType;  // D3DRTYPE_TEXTURE
    D3DXIMAGE_FILEFORMAT ImageFileFormat;
};

// GDI's palette entry, for the palette arguments (ignored: no palettised formats).
struct PALETTEENTRY {
    BYTE peRed;
    BYTE peGreen;
    BYTE peBlue;
    BYTE peFlags;
};

// ---- Buffers ---------------------------------------------------------------------------------
// A reference-counted block of bytes (assembled shaders, error texts). Release frees it at zero.
struct ID3DXBuffer : IUnknown {
    virtual LPVOID GetBufferPointer() = 0;
    virtual DWORD GetBufferSize() = 0;

protected:
    ~ID3DXBuffer() = default;
};
using LPD3DXBUFFER = ID3DXBuffer*;
inline constexpr IID IID_ID3DXBuffer = {0x1d3d9000, 0x4c55, 0x4d49, {'l', 'u', 'm', 'i', 0, 0, 1, 1}};

// A zero-filled buffer of `numBytes` bytes; the caller owns one reference.
// D3DERR_INVALIDCALL for a null out pointer, E_OUTOFMEMORY when it cannot be allocated.
HRESULT D3DXCreateBuffer(DWORD numBytes, LPD3DXBUFFER* buffer);

// ---- Textures --------------------------------------------------------------------------------
// Creates a texture after adjusting the request as D3DX does: a zero or D3DX_DEFAULT size is 256;
// sizes round up to powers of two when the caps say D3DPTEXTURECAPS_POW2 (unless
// NONPOW2CONDITIONAL allows a single-level texture of a format that is not DXT), become square
// with D3DPTEXTURECAPS_SQUAREONLY, round up to multiples of 4 for DXT formats, are clamped to the
// caps' maximum texture size, and the shorter side grows to keep MaxTextureAspectRatio;
// D3DFMT_UNKNOWN becomes A8R8G8B8, and a format the adapter cannot make textures of
// (CheckDeviceFormat) the first it can of A8R8G8B8, A4R4G4B4, A1R5G5B5 (formats with alpha,
// colour tables included) or X8R8G8B8, R5G6B5, X1R5G5B5, A8R8G8B8 (without); mip levels 0 or
// D3DX_DEFAULT ask for the full chain (the device decides how many it keeps), otherwise at most
// the chain's length.
// The texture's real size and format are read back with GetLevelDesc. Errors of CreateTexture
// (D3DERR_OUTOFVIDEOMEMORY, ...) are returned unchanged.
HRESULT D3DXCreateTexture(IDirect3DDevice9* device, UINT width, UINT height, UINT mipLevels, DWORD usage,
                          D3DFORMAT format, D3DPOOL pool, IDirect3DTexture9** texture);

// Creates a texture from an image file and loads it. Width/height 0 or D3DX_DEFAULT: the file's
// size rounded up to powers of two; D3DX_DEFAULT_NONPOW2: the file's size; D3DFMT_UNKNOWN: the
// file's format; all adjusted to the device as by D3DXCreateTexture. D3DX_FROM_FILE (sizes,
// levels) and D3DFMT_FROM_FILE take the file's values exactly: a device that cannot make such a
// texture (an R8G8B8 or P8 one, say) fails the call. Level 0 is loaded with `filter`, further
// levels are made from it with `mipFilter` (D3DX_DEFAULT: box; D3DX_FILTER_NONE leaves them as
// created). A DEFAULT-pool texture that is not dynamic is loaded in system memory and uploaded
// with UpdateSurface. `sourceInfo` (optional) receives the file's information.
HRESULT D3DXCreateTextureFromFileExW(IDirect3DDevice9* device, LPCWSTR srcFile, UINT width, UINT height,
                                     UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                     DWORD filter, DWORD mipFilter, D3DCOLOR colorKey,
                                     D3DXIMAGE_INFO* sourceInfo, PALETTEENTRY* palette,
                                     IDirect3DTexture9** texture);

// ---- Image information -----------------------------------------------------------------------
// D3DERR_INVALIDCALL for null arguments or a missing file; D3DXERR_INVALIDDATA for data that is
// not a whole image of a known type.
HRESULT D3DXGetImageInfoFromFileW(LPCWSTR srcFile, D3DXIMAGE_INFO* info);
HRESULT D3DXGetImageInfoFromFileInMemory(LPCVOID srcData, UINT srcDataSize, D3DXIMAGE_INFO* info);

// ---- Surface loading -------------------------------------------------------------------------
// Loads (a rectangle of) an image into (a rectangle of) a surface, converting to the surface's
// format and resampling with `filter` (D3DX_DEFAULT: triangle). Pixels equal to `colorKey`
// (as 0xAARRGGBB, 0 = no key) become transparent black. Null rectangles mean the whole image or
// surface. `sourceInfo` (optional) receives the file's information.
HRESULT D3DXLoadSurfaceFromFileW(IDirect3DSurface9* destSurface, const PALETTEENTRY* destPalette,
                                 const RECT* destRect, LPCWSTR srcFile, const RECT* srcRect, DWORD filter,
                                 D3DCOLOR colorKey, D3DXIMAGE_INFO* sourceInfo);
HRESULT D3DXLoadSurfaceFromFileInMemory(IDirect3DSurface9* destSurface, const PALETTEENTRY* destPalette,
                                        const RECT* destRect, LPCVOID srcData, UINT srcDataSize,
                                        const RECT* srcRect, DWORD filter, D3DCOLOR colorKey,
                                        D3DXIMAGE_INFO* sourceInfo);
// Surface to surface, any supported formats (DXT encoded on the way in), any pools.
HRESULT D3DXLoadSurfaceFromSurface(IDirect3DSurface9* destSurface, const PALETTEENTRY* destPalette,
                                   const RECT* destRect, IDirect3DSurface9* srcSurface,
                                   const PALETTEENTRY* srcPalette, const RECT* srcRect, DWORD filter,
                                   D3DCOLOR colorKey);

// ---- Saving ----------------------------------------------------------------------------------
// Writes a surface (or the rectangle `srcRect` of it) as BMP, JPG, PNG, DDS (in the surface's
// own format), DIB (a BMP file), HDR or PFM; as documented for D3DX 9, PPM and TGA are refused
// (D3DERR_INVALIDCALL). Colour files keep alpha where the file type can (BMP, PNG). A file that
// cannot be created gives D3DERR_INVALIDCALL.
HRESULT D3DXSaveSurfaceToFileW(LPCWSTR destFile, D3DXIMAGE_FILEFORMAT destFormat, IDirect3DSurface9* srcSurface,
                               const PALETTEENTRY* srcPalette, const RECT* srcRect);
// Level 0 of a texture, as D3DXSaveSurfaceToFileW (the same file types); DDS files keep every
// level.
HRESULT D3DXSaveTextureToFileW(LPCWSTR destFile, D3DXIMAGE_FILEFORMAT destFormat,
                               IDirect3DBaseTexture9* srcTexture, const PALETTEENTRY* srcPalette);

// ---- Shaders ---------------------------------------------------------------------------------
struct D3DXMACRO {
    LPCSTR Name;
    LPCSTR Definition;
};
struct ID3DXInclude;
using LPD3DXINCLUDE = ID3DXInclude*;

// Assembles ps.1.1 text (def, tex, mov, add, sub, mul, mad, dp3, lrp; r/v/c/t registers; write
// masks .rgba/.rgb/.a; source negation and .a/.b replication; '+' co-issue; ';' and '//'
// comments) into the token stream CreatePixelShader takes. On success `*shader` receives the
// tokens (ending with 0x0000FFFF). On failure D3DXERR_INVALIDDATA and, when `errorMessages` is
// given, a NUL-terminated text with one "(line): error: ..." line per fault. Defines and
// includes are not supported (E_NOTIMPL).
HRESULT D3DXAssembleShader(LPCSTR srcData, UINT srcDataLen, const D3DXMACRO* defines, LPD3DXINCLUDE include,
                           DWORD flags, LPD3DXBUFFER* shader, LPD3DXBUFFER* errorMessages);
