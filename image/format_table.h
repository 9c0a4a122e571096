#pragma once
// The codec table: one entry per image type id, the single place where a codec joins the
// library. Decode, Load, Encode and detection (type 0) all go through it.
//
// To plug in a codec class T (derived from CRaster, constructed with its type id, with
// `bool Decode(CRasterFile*)` and `bool Encode(CRasterFile*)`), replace the type's entry in
// format_table.cpp with MakeCodecEntry<T>(type). A type whose entry has no functions yet
// answers "Decode: Unknown or wrong format" / "Encode: Unknown format" and is skipped by
// detection.
#include <memory>
#include <span>

#include "image/raster.h"

namespace lumi::image {

struct CodecEntry {
    DWORD type = 0;
    // A new codec object of this type (heap: some codecs carry large state).
    std::unique_ptr<CRaster> (*make)() = nullptr;
    // Decodes the stream into the codec object; false with its message on failure.
    bool (*decode)(CRaster& codec, CRasterFile* file) = nullptr;
    // Encodes the codec object (a view of the image to write).
    bool (*encode)(CRaster& codec, CRasterFile* file) = nullptr;
    // Writes images as an endlessly looping animation; null for formats without one.
    bool (*encode_animation)(CRaster& codec, CRasterFile* file, CRaster** images, int count) = nullptr;
    // Whether the first bytes of a stream (kSignatureBytes, fewer for a shorter stream) carry
    // this format's signature; null for a format detection cannot recognise. When detection
    // fails, the reason reported is that of the codec that recognised the data.
    bool (*recognise)(const BYTE* head, std::size_t size) = nullptr;

    bool CanDecode() const { return make && decode; }
    bool CanEncode() const { return make && encode; }
};

template <class T>
CodecEntry MakeCodecEntry(DWORD type) {
    CodecEntry e;
    e.type = type;
    e.make = []() -> std::unique_ptr<CRaster> { return std::make_unique<T>(); };
    e.decode = [](CRaster& codec, CRasterFile* file) { return static_cast<T&>(codec).Decode(file); };
    e.encode = [](CRaster& codec, CRasterFile* file) { return static_cast<T&>(codec).Encode(file); };
    return e;
}

// How many leading bytes of a stream the signature tests look at.
inline constexpr std::size_t kSignatureBytes = 18;

// The library's codec table, one entry per format.
std::span<const CodecEntry> DefaultCodecs();

// Type ids in the order detection tries them: BMP, JPEG, GIF, PNG, TGA, JNA.
inline constexpr DWORD kDetectionOrder[] = {kRasterTypeBmp, kRasterTypeJpg, kRasterTypeGif,
                                            kRasterTypePng, kRasterTypeTga, kRasterTypeJna};

}  // namespace lumi::image
