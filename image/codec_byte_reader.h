#pragma once
// Stream helpers of the codecs: the little-endian fields of their headers, whole writes, the
// 32-bit rows of an image with alpha, and CodecByteReader, buffered byte-at-a-time reading
// over a CRasterFile for the decoders (BMP RLE, TGA packets, GIF blocks) that would otherwise
// pay one virtual Read per byte.
//
// CodecByteReader reads ahead, so the stream's position afterwards is unspecified; the
// decoders that use it read nothing else from the stream once it has started. The stream
// must outlive it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "image/raster.h"
#include "image/raster_file.h"
#include "platform/win32/win32_types.h"

namespace lumi::image {

inline WORD Le16(const BYTE* p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }

inline DWORD Le32(const BYTE* p) {
    return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) | (static_cast<DWORD>(p[2]) << 16) |
           (static_cast<DWORD>(p[3]) << 24);
}

// The low 16 bits of value.
inline void Put16(BYTE* p, DWORD value) {
    p[0] = static_cast<BYTE>(value);
    p[1] = static_cast<BYTE>(value >> 8);
}

inline void Put32(BYTE* p, DWORD value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<BYTE>(value >> (8 * i));
}

// Writes every byte or reports false; sizes past what one Write call takes are refused.
inline bool WriteAll(CRasterFile* file, const void* data, std::size_t bytes) {
    if (bytes == 0) return true;
    if (bytes > 0xFFFFFFFFu) return false;
    return file->Write(data, 1, static_cast<unsigned>(bytes)) == bytes;
}

// Writes a 24-bit image that has an alpha plane as 32-bit pixels (blue, green, red, alpha),
// rows from the bottom, as BMP and TGA files store them. False when a write fails.
inline bool WriteRowsWithAlpha(CRasterFile* file, const CRaster& image) {
    const DWORD width = image.GetWidth();
    const BYTE* plane = image.GetAlphaPointer(0, 0);
    std::vector<BYTE> row(static_cast<std::size_t>(width) * 4);
    for (DWORD y = 0; y < image.GetHeight(); ++y) {
        const BYTE* src = image.GetBits(y);
        const BYTE* a = plane + static_cast<std::size_t>(y) * width;
        for (DWORD x = 0; x < width; ++x) {
            row[x * 4] = src[x * 3];
            row[x * 4 + 1] = src[x * 3 + 1];
            row[x * 4 + 2] = src[x * 3 + 2];
            row[x * 4 + 3] = a[x];
        }
        if (!WriteAll(file, row.data(), row.size())) return false;
    }
    return true;
}

class CodecByteReader {
public:
    explicit CodecByteReader(CRasterFile* file) : file_(file) {}
    CodecByteReader(const CodecByteReader&) = delete;
    CodecByteReader& operator=(const CodecByteReader&) = delete;

    // The next byte, or -1 at the end of the data.
    int Next() {
        if (pos_ == len_ && !Refill()) return -1;
        return buffer_[pos_++];
    }

    // Copies up to count bytes; returns how many there were.
    std::size_t Read(BYTE* target, std::size_t count) {
        std::size_t done = 0;
        while (done < count) {
            if (pos_ == len_ && !Refill()) break;
            const std::size_t n = std::min(count - done, len_ - pos_);
            std::memcpy(target + done, buffer_ + pos_, n);
            pos_ += n;
            done += n;
        }
        return done;
    }

    // Drops up to count bytes; returns how many there were.
    std::size_t Skip(std::size_t count) {
        std::size_t done = 0;
        while (done < count) {
            if (pos_ == len_ && !Refill()) break;
            const std::size_t n = std::min(count - done, len_ - pos_);
            pos_ += n;
            done += n;
        }
        return done;
    }

    // True when no byte is left.
    bool AtEnd() { return pos_ == len_ && !Refill(); }

private:
    bool Refill() {
        if (ended_) return false;
        pos_ = 0;
        len_ = file_->Read(buffer_, 1, sizeof(buffer_));
        if (len_ == 0) ended_ = true;
        return len_ != 0;
    }

    CRasterFile* file_;
    BYTE buffer_[16384];
    std::size_t pos_ = 0;
    std::size_t len_ = 0;
    bool ended_ = false;
};

}  // namespace lumi::image
