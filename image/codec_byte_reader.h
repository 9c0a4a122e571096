#pragma once
// Stream helpers of the codecs. CodecByteReader: buffered byte-at-a-time reading over a
// CRasterFile, for the run-length decoders (BMP RLE, TGA packets) that would otherwise pay
// one virtual Read per byte.
//
// It reads ahead, so the stream's position afterwards is unspecified; the decoders that use
// it read nothing else from the stream once it has started. The stream must outlive it.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "image/raster_file.h"
#include "platform/win32/win32_types.h"

namespace lumi::image {

// Writes every byte or reports false; sizes past what one Write call takes are refused.
inline bool WriteAll(CRasterFile* file, const void* data, std::size_t bytes) {
    if (bytes == 0) return true;
    if (bytes > 0xFFFFFFFFu) return false;
    return file->Write(data, 1, static_cast<unsigned>(bytes)) == bytes;
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
