#pragma once
// CRaster: the decoded raster image of the image library.
//
// An image owns one heap block (a copy of the 40-byte info header, the palette, then the
// pixel rows), a settings record, and optional alpha and selection planes, layer images and
// frame images. Rows are stored bottom-up: pixel (x, y) counts y from the bottom row. Pixels
// are 1, 4 or 8 bits of palette index (leftmost pixel in the high bits) or 24 bits blue,
// green, red; rows are padded to 4 bytes. Planes are width x height bytes without padding.
//
// Failures are reported by the result (false, null, 0) and, where there is something to say,
// by a message in GetLastError(); no operation lets an exception leave it. An image that is
// a view of another (ShareFrom, or a copy of a view) owns none of its buffers and refuses
// Destroy, DestroyFrames, Create and MoveFrom.
//
// Frames: while `frames` is non-null it holds exactly `frame_count` images. Without a frame
// array `frame_count` is only informational (the frame count of the source file).
//
// Not thread-safe per object; distinct objects may be used on distinct threads (the library
// keeps no mutable statics).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "image/bitmap_types.h"
#include "image/image_export.h"
#include "platform/win32/win32_types.h"

class CRaster;
class CRasterFile;
namespace lumi::image {
class FormatDispatcher;
struct DecoderAccess;
}

// Image type ids.
inline constexpr DWORD kRasterTypeNone = 0;  // format to be detected
inline constexpr DWORD kRasterTypeBmp = 1;
inline constexpr DWORD kRasterTypeGif = 2;
inline constexpr DWORD kRasterTypeJpg = 3;
inline constexpr DWORD kRasterTypePng = 4;
inline constexpr DWORD kRasterTypeTga = 7;
inline constexpr DWORD kRasterTypeJna = 20;
inline constexpr int kRasterFormatSlots = 7;  // slot 0 (none) and one per format

// Interpolation methods of the sampling members. Any value outside 1..18 samples as
// kInterpolateBilinear.
inline constexpr int kInterpolateNearest = 1;
inline constexpr int kInterpolateBilinear = 2;
inline constexpr int kInterpolateBSpline = 3;
inline constexpr int kInterpolateCubic = 4;
inline constexpr int kInterpolateCubicParam = 5;  // parameter -0.5
inline constexpr int kInterpolateLanczos = 6;     // 12 x 12 neighbours, radius 6
inline constexpr int kInterpolateBox = 7;
inline constexpr int kInterpolateHermite = 8;
inline constexpr int kInterpolateHamming = 9;
inline constexpr int kInterpolateSinc = 10;
inline constexpr int kInterpolateBlackman = 11;
inline constexpr int kInterpolateBessel = 12;
inline constexpr int kInterpolateGaussian = 13;
inline constexpr int kInterpolateQuadratic = 14;
inline constexpr int kInterpolateMitchell = 15;
inline constexpr int kInterpolateCatmullRom = 16;
inline constexpr int kInterpolateHanning = 17;
inline constexpr int kInterpolatePower = 18;  // power 2

// What a position outside the image yields. Any other value acts as kOverflowColor.
inline constexpr int kOverflowColor = 1;        // the replacement colour, or white with fourth byte 0
inline constexpr int kOverflowBackground = 2;   // the background colour (palette entry of the background index)
inline constexpr int kOverflowTransparent = 3;  // with alpha plane: replacement (or white) with alpha 0
inline constexpr int kOverflowWrap = 4;
inline constexpr int kOverflowRepeat = 5;
inline constexpr int kOverflowMirror = 6;

