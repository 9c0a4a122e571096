#include "image/gif_lzw.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "image/raster.h"

namespace lumi::image {

namespace {

constexpr int kMaxCodeBits = 12;
constexpr int kTableSize = 1 << kMaxCodeBits;  // 4096 codes
constexpr int kHashSize = 5003;                // prime, about 80% occupancy at 4096 entries

// Largest t with t (t + 1) / 2 <= n.
long TriangularRoot(long n) {
    long t = static_cast<long>((std::sqrt(8.0 * static_cast<double>(n) + 1.0) - 1.0) / 2.0);
    while (t > 0 && t * (t + 1) / 2 > n) --t;
    while ((t + 1) * (t + 2) / 2 <= n) ++t;
    return t;
}

}  // namespace

// ---- GifByteSource ------------------------------------------------------------------

bool GifByteSource::SkipSubBlocks() {
    for (;;) {
        const int n = Next();
        if (n < 0) return false;
        if (n == 0) return true;
        if (Skip(static_cast<std::size_t>(n)) != static_cast<std::size_t>(n)) return false;
    }
}

// ---- GifLzwDecoder ------------------------------------------------------------------

void GifLzwDecoder::InitDecoder(int size) {
    code_size_ = size + 1;
    top_slot_ = 1 << code_size_;
    clear_code_ = 1 << size;
    end_code_ = clear_code_ + 1;
    first_free_ = next_slot_ = clear_code_ + 2;
    bit_buffer_ = 0;
    bits_left_ = 0;
    block_pos_ = block_len_ = 0;
    data_ended_ = false;
    stream_ended_ = false;
    std::memset(stack_, 0, sizeof(stack_));
    std::memset(suffix_, 0, sizeof(suffix_));
    std::memset(prefix_, 0, sizeof(prefix_));
}

int GifLzwDecoder::ReadNextCode(GifByteSource& source) {
    while (bits_left_ < code_size_) {
        if (block_pos_ == block_len_) {
            // A 0 length ends the data; what a code still lacks then is taken as the end.
            if (data_ended_) return stream_ended_ ? kDataEnded : end_code_;
            const int n = source.Next();
            if (n <= 0) {
                data_ended_ = true;
                stream_ended_ = n < 0;
                return n < 0 ? kDataEnded : end_code_;
            }
            block_len_ = static_cast<int>(source.Read(block_, static_cast<std::size_t>(n)));
            block_pos_ = 0;
            if (block_len_ < n) {
                // The stream ended inside the sub-block: use what came, then stop.
                data_ended_ = stream_ended_ = true;
                if (block_len_ == 0) return kDataEnded;
            }
        }
        bit_buffer_ |= static_cast<DWORD>(block_[block_pos_++]) << bits_left_;
        bits_left_ += 8;
    }
    const int code = static_cast<int>(bit_buffer_ & ((1u << code_size_) - 1));
    bit_buffer_ >>= code_size_;
    bits_left_ -= code_size_;
    return code;
}

int GifLzwDecoder::Decode(GifByteSource& source, DWORD lineLength, GifLineSink* sink, DWORD& badCodes) {
    const int size = source.Next();
    if (size < 0) return kDataEnded;
    if (size < 2 || size > 9) {
        source.SkipSubBlocks();
        return kBadCodeSize;
    }
    InitDecoder(size);
    if (lineLength == 0) lineLength = 1;
    std::vector<BYTE> line;
    try {
        line.resize(static_cast<std::size_t>(lineLength) + 1);
    } catch (const std::bad_alloc&) {
        source.SkipSubBlocks();
        return kNoMemory;
    }

    DWORD filled = 0;
    int oldCode = 0;
    int firstChar = 0;
    bool haveOld = false;  // false right after a clear: the next code makes no entry
    int result = 0;
    for (;;) {
        int code = ReadNextCode(source);
        if (code < 0 || code == end_code_) break;
        int sp = 0;
        if (code == clear_code_ || !haveOld) {
            if (code == clear_code_) {
                code_size_ = size + 1;
                top_slot_ = 1 << code_size_;
                next_slot_ = first_free_;
                do code = ReadNextCode(source);
                while (code == clear_code_);
                if (code < 0 || code == end_code_) break;
            }
            if (code >= next_slot_) code = 0;
            oldCode = firstChar = code;
            haveOld = true;
            stack_[sp++] = static_cast<BYTE>(code);
        } else {
            int c = code;
            if (code >= next_slot_) {
                // The entry being made now (string of the old code plus its first byte);
                // codes further out are corrupt and are read the same way.
                if (code > next_slot_) ++badCodes;
                stack_[sp++] = static_cast<BYTE>(firstChar);
                c = oldCode;
            }
            // Corrupt tables can link entries in a loop: the walk ends with the stack.
            while (c >= first_free_ && sp < kStackLimit) {
                stack_[sp++] = suffix_[c];
                c = prefix_[c];
            }
            stack_[sp++] = static_cast<BYTE>(c);
            if (next_slot_ < top_slot_ && next_slot_ < kMaxCodes) {
                suffix_[next_slot_] = static_cast<BYTE>(c);
                prefix_[next_slot_] = static_cast<WORD>(oldCode);
                ++next_slot_;
            }
            // Also when the table is full: later codes still extend this one.
            firstChar = c;
            oldCode = code;
            if (next_slot_ >= top_slot_ && code_size_ < kMaxCodeBits) {
                top_slot_ <<= 1;
                ++code_size_;
            }
        }
        while (sp > 0) {
            line[filled++] = stack_[--sp];
            if (filled == lineLength) {
                filled = 0;
                if (sink) {
                    const int stored = sink->StoreLine(line.data(), lineLength);
                    if (stored < 0) return stored;
                }
            }
        }
    }
    if (filled > 0 && sink) {
        const int stored = sink->StoreLine(line.data(), filled);
        if (stored < 0) result = stored;
    }
    // The end code may come before the last sub-block: the rest of the data is passed over.
    if (!data_ended_) source.SkipSubBlocks();
    return result;
}

// ---- GifIndexSource -----------------------------------------------------------------

GifIndexSource::GifIndexSource(const CRaster& image)
    : image_(image), width_(static_cast<LONG>(image.GetWidth())), row_(static_cast<LONG>(image.GetHeight()) - 1) {
    if (width_ <= 0) row_ = -1;
    line_.resize(static_cast<std::size_t>(std::max<LONG>(width_, 1)));
    if (row_ >= 0) LoadRow();
}

void GifIndexSource::LoadRow() {
    if (image_.GetBpp() == 8) {
        std::memcpy(line_.data(), image_.GetBits(static_cast<DWORD>(row_)), static_cast<std::size_t>(width_));
        return;
    }
    for (LONG x = 0; x < width_; ++x) line_[static_cast<std::size_t>(x)] = image_.GetPixelIndex(x, row_);
}

int GifIndexSource::Next() {
    if (row_ < 0) return -1;
    const int value = line_[static_cast<std::size_t>(column_)];
    if (++column_ == width_) {
        column_ = 0;
        if (--row_ >= 0) LoadRow();
    }
    return value;
}

// ---- GifCodeWriter ------------------------------------------------------------------

GifCodeWriter::GifCodeWriter(CRasterFile* file, int initBits, int maxBlock)
    : file_(file),
      init_bits_(initBits),
      max_block_(std::clamp(maxBlock, 1, 255)),
      bits_(initBits),
      max_code_((1 << initBits) - 1),
      clear_code_(1 << (initBits - 1)),
      end_code_(clear_code_ + 1) {
    free_entries = clear_code_ + 2;
}

void GifCodeWriter::Output(int code) {
    accumulator_ |= static_cast<std::uint32_t>(code) << accumulated_bits_;
    accumulated_bits_ += bits_;
    while (accumulated_bits_ >= 8) {
        PutByte(static_cast<BYTE>(accumulator_ & 0xFF));
        accumulator_ >>= 8;
        accumulated_bits_ -= 8;
    }
    // The decoder widens its codes when its table reaches the largest code of the width.
    if (clear_pending_) {
        bits_ = init_bits_;
        max_code_ = (1 << bits_) - 1;
        clear_pending_ = false;
    } else if (free_entries > max_code_ && bits_ < kMaxCodeBits) {
        ++bits_;
        max_code_ = bits_ == kMaxCodeBits ? kTableSize : (1 << bits_) - 1;
    }
}

void GifCodeWriter::PutByte(BYTE b) {
    packet_[packet_len_++] = b;
    if (packet_len_ >= max_block_) FlushBlock();
}

void GifCodeWriter::FlushBlock() {
    if (packet_len_ == 0) return;
    if (!file_->PutC(static_cast<unsigned char>(packet_len_))) failed_ = true;
    if (file_->Write(packet_, 1, static_cast<unsigned>(packet_len_)) != static_cast<unsigned>(packet_len_))
        failed_ = true;
    packet_len_ = 0;
}

bool GifCodeWriter::Finish() {
    Output(end_code_);
    if (accumulated_bits_ > 0) {
        PutByte(static_cast<BYTE>(accumulator_ & 0xFF));
        accumulator_ = 0;
        accumulated_bits_ = 0;
    }
    FlushBlock();
    if (!file_->Flush() || file_->Error() != 0) failed_ = true;
    return !failed_;
}

// ---- compressors --------------------------------------------------------------------

namespace {

// Writes a clear code: the decoder's table starts again from its first free entry.
void ClearTable(GifCodeWriter& writer, long& codes) {
    writer.free_entries = writer.first_free();
    writer.RequestClear();
    writer.Output(writer.clear_code());
    ++codes;
}

// Counts a code the decoder turns into a table entry; a full table is cleared.
void AfterCode(GifCodeWriter& writer, long& codes) {
    if (writer.free_entries < kTableSize)
        ++writer.free_entries;
    else
        ClearTable(writer, codes);
}

long Finish(GifCodeWriter& writer, long codes) { return writer.Finish() ? codes + 1 : -1; }

}  // namespace

long WriteLzwCodes(GifCodeWriter& writer, GifIndexSource& source) {
    // Classic hashed LZW: an entry is (pixel, prefix code), found by open addressing.
    int hashShift = 0;
    for (long f = kHashSize; f < 65536; f *= 2) ++hashShift;
    hashShift = 8 - hashShift;
    std::vector<std::int32_t> hashes(kHashSize, -1);
    std::vector<WORD> codes(kHashSize, 0);

    long written = 1;
    writer.Output(writer.clear_code());
    int ent = source.Next();
    if (ent < 0) return Finish(writer, written);
    for (int c = source.Next(); c >= 0; c = source.Next()) {
        const std::int32_t key = (static_cast<std::int32_t>(c) << kMaxCodeBits) + ent;
        int i = (c << hashShift) ^ ent;
        bool found = false;
        if (hashes[i] == key) {
            found = true;
        } else if (hashes[i] >= 0) {
            const int step = i == 0 ? 1 : kHashSize - i;
            do {
                i -= step;
                if (i < 0) i += kHashSize;
                if (hashes[i] == key) {
                    found = true;
                    break;
                }
            } while (hashes[i] >= 0);
        }
        if (found) {
            ent = codes[i];
            continue;
        }
        writer.Output(ent);
        ++written;
        ent = c;
        if (writer.free_entries < kTableSize) {
            codes[i] = static_cast<WORD>(writer.free_entries++);
            hashes[i] = key;
        } else {
            std::fill(hashes.begin(), hashes.end(), -1);
            ClearTable(writer, written);
        }
    }
    writer.Output(ent);
    ++written;
    return Finish(writer, written);
}

long WritePixelCodes(GifCodeWriter& writer, GifIndexSource& source) {
    long written = 1;
    writer.Output(writer.clear_code());
    for (int c = source.Next(); c >= 0; c = source.Next()) {
        writer.Output(c);
        ++written;
        AfterCode(writer, written);
    }
    return Finish(writer, written);
}

long WriteRunCodes(GifCodeWriter& writer, GifIndexSource& source) {
    // A run of one value is sent as a clear, the value, then codes for ever longer runs of
    // it: each code names the entry the decoder is making at that moment (the previous run
    // plus one more pixel), so t codes cover t (t + 1) / 2 pixels. Short runs go as single
    // pixel codes, whichever needs fewer codes.
    long written = 1;
    writer.Output(writer.clear_code());
    const long maxRunCodes = kTableSize - 2 - writer.first_free();
    auto single = [&](int value) {
        writer.Output(value);
        ++written;
        AfterCode(writer, written);
    };
    int value = source.Next();
    while (value >= 0) {
        long length = 1;
        int next = source.Next();
        while (next == value) {
            ++length;
            next = source.Next();
        }
        while (length > 0) {
            const long t = std::min(TriangularRoot(length), maxRunCodes);
            const long covered = t * (t + 1) / 2;
            const long rest = length - covered;
            const bool tail = rest > 0 && rest <= t;
            const long chunk = covered + (tail ? rest : 0);
            const long runCost = 1 + t + (tail ? 1 : 0);
            if (runCost >= chunk) {
                for (; length > 0; --length) single(value);
                break;
            }
            ClearTable(writer, written);
            writer.Output(value);
            ++written;
            ++writer.free_entries;
            for (long k = 2; k <= t; ++k) {
                writer.Output(writer.free_entries - 1);
                ++written;
                ++writer.free_entries;
            }
            if (tail) {
                writer.Output(rest == 1 ? value : writer.first_free() + static_cast<int>(rest) - 2);
                ++written;
                ++writer.free_entries;
            }
            length -= chunk;
        }
        value = next;
    }
    return Finish(writer, written);
}

}  // namespace lumi::image
