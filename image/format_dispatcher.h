#pragma once
// FormatDispatcher: runs the codecs of a codec table for an image. CRaster's file entry
// points (Decode, Load, ProbeFormat, Encode, Save) use it over the library's own table;
// tests may run it over a table of their own.
//
// Decoding happens on a fresh codec object that takes the caller's settings; only a
// successful result is moved into the caller's image, so a failed decode leaves the image
// as it was (its last-error text aside). Nothing is thrown out of any operation.
#include <span>
#include <string>

#include "image/format_table.h"
#include "image/raster.h"

namespace lumi::image {

class FormatDispatcher {
public:
    explicit FormatDispatcher(std::span<const CodecEntry> codecs) : codecs_(codecs) {}

    // Type 0 tries every decoder in detection order; when all fail it reports the message of
    // the codec whose signature the data carries, or "Decode: Unknown or wrong format" when
    // none does. A typed attempt passes the codec's message on (that text too for a codec
    // that gave none).
    bool Decode(CRaster& image, CRasterFile* file, DWORD type) const;
    bool Load(CRaster& image, const WCHAR* name, DWORD type) const;
    bool ProbeFormat(CRaster& image, CRasterFile* file, DWORD type) const;
    bool Encode(CRaster& image, CRasterFile* file, DWORD type) const;
    bool EncodeAnimation(CRaster& image, CRasterFile* file, CRaster** images, int count, DWORD type) const;
    bool Save(CRaster& image, const WCHAR* name, DWORD type) const;

private:
    const CodecEntry* Find(DWORD type) const;
    // Decodes into image; on failure `failure` receives the reason.
    bool DecodeWith(const CodecEntry& codec, CRaster& image, CRasterFile* file, std::string& failure) const;
    // Encodes through a view of image made by the codec: write runs one of the codec's
    // writers on it. On failure the codec's message goes to image.
    template <class Write>
    bool EncodeWith(const CodecEntry& codec, CRaster& image, Write write) const;

    std::span<const CodecEntry> codecs_;
};

}  // namespace lumi::image