// Settings and state of an image; copied as one block by the flat form.
struct raster_info_t {
    DWORD row_stride;           // bytes a pixel row
    BYTE* pixels;               // first pixel byte inside the image block
    CRaster* shared_owner;      // non-null: this image is a view of that image
    CRaster* parent;            // set on a layer image to the image that holds it
    DWORD type;                 // image type id
    char last_error[256];       // NUL-terminated message of the last failure
    LONG progress;              // progress counter of long operations
    LONG escape;                // 0 normal; -1 header only; other non-zero cancels
    LONG background_index;      // transparent palette index, -1 none
    RGBQUAD background_color;   // transparent colour of images without palette
    float quality;              // JPEG quality
    BYTE jpeg_scale;
    LONG current_frame;
    LONG frame_count;
    DWORD frame_delay;          // 1/100 s
    LONG dpi_x;
    LONG dpi_y;
    RECT selection_box;         // bottom-up: top is the larger y; right and top are one past
    BYTE alpha_max;             // global opacity applied when alpha is merged
    bool alpha_palette_enabled; // palette fourth bytes carry alpha
    bool enabled;
    LONG offset_x;              // frame position inside the logical screen
    LONG offset_y;
    DWORD codec_options[kRasterFormatSlots];
    DWORD nearest_color;        // one-entry cache of FindNearestPaletteIndex
    BYTE nearest_index;
    bool nearest_valid;
    LONG layer_count;
    DWORD flags;
    BYTE gif_disposal;          // 0 to 7
    bool keep_all_frames;
    bool little_endian_host;    // the byte-order helpers swap only when false
    LONG max_kept_frames;       // frames kept at most with keep_all_frames; 0 or less: no count limit
};

class LUMI_IMAGE_API CRaster {
public:
    // ---- lifetime -------------------------------------------------------------------
    CRaster();                                      // type 0, empty
    explicit CRaster(DWORD type);                   // empty image of that type
    CRaster(DWORD width, DWORD height, DWORD bpp, DWORD type);  // Create; empty on failure
    // Copies pixels, and the selection and alpha planes when asked. Frames and layers are
    // not copied. A copy of a view is a view of the same owner.
    CRaster(const CRaster& source, bool copySelection = true, bool copyAlpha = true);
    CRaster& operator=(const CRaster& source);
    // Constructors that decode at once (see Load and Decode); empty on failure.
    CRaster(const WCHAR* fileName, DWORD type);
    CRaster(FILE* stream, DWORD type);
    CRaster(CRasterFile* file, DWORD type);
    CRaster(BYTE* buffer, DWORD size, DWORD type);
    virtual ~CRaster();

    // Makes an empty image of width x height (bits rounded up to 1, 4, 8 or 24); palette
    // zeroed, pixels zeroed; selection and alpha planes deleted, layers destroyed, frames
    // kept. Returns the image block, or null with a message (none for a view).
    BYTE* Create(DWORD width, DWORD height, DWORD bpp, DWORD type);
    bool Destroy();        // false for a view; frees block, planes and layers
    bool DestroyFrames();  // false for a view
    bool IsValid() const { return dib != nullptr; }

    // ---- copy, transfer, views ------------------------------------------------------
    void Copy(const CRaster& source, bool copyPixels = true, bool copySelection = true, bool copyAlpha = true);
    // Takes the caller-visible settings (escape, quality, keep-all-frames, ...) of another
    // image; only while this image holds no block. Never copies pointers or counts, nor what
    // a file said about its picture (transparency, palette alpha, resolution): a decoder
    // set up this way starts from what its own file says.
    void CopySettings(const CRaster& source);
    // Takes everything from source, which is left empty. Without frames each side keeps its
    // own frames. False when this image is a view.
    bool MoveFrom(CRaster& source, bool withFrames);
    // Makes this image a view of source (its own buffers are released first).
    void ShareFrom(CRaster& source);

