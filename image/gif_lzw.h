#pragma once
// The variable-width LZW coding of GIF image data, both ways, over data sub-blocks (a length
// byte 1-255, then the bytes; a 0 length ends the data).
//
// GifByteSource is the codecs' buffered reader with what the block scanning of the GIF decoder
// adds to it. GifLzwDecoder turns one image's data into lines of palette indexes; it is bounded
// against hostile data: code chains walk at most 4094 entries (the prefix links of a corrupt
// table can form a loop) and codes past the next free slot are counted, never followed into
// undefined entries. The encoders write what any standard LZW decoder reads.
//
// The decoder's tables (16 KB) live in the object, the encoders allocate theirs per call;
// nothing is static, so distinct objects may work on distinct threads.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/codec_byte_reader.h"
#include "image/raster_file.h"
#include "platform/win32/win32_types.h"

class CRaster;

namespace lumi::image {

// Buffered reading of a stream from its current position (see CodecByteReader).
class GifByteSource : public CodecByteReader {
public:
    using CodecByteReader::CodecByteReader;

    // Passes over data sub-blocks up to and including the 0 length; false when the data
    // ends first.
    bool SkipSubBlocks();
};

// Receives each decoded line of palette indexes (length is the line length, or less for
// the last, partly filled line). A negative result stops the decoding with that result.
class GifLineSink {
public:
    virtual int StoreLine(const BYTE* line, DWORD length) = 0;

protected:
    ~GifLineSink() = default;
};

class GifLzwDecoder {
public:
    static constexpr int kBadCodeSize = -20;   // minimum code size outside 2..9
    static constexpr int kNoMemory = -10;      // the line buffer could not be allocated
    static constexpr int kDataEnded = -1;      // the stream ended inside the data

    // Decodes one image's data: the minimum code size byte, then sub-blocks. Lines of
    // lineLength indexes go to sink (which may be null: the data is only walked). Returns 0
    // when the data ended (end code, a 0 length, or the stream's end, which still delivers
    // the lines decoded so far), or a negative error. Afterwards the source stands right
    // after the data's 0 length when the data was well framed. badCodes counts codes that
    // lay beyond the next free slot.
    int Decode(GifByteSource& source, DWORD lineLength, GifLineSink* sink, DWORD& badCodes);

private:
    static constexpr int kMaxCodes = 4096;
    static constexpr int kStackLimit = 4094;

    void InitDecoder(int size);
    int ReadNextCode(GifByteSource& source);

    // Decoder state.
    int code_size_ = 0;
    int top_slot_ = 0;
    int clear_code_ = 0;
    int end_code_ = 0;
    int first_free_ = 0;
    int next_slot_ = 0;
    DWORD bit_buffer_ = 0;
    int bits_left_ = 0;
    BYTE block_[256] = {};
    int block_pos_ = 0;
    int block_len_ = 0;
    bool data_ended_ = false;   // the 0 length (or the stream's end) was read
    bool stream_ended_ = false;

    BYTE stack_[kMaxCodes] = {};
    BYTE suffix_[kMaxCodes] = {};
    WORD prefix_[kMaxCodes] = {};
};

// Palette indexes of an image in GIF order: top row first, left to right.
class GifIndexSource {
public:
    explicit GifIndexSource(const CRaster& image);
    // The next index, or -1 after the last pixel.
    int Next();

private:
    const CRaster& image_;
    LONG width_;
    LONG row_;     // bottom-up row being read; -1 when done
    LONG column_ = 0;
    std::vector<BYTE> line_;
    void LoadRow();
};

// Packs codes least significant bit first into sub-blocks, and keeps the code width in step
// with what a decoder's table does. Write failures are remembered, not reported at once.
class GifCodeWriter {
public:
    // initBits: the width after a clear (minimum code size + 1); maxBlock: data bytes per
    // sub-block (254 or 255).
    GifCodeWriter(CRasterFile* file, int initBits, int maxBlock);

    int clear_code() const { return clear_code_; }
    int end_code() const { return end_code_; }
    int first_free() const { return clear_code_ + 2; }

    // The code of the next entry the decoder's table will make, kept by the compressor in
    // step with the decoder; the width grows when it passes the largest code of the width.
    int free_entries = 0;

    // Writes code at the current width.
    void Output(int code);
    // Returns to the initial width after the clear code that the caller writes next.
    void RequestClear() { clear_pending_ = true; }

    // Writes the end code, flushes the bits and the sub-block. True when every write went.
    bool Finish();
    bool failed() const { return failed_; }

private:
    void PutByte(BYTE b);
    void FlushBlock();

    CRasterFile* file_;
    int init_bits_;
    int max_block_;
    int bits_;
    int max_code_;
    int clear_code_;
    int end_code_;
    bool clear_pending_ = false;
    std::uint32_t accumulator_ = 0;
    int accumulated_bits_ = 0;
    BYTE packet_[256] = {};
    int packet_len_ = 0;
    bool failed_ = false;
};

// The three compressors. Each writes clear first, then the codes of every index of source,
// then the end code, into writer (sub-blocks of the writer's size). They return the number of
// codes written (clear and end codes included), or -1 when a write failed.
long WriteLzwCodes(GifCodeWriter& writer, GifIndexSource& source);
long WritePixelCodes(GifCodeWriter& writer, GifIndexSource& source);
long WriteRunCodes(GifCodeWriter& writer, GifIndexSource& source);

}  // namespace lumi::image
