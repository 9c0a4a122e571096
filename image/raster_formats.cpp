// CRaster: file entry points over the codec table.
#include <cstdlib>
#include <vector>

#include "image/format_dispatcher.h"
#include "image/raster.h"
#include "image/raster_io_file.h"
#include "image/raster_mem_file.h"

using lumi::image::DefaultCodecs;
using lumi::image::FormatDispatcher;

namespace {

constexpr char kBufferNotEmpty[] = "the buffer must be empty";

// Runs write on a new memory stream and, when it succeeds, hands the stream's bytes to the
// caller, who frees them with free().
template <class Write>
bool WriteToNewBuffer(BYTE*& buffer, long& size, Write write) {
    CRasterMemFile file;
    if (!file.Open() || !write(&file)) return false;
    size = file.Size();
    buffer = file.GetBuffer(true);
    return true;
}

}  // namespace

CRaster::CRaster(const WCHAR* fileName, DWORD type) {
    ResetToDefaults(type);
    Load(fileName, type);
}

CRaster::CRaster(FILE* stream, DWORD type) {
    ResetToDefaults(type);
    Decode(stream, type);
}

CRaster::CRaster(CRasterFile* file, DWORD type) {
    ResetToDefaults(type);
    Decode(file, type);
}

CRaster::CRaster(BYTE* buffer, DWORD size, DWORD type) {
    ResetToDefaults(type);
    Decode(buffer, size, type);
}

DWORD CRaster::GetTypeFromExtension(const WCHAR* extension) {
    if (!extension) return kRasterTypeNone;
    static constexpr struct {
        char text[4];
        DWORD type;
    } kExtensions[] = {{"bmp", kRasterTypeBmp}, {"jpg", kRasterTypeJpg}, {"jpe", kRasterTypeJpg},
                       {"jfi", kRasterTypeJpg}, {"gif", kRasterTypeGif}, {"png", kRasterTypePng},
                       {"tga", kRasterTypeTga}, {"jna", kRasterTypeJna}};
    auto lower = [](WCHAR c) { return c >= u'A' && c <= u'Z' ? static_cast<WCHAR>(c - u'A' + u'a') : c; };
    for (const auto& e : kExtensions) {
        int i = 0;
        while (i < 3 && extension[i] && lower(extension[i]) == static_cast<WCHAR>(e.text[i])) ++i;
        if (i == 3) return e.type;
    }
    return kRasterTypeNone;
}

bool CRaster::Load(const WCHAR* fileName, DWORD type) {
    return FormatDispatcher(DefaultCodecs()).Load(*this, fileName, type);
}

bool CRaster::Decode(CRasterFile* file, DWORD type) { return FormatDispatcher(DefaultCodecs()).Decode(*this, file, type); }

bool CRaster::Decode(FILE* stream, DWORD type) {
    if (!stream) return Decode(static_cast<CRasterFile*>(nullptr), type);
    CRasterIOFile file(stream);
    return Decode(&file, type);
}

bool CRaster::Decode(BYTE* buffer, DWORD size, DWORD type) {
    CRasterMemFile file(buffer, size);
    return Decode(&file, type);
}

bool CRaster::ProbeFormat(CRasterFile* file, DWORD type) {
    return FormatDispatcher(DefaultCodecs()).ProbeFormat(*this, file, type);
}

bool CRaster::ProbeFormat(BYTE* buffer, DWORD size, DWORD type) {
    if (!buffer || size == 0) {
        SetLastError("invalid or empty buffer");
        return false;
    }
    CRasterMemFile file(buffer, size);
    return ProbeFormat(&file, type);
}

bool CRaster::Encode(CRasterFile* file, DWORD type) { return FormatDispatcher(DefaultCodecs()).Encode(*this, file, type); }

bool CRaster::Encode(FILE* stream, DWORD type) {
    if (!stream) return Encode(static_cast<CRasterFile*>(nullptr), type);
    CRasterIOFile file(stream);
    return Encode(&file, type);
}

bool CRaster::Encode(BYTE*& buffer, long& size, DWORD type) {
    if (buffer) {
        SetLastError(kBufferNotEmpty);
        return false;
    }
    return WriteToNewBuffer(buffer, size, [&](CRasterFile* file) { return Encode(file, type); });
}

bool CRaster::Encode(CRasterFile* file, CRaster** images, int count, DWORD type) {
    return FormatDispatcher(DefaultCodecs()).EncodeAnimation(*this, file, images, count, type);
}

bool CRaster::Encode(FILE* stream, CRaster** images, int count, DWORD type) {
    if (!stream) return Encode(static_cast<CRasterFile*>(nullptr), images, count, type);
    CRasterIOFile file(stream);
    return Encode(&file, images, count, type);
}

bool CRaster::Save(const WCHAR* fileName, DWORD type) {
    return FormatDispatcher(DefaultCodecs()).Save(*this, fileName, type);
}

bool CRaster::CannotDecode(CRasterFile* file) {
    if (file) return false;
    SetLastError("null file handler");
    return true;
}

bool CRaster::CannotEncode(CRasterFile* file) {
    if (CannotDecode(file)) return true;
    if (!dib) {
        SetLastError("null image!!!");
        return true;
    }
    return false;
}

bool CRaster::WriteRawRgba(CRasterFile* file, bool flip) {
    if (CannotEncode(file)) return false;
    const DWORD w = GetWidth(), h = GetHeight();
    std::vector<BYTE> row;
    try {
        row.resize(static_cast<std::size_t>(w) * 4);
    } catch (...) {
        return false;
    }
    for (DWORD i = 0; i < h; ++i) {
        const LONG y = static_cast<LONG>(flip ? h - 1 - i : i);
        for (DWORD x = 0; x < w; ++x) {
            // The palette entry's fourth byte (or 0) unless a plane gives the alpha.
            const RGBQUAD c = GetPixelColor(static_cast<LONG>(x), y, false);
            BYTE* p = &row[x * 4];
            p[0] = c.rgbRed;
            p[1] = c.rgbGreen;
            p[2] = c.rgbBlue;
            p[3] = alpha ? ReadAlphaAt(static_cast<LONG>(x), y) : (header.biClrUsed ? c.rgbReserved : 0);
        }
        if (file->Write(row.data(), 1, static_cast<unsigned>(row.size())) != row.size()) return false;
    }
    return true;
}

bool CRaster::WriteRawRgba(BYTE*& buffer, long& size, bool flip) {
    if (buffer) {
        SetLastError(kBufferNotEmpty);
        return false;
    }
    return WriteToNewBuffer(buffer, size, [&](CRasterFile* file) { return WriteRawRgba(file, flip); });
}

bool CRaster::LoadFromResource(const WCHAR*, DWORD, HMODULE) {
    SetLastError("Unable to load resource!");
    return false;
}