    // ---- header and settings --------------------------------------------------------
    BYTE* GetDIB() const { return dib; }
    DWORD GetWidth() const { return static_cast<DWORD>(header.biWidth); }
    DWORD GetHeight() const { return static_cast<DWORD>(header.biHeight); }
    DWORD GetRowStride() const { return info.row_stride; }
    DWORD GetColorsUsed() const { return header.biClrUsed; }
    WORD GetBpp() const { return header.biBitCount; }
    DWORD GetType() const { return info.type; }
    void ResetType() { info.type = 0; }
    const char* GetLastError() const { return info.last_error; }
    LONG GetProgress() const { return info.progress; }
    void SetProgress(LONG progress) { info.progress = progress; }
    LONG GetEscape() const { return info.escape; }
    void SetEscape(LONG escape) { info.escape = escape; }
    void RequestHeaderOnly() { info.escape = -1; }
    BYTE GetRoundedQuality() const;
    float GetQuality() const { return info.quality; }
    void SetQuality(float quality) { info.quality = quality > 0.0f ? quality : 0.0f; }
    void SetDefaultJpegQuality() { info.quality = 75.0f; }
    BYTE GetJpegScale() const { return info.jpeg_scale; }
    void SetJpegScale(BYTE scale) { info.jpeg_scale = scale; }
    DWORD GetFrameDelay() const { return info.frame_delay; }
    void SetFrameDelay(DWORD delay) { info.frame_delay = delay; }
    LONG GetCurrentFrame() const { return info.current_frame; }
    void SetCurrentFrame(LONG frame) { info.current_frame = frame; }
    LONG GetFrameCount() const { return info.frame_count; }
    BYTE GetGifDisposal() const { return info.gif_disposal; }
    void SetGifDisposal(BYTE disposal) { info.gif_disposal = disposal & 7; }
    bool GetLoadAllFrames() const { return info.keep_all_frames; }
    void SetLoadAllFrames(bool keep) { info.keep_all_frames = keep; }
    // With SetLoadAllFrames(true), decoders stop keeping frames after this many (0: keep
    // every frame up to the 1 GiB that the kept frames of one image may hold together); the
    // file is still decoded to its end.
    LONG GetMaxKeptFrames() const { return info.max_kept_frames; }
    void SetMaxKeptFrames(LONG count) { info.max_kept_frames = count > 0 ? count : 0; }
    void GetOffset(LONG* x, LONG* y) const;
    void SetOffset(LONG x, LONG y) { info.offset_x = x; info.offset_y = y; }
    DWORD GetFlags() const { return info.flags; }
    void SetFlags(DWORD flags, bool lowBitsOnly = false) { info.flags = lowBitsOnly ? (flags & 0xFFFF) : flags; }
    bool IsEnabled() const { return info.enabled; }
    void SetEnabled(bool enabled) { info.enabled = enabled; }
    BYTE GetAlphaMax() const { return info.alpha_max; }
    void SetAlphaMax(BYTE alphaMax) { info.alpha_max = alphaMax; }
    bool GetAlphaPaletteEnabled() const { return info.alpha_palette_enabled; }
    void SetAlphaPaletteEnabled(bool enabled) { info.alpha_palette_enabled = enabled; }
    DWORD GetCodecOption(DWORD type = 0) const;  // 0 or unknown: this image's own type
    void SetCodecOption(DWORD value);            // this image's own type's slot
    LONG GetDpiX() const { return info.dpi_x; }
    LONG GetDpiY() const { return info.dpi_y; }
    LONG SetDpiX(LONG dpi);  // 0 or less means 96; also sets the pixels per metre
    LONG SetDpiY(LONG dpi);
    static const WCHAR* GetVersion();  // u"CRaster 6.0.0"
    static float GetVersionNumber() { return 6.0f; }
    static int GetTypeCount() { return 6; }
    static int SlotOfTypeId(DWORD type);       // unknown ids: 0
    static DWORD TypeIdOfSlot(int slot);       // out-of-range slots: 0

    BYTE* GetBits(DWORD row = 0) const;  // null without block or for row >= height
    DWORD GetSize() const;               // 40 + palette bytes + image bytes (0 when empty)
    bool IsIndexed() const { return header.biClrUsed != 0; }
    WORD GetColorType() const;           // 4 with alpha plane, 1 up to 8 bits, else 2

    LONG GetBackgroundIndex() const { return info.background_index; }
    void SetBackgroundIndex(LONG index);
    bool HasBackgroundIndex() const { return info.background_index >= 0; }
    void SetBackgroundColor(RGBQUAD color);  // keeps blue, green, red; fourth byte 0
    RGBQUAD GetBackgroundColor() const { return info.background_color; }
    RGBQUAD GetTransparentColor() const;

