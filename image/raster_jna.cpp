#include "image/raster_jna.h"

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "image/codec_byte_reader.h"
#include "image/codec_failure.h"
#include "image/raster_file.h"
#include "image/raster_jpg.h"
#include "image/raster_mem_file.h"

using namespace lumi::image;

namespace {

constexpr char kNotJna[] = "Not a JNA";
constexpr char kBadSignature[] = "invalid JNA signature";
constexpr char kBadHeader[] = "bad JNA header";
constexpr char kCreateFailed[] = "JNA Create failed";
constexpr char kBlockFailed[] = "JNA block decode failed";
constexpr char kWriteFailed[] = "JNA write failed";

constexpr std::uint32_t kMaxSide = 65535;  // width and height are u16 fields
constexpr unsigned kMaxRun = 255;

bool AcceptedBits(std::uint8_t bits) { return bits == 8 || bits == 16 || bits == 24 || bits == 32; }

bool ReadExactly(CRasterFile* file, BYTE* target, unsigned bytes) { return file->Read(target, 1, bytes) == bytes; }

bool WriteBlockBytes(CRasterFile* file, std::uint8_t type, const BYTE* payload, std::size_t length) {
    if (length > 0xFFFFFFFFu) return false;
    BYTE head[5] = {type};
    Put32(head + 1, static_cast<std::uint32_t>(length));
    return WriteAll(file, head, sizeof(head)) && WriteAll(file, payload, length);
}

}  // namespace

bool CRasterJNA::SerializeHeader(int mode, jna_header_t& h, CRasterFile* file) {
    if (!file) return false;
    if (mode == kRead) {
        BYTE b[4];
        if (!ReadExactly(file, b, 4)) return false;
        h.signature = Le32(b);
        if (!ReadExactly(file, b, 4)) return false;
        h.version = Le32(b);
        if (!ReadExactly(file, b, 2)) return false;
        h.width = Le16(b);
        if (!ReadExactly(file, b, 2)) return false;
        h.height = Le16(b);
        if (!ReadExactly(file, b, 1)) return false;
        h.bits = b[0];
        if (!ReadExactly(file, b, 1)) return false;
        h.block_count = b[0];
        return true;
    }
    if (mode == kWrite) {
        BYTE b[14];
        Put32(b, h.signature);
        Put32(b + 4, h.version);
        Put16(b + 8, h.width);
        Put16(b + 10, h.height);
        b[12] = h.bits;
        b[13] = h.block_count;
        return WriteAll(file, b, sizeof(b));
    }
    return false;
}

bool CRasterJNA::Decode(CRasterFile* file) {
    if (CannotDecode(file)) return false;
    try {
        // The image is built aside and moved in only when the whole file was read.
        auto target = std::make_unique<CRaster>(kRasterTypeJna);
        target->CopySettings(*this);
        const char* failure = DecodeInto(*target, file);
        if (failure) {
            SetLastError(failure);
            return false;
        }
        if (info.escape == -1) return true;
        if (!MoveFrom(*target, false)) return false;
        info.type = kRasterTypeJna;
        return true;
    } catch (const std::bad_alloc&) {
        SetLastError(kBlockFailed);
        return false;
    }
}

// Null on success, else the message.
const char* CRasterJNA::DecodeInto(CRaster& image, CRasterFile* file) {
    jna_header_t h{};
    if (!SerializeHeader(kRead, h, file)) return kNotJna;
    if (h.signature != kSignature) return kBadSignature;
    // 8 bits: what the writer once produced for grey images without alpha.
    if (h.width == 0 || h.height == 0 || !AcceptedBits(h.bits)) return kBadHeader;
    if (info.escape == -1) {
        header.biWidth = h.width;
        header.biHeight = h.height;
        info.type = kRasterTypeJna;
        return nullptr;
    }
    if (!image.Create(h.width, h.height, h.bits, kRasterTypeJna)) return kCreateFailed;
    // An 8-bit file holds a grey colour block; without one the picture is black, not a
    // palette of zeros.
    if (image.GetBpp() == 8) image.SetGrayPalette();
    if (info.escape != 0) return kCancelled;
    for (int i = 0; i < h.block_count; ++i) {
        jna_block_t block{};
        if (!SerializeBlock(image, file, block, kRead)) return kBlockFailed;
    }
    return nullptr;
}

bool CRasterJNA::SerializeBlock(CRaster& image, CRasterFile* file, jna_block_t& block, int mode) {
    if (!file) return false;
    try {
        if (mode == kRead) return ReadBlock(image, file, block);
        if (mode == kWrite) return WriteBlock(image, file, block);
    } catch (const std::bad_alloc&) {
        if (mode == kWrite) SetLastError(kWriteFailed);
    }
    return false;
}