    WORD ToHostShort(WORD value) const;
    DWORD ToHostLong(DWORD value) const;
    void FixInfoHeaderByteOrder(BITMAPINFOHEADER& h) const;

    // ---- pixels (x from the left, y from the bottom) --------------------------------
    bool IsInside(LONG x, LONG y) const;
    BYTE GetPixelIndex(LONG x, LONG y) const;
    // Unchecked forms: the caller guarantees a palette image and (x, y) inside.
    BYTE ReadPixelIndex(LONG x, LONG y) const;
    void WritePixelIndex(LONG x, LONG y, BYTE index);
    void SetPixelIndex(LONG x, LONG y, BYTE index);  // ignored outside or without palette
    RGBQUAD GetPixelColor(LONG x, LONG y, bool withAlpha = true) const;
    RGBQUAD ReadPixelColor(LONG x, LONG y) const;  // unchecked
    void SetPixelColor(LONG x, LONG y, RGBQUAD color, bool withAlpha = false);
    void SetPixelColor(LONG x, LONG y, COLORREF color);
    void WritePixelColor(LONG x, LONG y, RGBQUAD color, bool withAlpha = false);  // unchecked
    BYTE GetPixelGray(LONG x, LONG y) const;
    void BlendPixel(LONG x, LONG y, RGBQUAD color, float blend, bool withAlpha = false);
    void Clear(BYTE value = 0);
    void DrawLine(LONG x1, LONG x2, LONG y1, LONG y2, RGBQUAD color);
    // Builds an image of 1, 4, 8, 24 or 32 bits from caller memory (32 bits: 24-bit image
    // plus alpha plane from the fourth bytes). Each row copies at most min(row stride,
    // bytesPerRow) bytes; flip reverses the row order; a null row pointer is skipped.
    bool CreateFromBuffer(const BYTE* buffer, DWORD width, DWORD height, DWORD bits, DWORD bytesPerRow,
                          bool flip);
    bool CreateFromRows(const BYTE* const* rows, DWORD width, DWORD height, DWORD bits, DWORD bytesPerRow,
                        bool flip);
    // Widens 16- or 32-bit rows held at source (which may be the pixel area itself) into
    // the 24-bit rows of this image through the channel masks. Rows of 16-bit sources are
    // ((width + 1) / 2) x 4 bytes, of 32-bit sources width x 4 bytes.
    void ExpandBitfields(DWORD bits, const BYTE* source, DWORD redMask, DWORD greenMask, DWORD blueMask);
    static int CompareLuminance(const void* a, const void* b);  // qsort order, brightest first

    // ---- palette --------------------------------------------------------------------
    RGBQUAD* GetPalette() const;  // null without palette
    DWORD GetPaletteSize() const { return dib ? header.biClrUsed * 4 : 0; }
    RGBQUAD GetPaletteColor(BYTE index) const;  // zero when out of range
    bool GetPaletteColor(BYTE index, BYTE* red, BYTE* green, BYTE* blue) const;
    void SetPaletteColor(BYTE index, BYTE red, BYTE green, BYTE blue);
    void SetPaletteColor(BYTE index, RGBQUAD color);
    void SetPaletteColor(BYTE index, COLORREF color);
    void SetPalette(const RGBQUAD* entries, DWORD count);
    void SetPaletteRGB(const BYTE* red, const BYTE* green, const BYTE* blue, DWORD count);
    void SetPaletteTriplets(const BYTE* bgr, DWORD count);
    void SetGrayPalette();
    bool IsGrayScale() const;
    void SwapPaletteIndexes(BYTE a, BYTE b);
    void TintPalette(RGBQUAD color, BYTE percent);
    void SetDefaultPalette();
    void SetImportantColors(DWORD count);
    DWORD GetImportantColors() const { return header.biClrImportant; }
    void SwapRedBlue();
    bool IsPaletteEqual(const CRaster& other, bool withFourthByte = false) const;
    BYTE FindNearestPaletteIndex(RGBQUAD color);

    // ---- alpha plane (0 transparent .. 255 opaque) ----------------------------------
    bool HasAlpha() const { return alpha != nullptr; }
    bool CreateAlpha();  // all 255
    void DeleteAlpha();
    void ClearAlpha() { FillAlpha(0); }
    void FillAlpha(BYTE value);
    void InvertAlpha();
    bool CopyAlphaFrom(const CRaster& image);     // same size only
    bool SetAlphaFromGray(const CRaster& image);  // 8-bit grey image of the same size
    void SetAlphaAt(LONG x, LONG y, BYTE value);
    BYTE GetAlphaAt(LONG x, LONG y) const;
    BYTE ReadAlphaAt(LONG x, LONG y) const;  // unchecked
    BYTE* GetAlphaPointer(LONG x = 0, LONG y = 0) const;
    void FlipAlpha();
    void MirrorAlpha();
    bool MakeAlphaImage(CRaster& target) const;
    bool MakePaletteAlphaImage(CRaster& target) const;
    bool ConvertTransparencyToAlpha();
    void StripPaletteAlpha();
    bool HasPaletteAlpha() const;
    void MergeAlpha();
    bool IsTransparent(LONG x, LONG y) const;

    // ---- selection plane (0 outside, non-zero inside) -------------------------------
    // Rectangles and boxes are bottom-up: x in [left, right), y in [bottom, top).
    bool HasSelection() const { return selection != nullptr; }
    RECT GetSelectionBox() const { return info.selection_box; }
    bool CreateSelection();
    void ClearSelection();
    bool FillSelection(BYTE value);
    bool IsSelected(LONG x, LONG y) const;  // true without a plane
    bool AddRectToSelection(RECT rect, BYTE level = 255);
    bool AddEllipseToSelection(RECT rect, BYTE level = 255);
    bool AddPolygonToSelection(const POINT* points, int count, BYTE level = 255);
    bool AddColorToSelection(RGBQUAD color, BYTE level = 255);
    bool AddPixelToSelection(LONG x, LONG y, BYTE level = 255);
    bool InvertSelection();
    bool CopySelectionFrom(const CRaster& image);
    bool SelectionSet(const CRaster& grayImage);
    bool MakeSelectionImage(CRaster& target) const;
    void SetSelectionAt(LONG x, LONG y, BYTE level);
    BYTE GetSelectionAt(LONG x, LONG y) const;
    BYTE* GetSelectionPointer(LONG x = 0, LONG y = 0) const;
    void FlipSelection();
    void MirrorSelection();
    bool RecomputeSelectionBox();
    // One rectangle per run of selected pixels in each row (bottom-up coordinates); the
    // platform's region objects are not available here, so the runs are handed out as is.
    bool BuildSelectionRegion(std::vector<RECT>& region) const;

    // ---- layers and frames ----------------------------------------------------------
    LONG GetLayerCount() const { return info.layer_count; }
    CRaster* GetParent() const { return info.parent; }
    bool AddLayer(LONG position = -1);  // negative or too large: append
    bool DeleteLayer(LONG position = -1);  // negative: the last
    CRaster* GetLayer(LONG index) const;
    CRaster* GetFrame(LONG index) const;  // -1: the last; null out of range

    // ---- flat form (host order, in-memory only) -------------------------------------
    std::size_t FlatSize() const;
    // Writes the flat form; returns the bytes written, 0 when capacity is too small.
    std::size_t Flatten(BYTE* buffer, std::size_t capacity) const;
    // Rebuilds the image from length bytes; returns the bytes consumed, or 0 (image left
    // as it was) when the data is short, inconsistent or this image is a view.
    std::size_t Unflatten(const BYTE* buffer, std::size_t length);

    // ---- orientation ----------------------------------------------------------------
    bool Flip();    // upside down, pixels and alpha (selection untouched)
    bool Mirror();  // left-right, pixels and alpha (selection untouched)