bool CRasterJNA::ReadBlock(CRaster& image, CRasterFile* file, jna_block_t& block) {
    BYTE head[5];
    if (!ReadExactly(file, head, sizeof(head))) return false;
    block.type = head[0];
    block.length = Le32(head + 1);
    // The length comes from the file: it must fit what the stream still holds before
    // anything that size is allocated.
    const long here = file->Tell();
    const long end = file->Size();
    if (here < 0 || end < here || block.length > static_cast<unsigned long>(end - here)) return false;
    std::vector<BYTE> payload(block.length);
    if (block.length > 0 && !ReadExactly(file, payload.data(), block.length)) return false;

    if (block.type == kColorBlock) {
        CRasterMemFile memory(payload.data(), block.length);
        auto jpeg = std::make_unique<CRasterJPG>();
        jpeg->CopySettings(image);
        // The header gives the size and the alpha block covers it: no scaled colour.
        jpeg->SetJpegScale(0);
        // A colour image of another size than the header's is a file that lies about its
        // size (callers judge it by the header): refused before its pixels are decoded.
        jpeg->RequestHeaderOnly();
        if (!jpeg->Decode(&memory) || jpeg->GetWidth() != image.GetWidth() || jpeg->GetHeight() != image.GetHeight())
            return false;
        memory.Seek(0, 0);
        jpeg->SetEscape(0);
        if (!jpeg->Decode(&memory)) return false;
        return image.MoveFrom(*jpeg, true);
    }
    if (block.type == kAlphaBlock) {
        if (!image.CreateAlpha()) return false;
        BYTE* plane = image.GetAlphaPointer(0, 0);
        std::size_t remaining = static_cast<std::size_t>(image.GetWidth()) * image.GetHeight();
        // Runs past the plane end the block; both that and the end of the data count as done.
        for (std::size_t i = 0; i + 1 < payload.size(); i += 2) {
            const std::size_t run = payload[i];
            if (run > remaining) break;
            std::memset(plane, payload[i + 1], run);
            plane += run;
            remaining -= run;
        }
    }
    return true;
}

bool CRasterJNA::WriteBlock(CRaster& image, CRasterFile* file, const jna_block_t& block) {
    if (block.type == kColorBlock) {
        auto jpeg = std::make_unique<CRasterJPG>();
        jpeg->ShareFrom(image);
        jpeg->SetDefaultJpegQuality();
        CRasterMemFile memory;
        if (!memory.Open()) return false;
        if (!jpeg->Encode(&memory)) {
            SetLastError(jpeg->GetLastError());
            return false;
        }
        const long length = memory.Tell();
        if (length < 0 || !WriteBlockBytes(file, kColorBlock, memory.GetBuffer(), static_cast<std::size_t>(length))) {
            SetLastError(kWriteFailed);
            return false;
        }
        return true;
    }
    if (block.type == kAlphaBlock) {
        const BYTE* plane = image.GetAlphaPointer(0, 0);
        if (!plane) return false;
        const std::size_t total = static_cast<std::size_t>(image.GetWidth()) * image.GetHeight();
        std::vector<BYTE> runs;
        for (std::size_t i = 0; i < total;) {
            const BYTE value = plane[i];
            std::size_t run = 1;
            while (i + run < total && plane[i + run] == value && run < kMaxRun) ++run;
            runs.push_back(static_cast<BYTE>(run));
            runs.push_back(value);
            i += run;
        }
        if (!WriteBlockBytes(file, kAlphaBlock, runs.data(), runs.size())) {
            SetLastError(kWriteFailed);
            return false;
        }
        return true;
    }
    return false;
}

bool CRasterJNA::Encode(CRasterFile* file) {
    if (CannotEncode(file)) return false;
    if (GetWidth() > kMaxSide || GetHeight() > kMaxSide) {
        SetLastError(kTooLarge);
        return false;
    }
    // Checked before the header goes out, so a refused image writes nothing.
    if (IsIndexed() && !IsGrayScale()) {
        SetLastError(kOnlyRgbOrGrey);
        return false;
    }
    const bool withAlpha = HasAlpha();
    // The bits of what the colour block holds (one grey or three colour samples), so the
    // reader accepts every file the writer makes.
    jna_header_t h{};
    h.signature = kSignature;
    h.version = kVersion;
    h.width = static_cast<std::uint16_t>(GetWidth());
    h.height = static_cast<std::uint16_t>(GetHeight());
    h.bits = static_cast<std::uint8_t>((IsIndexed() ? 8 : 24) + (withAlpha ? 8 : 0));
    h.block_count = withAlpha ? 2 : 1;
    if (!SerializeHeader(kWrite, h, file)) {
        SetLastError(kWriteFailed);
        return false;
    }
    jna_block_t color{kColorBlock, 0};
    if (!SerializeBlock(*this, file, color, kWrite)) return false;
    jna_block_t alphaBlock{kAlphaBlock, 0};
    return !withAlpha || SerializeBlock(*this, file, alphaBlock, kWrite);
}