    // ---- whole-image transforms -------------------------------------------------------
    // Coordinates are those of the stored rows (x from the left, y from the bottom row) except
    // where an argument says "top-down". Every transform returns false at once for an image
    // without pixels. Those that build a new picture leave it in `destination` when one is
    // given (this image is then unchanged), else they replace this image. A view may be the
    // source, and what it hands over has pixels of its own, but it cannot receive a picture
    // (false). The new picture carries this image's settings (type, background, DPI, ...),
    // never its frames; this image keeps its layers. When creating the new picture fails, its
    // message is left in GetLastError() and the image is unchanged. Long transforms report
    // progress (0..100) and stop when the escape word is set: the part built so far is handed
    // over and the result is true.

    // Quarter turn counter-clockwise, clockwise, and half turn. Palette, alpha plane and
    // (for the quarter turns) the selection plane turn with the picture.
    bool TurnLeft(CRaster* destination = nullptr);
    bool TurnRight(CRaster* destination = nullptr);
    bool Turn180(CRaster* destination = nullptr);
    // Rotation about the centre by angleDegrees, counter-clockwise as the picture is seen
    // (y up), into an image sized to the rotated corners. Each output pixel takes the
    // source pixel at the floor of its back-rotated position; outside the source it gets
    // what the accessors give outside (background, or pixel (0, 0)) and alpha 0.
    bool Rotate(float angleDegrees, CRaster* destination = nullptr);
    // The same through SampleInterpolated with the given methods. With rightAngleShortcut
    // (and not keepSize) an angle whose rotated corner lands within 0.25 pixel of a quarter
    // or half turn's does that turn instead; no turn at all copies into destination.
    // keepSize keeps this image's width and height.
    bool RotateInterpolated(float angleDegrees, int method, int overflow, const RGBQUAD* replacement,
                            bool rightAngleShortcut, bool keepSize, CRaster* destination = nullptr);
    // Copies a rectangle (top-down edges, clamped to the image, reversed pairs swapped);
    // an empty rectangle fails. The selection plane is not carried.
    bool CropToRect(LONG left, LONG top, LONG right, LONG bottom, CRaster* destination = nullptr);
    bool CropToRect(const RECT& rect, CRaster* destination = nullptr);
    // Crops a width x height rectangle whose top-left corner is (left, top) (top-down) and
    // which is turned counter-clockwise by angleRadians; the result is upright. Both the
    // start corner and the opposite corner must lie inside the image.
    bool CropAtAngle(LONG left, LONG top, LONG width, LONG height, float angleRadians,
                     CRaster* destination = nullptr);
    // Enlarges the canvas (top and bottom as seen: the bottom border takes the lowest stored
    // rows) and fills the borders with canvas (its fourth byte in the alpha plane).
    bool AddBorders(LONG left, LONG top, LONG right, LONG bottom, RGBQUAD canvas, CRaster* destination = nullptr);
    // Enlarges the canvas symmetrically to width x height; a smaller size fails.
    bool PadToSize(LONG width, LONG height, RGBQUAD canvas, CRaster* destination = nullptr);
    // Shrinks to fit width x height (Resample), then centres on a canvas of exactly that size.
    bool MakeThumbnail(LONG width, LONG height, RGBQUAD canvas, CRaster* destination = nullptr);
    // Shears the selected pixels in place: each takes the source position
    // (x + (y - yPivot) x xGain, y + (x - xPivot) x yGain), bilinear when interpolate.
    bool Shear(float xGain, float yGain, LONG xPivot, LONG yPivot, bool interpolate);
    // Radial distortions of the selected pixels about the centre, in place: kind 0 pulls
    // towards the centre (d x d / radius), 1 pushes out (sqrt(d x radius)), 2 swirls by
    // d / factor radians, 3 unrolls to polar coordinates, others ripple every 32 columns.
    // radius 0 reaches the farthest corner of the selection box (or of the image).
    bool RadialTransform(int kind, LONG radius, float factor);

    // Fast resize in place: area average (weights in thousandths of a pixel) when a 24-bit
    // image shrinks both ways, else linear between the four neighbours of x x old/new.
    // Zero sizes fail; the same size changes nothing.
    bool Resample(LONG width, LONG height);
    // Resize through the sampler; shrinking averages areas (SampleArea) unless noAveraging.
    // Sizes of 0 or less fail; the same size succeeds unchanged (copied into destination).
    bool ResampleInterpolated(LONG width, LONG height, int method, int overflow, CRaster* destination = nullptr,
                              bool noAveraging = false);
    // Integer box shrink; a larger target fails with "QIShrink can't enlarge image". force24
    // makes a 24-bit result from a palette image.
    bool QIShrink(LONG width, LONG height, CRaster* destination = nullptr, bool force24 = false);

    // Reduces to 1, 4 or 8 bits (other values round up as Create does). Colours map to the
    // nearest entry of `palette` (importantColors entries, or all 1 << bits when
    // importantColors is 0; the caller provides that many) or, without one, of the standard
    // palette. errorDiffusion spreads each pixel's error to the neighbours still to come
    // (7/16 right; 2/16, 4/16, 1/16 on the next row up). A target deeper than the image
    // fails with "DecreaseBpp: target BPP greater than source BPP"; the same depth with
    // importantColors 0 (or more than the image already limits itself to) changes nothing.
    bool DecreaseBpp(DWORD bits, bool errorDiffusion, const RGBQUAD* palette = nullptr, DWORD importantColors = 0);
    // Raises to 4, 8 or 24 bits without loss; the same depth changes nothing, a shallower
    // one or another value fails. At 24 bits palette alpha becomes an alpha plane.
    bool RaiseBpp(DWORD bits);
    // An 8-bit image with a grey ramp palette: grey = (306 red + 601 green + 117 blue) >> 10.
    bool ConvertToGray();
    // Photographic negative (of the selection, when there is one).
    bool Invert();
    // Grey, then 1 bit (index 0 black, 1 white). Methods: 0 (and any value outside 1..7)
    // Floyd-Steinberg; 1 ordered 4x4; 2 Stucki; 3 Jarvis-Judice-Ninke; 4 Sierra; 5 Burkes;
    // 6 Stevenson-Arce; 7 ordered 16x16.
    bool DitherToMono(int method = 0);

    // ---- sub-pixel sampling ---------------------------------------------------------------
    // A whole-number position is the centre of that pixel. The fourth byte of a sampled
    // colour carries alpha only when the image has an alpha plane, else it is 0. Kernel
    // weights and covered areas are divided by their sum and channels rounded, so a flat
    // picture samples flat under every method.
    // Colour at a sub-pixel position; replacement may be null (white).
    RGBQUAD SampleInterpolated(float x, float y, int method, int overflow, const RGBQUAD* replacement = nullptr) const;
    // Average colour of the areaWidth x areaHeight rectangle centred on (x, y); with both
    // sizes at most 1 it is SampleInterpolated. No replacement colour: kOverflowColor is white.
    RGBQUAD SampleArea(float x, float y, float areaWidth, float areaHeight, int method, int overflow) const;
    // Colour of a whole pixel; outside positions resolved by the overflow method.
    RGBQUAD SamplePixel(LONG x, LONG y, int overflow, const RGBQUAD* replacement = nullptr) const;
    // Maps an outside position back inside for kOverflowWrap, kOverflowRepeat and
    // kOverflowMirror; inside coordinates and other methods leave it alone.
    void ResolveEdgeCoordinates(LONG& x, LONG& y, int overflow) const;
    void ResolveEdgeCoordinates(float& x, float& y, int overflow) const;

    // ---- formats (file entry points) ------------------------------------------------
    static DWORD GetTypeFromExtension(const WCHAR* extension);  // without the dot
    // Typed attempt (when the type has a format), then detection; a missing file gives
    // false and leaves the last-error text alone. A failed decode leaves the image as it was.
    bool Load(const WCHAR* fileName, DWORD type = 0);
    bool Decode(CRasterFile* file, DWORD type);
    bool Decode(FILE* stream, DWORD type);  // the stream stays open
    bool Decode(BYTE* buffer, DWORD size, DWORD type);  // bytes stay the caller's
    // Header-only detection; replaces this image with the probed header. The escape word
    // is restored afterwards.
    bool ProbeFormat(CRasterFile* file, DWORD type);
    bool ProbeFormat(BYTE* buffer, DWORD size, DWORD type);
    bool Encode(CRasterFile* file, DWORD type);
    bool Encode(FILE* stream, DWORD type);
    // buffer must be null on entry; on success it holds malloc'ed bytes the caller frees.
    bool Encode(BYTE*& buffer, long& size, DWORD type);
    bool Encode(CRasterFile* file, CRaster** images, int count, DWORD type);  // GIF only
    bool Encode(FILE* stream, CRaster** images, int count, DWORD type);
    bool Save(const WCHAR* fileName, DWORD type);
    // Pixels as red, green, blue, fourth byte; rows from row 0 up, or down when flip.
    bool WriteRawRgba(CRasterFile* file, bool flip);
    bool WriteRawRgba(BYTE*& buffer, long& size, bool flip);
    // Resources are not available on this platform: always "Unable to load resource!".
    bool LoadFromResource(const WCHAR* resource, DWORD type, HMODULE module);

protected:
    friend class lumi::image::FormatDispatcher;
    friend struct lumi::image::DecoderAccess;

    // Create and CreateAlpha for a decoder that writes every pixel (every alpha value) before
    // it succeeds: what it is about to write is not cleared first (the palette and the bytes
    // that pad each row are). A decoder that fails drops the image it decoded into.
    BYTE* CreateForDecoder(DWORD width, DWORD height, DWORD bpp, DWORD type);
    bool CreateAlphaForDecoder();

    // True (with a message) when a decoder has no stream to read.
    bool CannotDecode(CRasterFile* file);
    // True (with a message) when an encoder must not proceed.
    bool CannotEncode(CRasterFile* file);
    void SetLastError(const char* message);
    void ResetToDefaults(DWORD type);
    // Forgets the transparent index and colour, palette alpha and resolution, so that a
    // decode into this object keeps nothing of an earlier file.
    void ForgetFileProperties();

    BYTE* dib = nullptr;
    BITMAPINFOHEADER header{};
    raster_info_t info{};
    BYTE* selection = nullptr;
    BYTE* alpha = nullptr;
    CRaster** layers = nullptr;
    CRaster** frames = nullptr;

private:
    BYTE* CreateBlock(DWORD width, DWORD height, DWORD bpp, DWORD type, bool clearPixels);
    std::size_t PlaneBytes() const;
    BYTE* PixelByte(LONG x, LONG y) const;
    void InvalidateNearestCache() { info.nearest_valid = false; }
    void ResetSelectionBox();
    void GrowSelectionBox(LONG x, LONG y);
    void CopySettingFields(const raster_info_t& source);
    void ReleaseLayers();
    std::size_t FlattenInto(BYTE* buffer, std::size_t capacity) const;
    std::size_t UnflattenFrom(const BYTE* buffer, std::size_t length, int depth);

    // Steps shared by the whole-image transforms.
    // Makes `picture` an image of width x height at bpp that carries this image's settings
    // (not its planes, layers or frames); the palette is copied when both are palette
    // images of the same depth. On failure the creation's message goes to this image.
    bool CreateLike(CRaster& picture, DWORD width, DWORD height, DWORD bpp);
    // Moves `picture` into destination, or into this image when destination is null or
    // this image. This image's layers stay with it; frames never move; progress reached
    // carries over. False (nothing moved) when the receiving image is a view.
    bool HandOver(CRaster& picture, CRaster* destination);
    // Makes `copy` an independent copy of the pixels, palette and planes, also of a view
    // (whose plain copy would share the buffers being rewritten). False when it cannot be
    // allocated.
    bool SnapshotInto(CRaster& copy);
    // Copies this image into destination (when given and not this image) as an image of
    // its own, also when this image is a view. False when the copy cannot be made or
    // destination is a view.
    bool CopyInto(CRaster* destination);
    // True when a picture could be handed over to destination (or this image): not a view.
    bool CanReceive(const CRaster* destination) const;
    bool TurnQuarter(CRaster* destination, bool clockwise);
};
