// GIF codec: round trips through the codec's own writers, hand-built files for composition,
// disposal, transparency and interlacing, and hostile files.
#include <algorithm>
#include <string>

#include "image/raster_gif.h"
#include "tests/image/codec_test_util.h"

namespace {

using lumi::test::ByteWriter;
using lumi::test::Bytes;
using lumi::test::DecodeBytes;

struct Rgb {
    BYTE r, g, b;
};

// A GIF written by hand. Image data is packed by the simplest LZW stream there is (a clear
// code before every pixel code), so it does not depend on the codec's compressors.
class GifBuilder {
public:
    GifBuilder(unsigned width, unsigned height, const std::vector<Rgb>& global, const char* version = "GIF89a",
               unsigned background = 0) {
        out.Raw(Bytes(version, version + 6)).U16(width).U16(height);
        out.U8(global.empty() ? 0 : 0x80 | TableBits(global.size())).U8(background).U8(0);
        Table(global);
    }
    GifBuilder& Control(unsigned disposal, unsigned delay, int transparent = -1) {
        out.U8('!').U8(0xF9).U8(4).U8((disposal << 2) | (transparent >= 0 ? 1 : 0)).U16(delay);
        out.U8(transparent >= 0 ? transparent : 0).U8(0);
        return *this;
    }
    GifBuilder& Loop(unsigned raw) {
        out.U8('!').U8(0xFF).U8(11).Raw(Bytes{'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'});
        out.U8(3).U8(1).U16(raw).U8(0);
        return *this;
    }
    GifBuilder& Comment(const std::string& text) {
        out.U8('!').U8(0xFE).U8(text.size()).Raw(Bytes(text.begin(), text.end())).U8(0);
        return *this;
    }
    // rows: top-down palette indexes.
    GifBuilder& Image(unsigned left, unsigned top, unsigned width, const std::vector<Bytes>& rows,
                      const std::vector<Rgb>& local = {}, bool interlaced = false, unsigned minCodeSize = 0) {
        out.U8(',').U16(left).U16(top).U16(width).U16(rows.size());
        out.U8((local.empty() ? 0 : 0x80 | TableBits(local.size())) | (interlaced ? 0x40 : 0));
        Table(local);
        std::vector<const Bytes*> order;
        if (interlaced) {
            for (auto [start, step] : {std::pair{0u, 8u}, {4u, 8u}, {2u, 4u}, {1u, 2u}})
                for (unsigned y = start; y < rows.size(); y += step) order.push_back(&rows[y]);
        } else {
            for (const Bytes& row : rows) order.push_back(&row);
        }
        const unsigned size = minCodeSize ? minCodeSize : 8;
        std::vector<std::pair<unsigned, unsigned>> codes;
        for (const Bytes* row : order)
            for (BYTE index : *row) codes.insert(codes.end(), {{1u << size, size + 1}, {index, size + 1}});
        codes.push_back({(1u << size) + 1, size + 1});
        return Data(size, codes);
    }
    // Raw codes with their widths, packed into sub-blocks.
    GifBuilder& Data(unsigned minCodeSize, const std::vector<std::pair<unsigned, unsigned>>& codes) {
        Bytes packed;
        unsigned long acc = 0;
        unsigned bits = 0;
        for (auto [code, width] : codes) {
            acc |= static_cast<unsigned long>(code) << bits;
            for (bits += width; bits >= 8; bits -= 8, acc >>= 8) packed.push_back(acc & 0xFF);
        }
        if (bits) packed.push_back(acc & 0xFF);
        out.U8(minCodeSize);
        for (std::size_t i = 0; i < packed.size(); i += 255) {
            const std::size_t n = std::min<std::size_t>(255, packed.size() - i);
            out.U8(n).Raw(Bytes(packed.begin() + i, packed.begin() + i + n));
        }
        out.U8(0);
        return *this;
    }
    Bytes Finish() { return out.U8(';').bytes; }

    ByteWriter out;

private:
    static unsigned TableBits(std::size_t n) {
        unsigned e = 0;
        while ((2u << e) < n) ++e;
        return e;
    }
    void Table(const std::vector<Rgb>& t) {
        if (t.empty()) return;
        const std::size_t n = 2u << TableBits(t.size());
        for (std::size_t i = 0; i < n; ++i) {
            const Rgb c = i < t.size() ? t[i] : Rgb{0, 0, 0};
            out.U8(c.r).U8(c.g).U8(c.b);
        }
    }
};

const std::vector<Rgb> kFour = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};

Bytes Fill(unsigned width, BYTE index) { return Bytes(width, index); }

// Index and colour at (x, y) with y counted from the top.
BYTE IndexAt(const CRaster& image, LONG x, LONG y) {
    return image.GetPixelIndex(x, static_cast<LONG>(image.GetHeight()) - 1 - y);
}
RGBQUAD ColorAt(const CRaster& image, LONG x, LONG y) {
    return image.GetPixelColor(x, static_cast<LONG>(image.GetHeight()) - 1 - y, true);
}
bool TransparentAt(const CRaster& image, LONG x, LONG y) {
    return image.IsTransparent(x, static_cast<LONG>(image.GetHeight()) - 1 - y);
}
std::string Row(const CRaster& image, LONG y) {
    std::string s;
    for (LONG x = 0; x < static_cast<LONG>(image.GetWidth()); ++x)
        s += TransparentAt(image, x, y) ? '.' : static_cast<char>('0' + IndexAt(image, x, y));
    return s;
}

bool DecodeGif(CRasterGIF& gif, const Bytes& bytes) {
    CRasterMemFile file(const_cast<BYTE*>(bytes.data()), static_cast<unsigned>(bytes.size()));
    return gif.Decode(&file);
}

Bytes EncodeGif(CRasterGIF& gif) {
    CRasterMemFile file;
    file.Open();
    if (!gif.Encode(&file)) return {};
    const BYTE* data = file.GetBuffer();
    return Bytes(data, data + file.Size());
}

std::size_t CountOf(const Bytes& haystack, const Bytes& needle) {
    std::size_t n = 0;
    for (auto it = haystack.begin(); (it = std::search(it, haystack.end(), needle.begin(), needle.end())) != haystack.end();
         ++it)
        ++n;
    return n;
}

TEST(GifCodec, RoundTripsEveryDepthWithEveryCompressor) {
    for (DWORD bits : {1u, 4u, 8u}) {
        for (DWORD compressor : {0u, 1u, 2u}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, compressor " << compressor);
            // Wide enough that the LZW table fills and is cleared several times.
            CRaster source(301, 97, bits, kRasterTypeGif);
            lumi::test::FillPattern(source, false);
            for (LONG y = 0; y < 97; y += 3)  // runs and noise both
                for (LONG x = 0; x < 301; ++x)
                    source.SetPixelIndex(x, y, static_cast<BYTE>((x * x * 7 + y * 13) % source.GetColorsUsed()));
            source.SetCodecOption(compressor);
            const Bytes file = lumi::test::EncodeBytes(source, kRasterTypeGif);
            ASSERT_FALSE(file.empty()) << source.GetLastError();
            CRaster decoded;
            ASSERT_TRUE(DecodeBytes(decoded, file, kRasterTypeGif));
            EXPECT_EQ(decoded.GetType(), kRasterTypeGif);
            EXPECT_EQ(decoded.GetBpp(), bits);
            lumi::test::ExpectSamePixels(source, decoded);
        }
    }
}

TEST(GifCodec, RunCodesBeatPixelCodesOnRuns) {
    CRaster source(640, 48, 8, kRasterTypeGif);
    lumi::test::FillPattern(source, false);
    for (LONG y = 0; y < 48; ++y)
        for (LONG x = 0; x < 640; ++x) source.SetPixelIndex(x, y, static_cast<BYTE>((x / 97 + y / 5) % 7));
    source.SetCodecOption(1);
    const Bytes pixels = lumi::test::EncodeBytes(source, kRasterTypeGif);
    source.SetCodecOption(2);
    const Bytes runs = lumi::test::EncodeBytes(source, kRasterTypeGif);
    EXPECT_LT(runs.size() * 4, pixels.size());
    CRaster decoded;
    ASSERT_TRUE(DecodeBytes(decoded, runs, kRasterTypeGif));
    lumi::test::ExpectSamePixels(source, decoded);
}

TEST(GifCodec, ReadsVersionsAndHeaderOnly) {
    for (const char* version : {"GIF87a", "GIF89a"}) {
        const Bytes file = GifBuilder(3, 2, kFour, version).Image(0, 0, 3, {{1, 2, 3}, {0, 1, 2}}).Finish();
        CRaster image;
        ASSERT_TRUE(DecodeBytes(image, file, kRasterTypeNone)) << version;
        EXPECT_EQ(image.GetType(), kRasterTypeGif);
        EXPECT_EQ(Row(image, 0) + "/" + Row(image, 1), "123/012");
        EXPECT_EQ(lumi::test::Hex(ColorAt(image, 0, 0)), "ff0000/00");
    }
    Bytes wrong = GifBuilder(3, 2, kFour).Image(0, 0, 3, {{1, 2, 3}, {0, 1, 2}}).Finish();
    wrong[3] = '7';
    CRasterGIF gif;
    EXPECT_FALSE(DecodeGif(gif, wrong));
    EXPECT_STREQ(gif.GetLastError(), "Not a GIF");

    CRasterGIF probe;
    probe.RequestHeaderOnly();
    ASSERT_TRUE(DecodeGif(probe, GifBuilder(300, 200, kFour).Finish()));
    EXPECT_EQ(probe.GetWidth(), 300u);
    EXPECT_EQ(probe.GetHeight(), 200u);
    EXPECT_FALSE(probe.IsValid());
}

// Three frames on a 4 x 2 screen with transparent index 0: frame 1 draws 1s over the left
// half with the disposal under test; frame 2 draws 2s at column 1 and is restored to what
// was there before it; frame 3 draws a 3 and a transparent pixel over columns 2 and 3, and
// its own disposal must not touch the screen that is handed out.
Bytes DisposalAnimation(unsigned firstDisposal) {
    GifBuilder b(4, 2, kFour);
    b.Loop(0).Control(firstDisposal, 10, 0).Image(0, 0, 2, {{1, 1}, {1, 1}});
    b.Control(3, 20, 0).Image(1, 0, 1, {{2}, {2}});
    b.Control((firstDisposal + 2) % 4, 30, 0).Image(2, 0, 2, {{3, 0}, {0, 3}});
    return b.Finish();
}

TEST(GifCodec, ComposesFramesWithEachDisposal) {
    struct Case {
        unsigned first_disposal;
        const char* frames[3];  // top row of each composed frame
        const char* bottom;     // bottom row of the last frame
    };
    const Case cases[] = {
        {0, {"11..", "12..", "113."}, "11.3"},  // none: the 1s stay
        {1, {"11..", "12..", "113."}, "11.3"},  // do not dispose: the same
        {2, {"11..", ".2..", "..3."}, "...3"},  // background: the 1s are cleared
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "disposal " << c.first_disposal);
        CRasterGIF gif;
        gif.SetLoadAllFrames(true);
        ASSERT_TRUE(DecodeGif(gif, DisposalAnimation(c.first_disposal)));
        ASSERT_EQ(gif.GetFrameCount(), 3);
        EXPECT_EQ(gif.GetBpp(), 8);
        for (int i = 0; i < 3; ++i) {
            const CRaster* frame = gif.GetFrame(i);
            ASSERT_NE(frame, nullptr);
            EXPECT_EQ(Row(*frame, 0), c.frames[i]) << "frame " << i;
            EXPECT_EQ(frame->GetFrameDelay(), 10u * (i + 1));
            EXPECT_FALSE(frame->GetLoadAllFrames());
        }
        EXPECT_EQ(gif.GetFrame(1)->GetGifDisposal(), 3);
        // The object itself holds the composition after the last frame.
        EXPECT_EQ(Row(gif, 0), c.frames[2]);
        EXPECT_EQ(Row(gif, 1), c.bottom);
        EXPECT_EQ(gif.GetLoopCount(), 0);
    }
}

TEST(GifCodec, ComposesDifferingTablesInTrueColourWithAlpha) {
    const std::vector<Rgb> other = {{10, 20, 30}, {40, 50, 60}};
    GifBuilder b(3, 1, kFour);
    b.Control(0, 5, 0).Image(0, 0, 2, {{1, 2}});
    b.Control(0, 5, 0).Image(1, 0, 2, {{0, 1}}, other);  // index 0 transparent in its own table
    CRasterGIF gif;
    gif.SetLoadAllFrames(true);
    ASSERT_TRUE(DecodeGif(gif, b.Finish()));
    EXPECT_EQ(gif.GetBpp(), 24);
    ASSERT_TRUE(gif.HasAlpha());
    EXPECT_EQ(lumi::test::Hex(ColorAt(gif, 0, 0)), "ff0000/ff");
    EXPECT_EQ(lumi::test::Hex(ColorAt(gif, 1, 0)), "00ff00/ff");  // under the transparent pixel
    EXPECT_EQ(lumi::test::Hex(ColorAt(gif, 2, 0)), "28323c/ff");
    EXPECT_TRUE(TransparentAt(*gif.GetFrame(0), 2, 0));
    EXPECT_FALSE(TransparentAt(*gif.GetFrame(0), 0, 0));

    // Same tables but a transparency that changes between frames: index 0 of frame 2 is
    // opaque black and must not turn transparent.
    GifBuilder t(2, 1, kFour);
    t.Control(0, 0, 0).Image(0, 0, 2, {{1, 0}});
    t.Control(0, 0).Image(0, 0, 1, {{0}});
    CRaster mixed;
    ASSERT_TRUE(DecodeBytes(mixed, t.Finish(), kRasterTypeGif));
    EXPECT_EQ(lumi::test::Hex(ColorAt(mixed, 0, 0)), "000000/ff");
    EXPECT_TRUE(TransparentAt(mixed, 1, 0));
}

TEST(GifCodec, ScopesControlExtensionsToTheNextImage) {
    // Only the second image is transparent, and the file's last extension must not leak
    // into the first image.
    GifBuilder b(2, 1, kFour);
    b.Image(0, 0, 2, {{0, 1}});
    b.Control(0, 7, 1).Image(0, 0, 1, {{1}});
    CRasterGIF gif;
    gif.SetLoadAllFrames(true);
    ASSERT_TRUE(DecodeGif(gif, b.Finish()));
    EXPECT_EQ(gif.GetFrame(0)->GetFrameDelay(), 0u);
    EXPECT_FALSE(TransparentAt(*gif.GetFrame(0), 0, 0));
    EXPECT_EQ(lumi::test::Hex(ColorAt(gif, 0, 0)), "000000/ff");  // kept under the transparent 1
}

TEST(GifCodec, PlacesInterlacedRows) {
    // Height 3: rows arrive as 0, 2, 1.
    GifBuilder small(1, 3, kFour);
    small.out.U8(',').U16(0).U16(0).U16(1).U16(3).U8(0x40);
    small.Data(8, {{256, 9}, {1, 9}, {256, 9}, {3, 9}, {256, 9}, {2, 9}, {257, 9}});
    CRaster image;
    ASSERT_TRUE(DecodeBytes(image, small.Finish(), kRasterTypeGif));
    EXPECT_EQ(Row(image, 0) + Row(image, 1) + Row(image, 2), "123");

    for (unsigned h = 1; h <= 17; ++h) {
        std::vector<Bytes> rows;
        for (unsigned y = 0; y < h; ++y) rows.push_back({static_cast<BYTE>(y % 4), static_cast<BYTE>((y / 4) % 4)});
        CRaster plain, interlaced;
        ASSERT_TRUE(DecodeBytes(plain, GifBuilder(2, h, kFour).Image(0, 0, 2, rows).Finish(), kRasterTypeGif));
        ASSERT_TRUE(DecodeBytes(interlaced, GifBuilder(2, h, kFour).Image(0, 0, 2, rows, {}, true).Finish(),
                                kRasterTypeGif));
        SCOPED_TRACE(testing::Message() << "height " << h);
        lumi::test::ExpectSamePixels(plain, interlaced);
    }
}

TEST(GifCodec, AnimationRoundTripKeepsLoopDelaysAndComment) {
    for (unsigned raw : {0u, 3u}) {
        CRasterGIF gif;
        gif.SetLoadAllFrames(true);
        ASSERT_TRUE(DecodeGif(gif, GifBuilder(4, 2, kFour).Loop(raw).Comment("hello").Control(0, 4).Image(
                                       0, 0, 4, {Fill(4, 1), Fill(4, 2)}).Control(0, 9).Image(1, 1, 2, {{3, 3}}).Finish()));
        EXPECT_EQ(gif.GetLoopCount(), raw ? static_cast<int>(raw) + 1 : 0);
        char comment[256];
        gif.GetComment(comment);
        EXPECT_STREQ(comment, "hello");

        const Bytes again = EncodeGif(gif);
        ASSERT_FALSE(again.empty()) << gif.GetLastError();
        const Bytes loopBlock = {'2', '.', '0', 3, 1, static_cast<BYTE>(raw), 0, 0};
        EXPECT_EQ(CountOf(again, loopBlock), 1u) << "loop block with the file's own count";
        CRasterGIF back;
        back.SetLoadAllFrames(true);
        ASSERT_TRUE(DecodeGif(back, again));
        EXPECT_EQ(back.GetLoopCount(), gif.GetLoopCount());
        ASSERT_EQ(back.GetFrameCount(), 2);
        EXPECT_EQ(back.GetFrame(0)->GetFrameDelay(), 4u);
        EXPECT_EQ(back.GetFrame(1)->GetFrameDelay(), 9u);
        lumi::test::ExpectSamePixels(*gif.GetFrame(1), *back.GetFrame(1));
        back.GetComment(comment);
        EXPECT_STREQ(comment, "hello");
    }
    // A file without a loop block plays once, and is written back without one.
    CRasterGIF once;
    once.SetLoadAllFrames(true);
    ASSERT_TRUE(DecodeGif(once, GifBuilder(2, 1, kFour).Image(0, 0, 2, {{1, 2}}).Image(0, 0, 1, {{3}}).Finish()));
    EXPECT_EQ(once.GetLoopCount(), 1);
    const Bytes written = EncodeGif(once);
    EXPECT_FALSE(written.empty());
    EXPECT_EQ(CountOf(written, Bytes{'N', 'E', 'T'}), 0u);
}

TEST(GifCodec, WritesTrueColourAsTiles) {
    CRaster source(40, 20, 24, kRasterTypeGif);
    lumi::test::FillPattern(source, false);
    source.SetBackgroundIndex(0);
    source.SetBackgroundColor(source.GetPixelColor(5, 5, false));
    const Bytes file = lumi::test::EncodeBytes(source, kRasterTypeGif);
    ASSERT_FALSE(file.empty()) << source.GetLastError();
    // Six image blocks, each with a 256-entry local table: 17, 17, 6 wide by 15, 5 high.
    const BYTE widths[] = {17, 17, 6, 17, 17, 6}, heights[] = {15, 15, 15, 5, 5, 5};
    std::size_t found = 0;
    for (std::size_t i = 0; i + 10 < file.size(); ++i) {
        if (file[i] != ',' || file[i + 9] != 0x87 || found >= 6) continue;
        EXPECT_EQ(file[i + 5], widths[found]);
        EXPECT_EQ(file[i + 7], heights[found]);
        ++found;
    }
    EXPECT_EQ(found, 6u);
    CRaster decoded;
    ASSERT_TRUE(DecodeBytes(decoded, file, kRasterTypeGif));
    EXPECT_EQ(decoded.GetBpp(), 24);
    lumi::test::ExpectSamePixels(source, decoded);
    EXPECT_TRUE(decoded.IsTransparent(5, 5));
    // Kept frames: the tiles make one picture, and every counted frame exists.
    CRaster framed;
    framed.SetLoadAllFrames(true);
    ASSERT_TRUE(DecodeBytes(framed, file, kRasterTypeGif));
    ASSERT_EQ(framed.GetFrameCount(), 1);
    ASSERT_NE(framed.GetFrame(0), nullptr);
    lumi::test::ExpectSamePixels(source, *framed.GetFrame(0));
}

TEST(GifCodec, WriterFailures) {
    CRaster a(4, 4, 8, kRasterTypeGif), b(4, 4, 24, kRasterTypeGif), empty;
    CRasterGIF gif;
    CRasterMemFile file;
    file.Open();
    auto fails = [&](CRasterFile* f, CRaster** images, int count, const char* message) {
        EXPECT_FALSE(gif.Encode(f, images, count, false));
        EXPECT_STREQ(gif.GetLastError(), message);
    };
    CRaster* two[] = {&a, &b};
    CRaster* gap[] = {&a, nullptr};
    CRaster* hollow[] = {&a, &empty};
    fails(nullptr, two, 2, "invalid file pointer");
    fails(&file, two, 0, "multipage GIF, no images!");
    fails(&file, gap, 2, "Bad image pointer");
    fails(&file, hollow, 2, "Empty image");
    fails(&file, two, 2,
          "CRasterGIF::Encode cannot create animated GIFs with a true color frame. Use DecreaseBpp before");

    CRaster wide(70000, 1, 8, kRasterTypeGif);
    EXPECT_TRUE(lumi::test::EncodeBytes(wide, kRasterTypeGif).empty());
    EXPECT_STREQ(wide.GetLastError(), "image too large for format");

    lumi::test::FailingWriteFile full(100);
    CRaster big(64, 64, 8, kRasterTypeGif);
    lumi::test::FillPattern(big, false);
    EXPECT_FALSE(big.Encode(&full, kRasterTypeGif));
    EXPECT_STREQ(big.GetLastError(), "Write Error in GIF file");

    // The animation entry point of the library loops for ever.
    CRasterMemFile out;
    out.Open();
    CRaster* both[] = {&a, &a};
    ASSERT_TRUE(a.Encode(static_cast<CRasterFile*>(&out), both, 2, kRasterTypeGif)) << a.GetLastError();
    const BYTE* data = out.GetBuffer();
    EXPECT_EQ(CountOf(Bytes(data, data + out.Size()), Bytes{'2', '.', '0', 3, 1, 0, 0, 0}), 1u);
}

TEST(GifCodec, SurvivesHostileFiles) {
    const Bytes good = DisposalAnimation(2);
    // Every truncation: a clean false, or what was decoded so far.
    for (std::size_t n = 0; n < good.size(); ++n) {
        CRasterGIF gif;
        gif.SetLoadAllFrames(true);
        const Bytes cut(good.begin(), good.begin() + n);
        if (DecodeGif(gif, cut)) {
            EXPECT_EQ(gif.GetWidth(), 4u);
            EXPECT_LE(gif.GetFrameCount(), 3);
        }
    }

    // Minimum code sizes 1 and 10 decode no pixels; the next image still comes.
    for (unsigned size : {1u, 10u}) {
        GifBuilder b(2, 1, kFour, "GIF89a", 3);
        b.out.U8(',').U16(0).U16(0).U16(2).U16(1).U8(0);
        b.Data(size, {{5, 4}, {6, 4}, {7, 4}});
        b.Image(1, 0, 1, {{2}});
        CRasterGIF gif;
        ASSERT_TRUE(DecodeGif(gif, b.Finish())) << size;
        EXPECT_EQ(Row(gif, 0), "32") << size;
        EXPECT_EQ(gif.GetFrameCount(), 2);
    }

    // Codes beyond the next free slot that link the table into a loop: bounded output.
    GifBuilder loop(64, 64, kFour);
    loop.out.U8(',').U16(0).U16(0).U16(64).U16(64).U8(0);
    std::vector<std::pair<unsigned, unsigned>> codes = {{4, 3}, {1, 3}, {7, 3}, {7, 3}};
    for (int i = 0; i < 40; ++i) codes.push_back({7, 4});
    loop.Data(2, codes);
    CRaster looped;
    EXPECT_TRUE(DecodeBytes(looped, loop.Finish(), kRasterTypeGif));

    // After a first image that fits, images reaching past the screen are clipped to it; those
    // wholly outside it or without pixels are passed over and not counted.
    GifBuilder outside(4, 4, kFour);
    outside.Image(0, 0, 1, {{0}}).Image(3, 0, 2, {{1, 1}}).Image(0, 0, 0, {}).Image(4, 0, 1, {{1}});
    outside.Image(0, 3, 1, {{2}, {2}}).Image(1, 1, 1, {{3}});
    CRasterGIF gif;
    gif.SetLoadAllFrames(true);
    ASSERT_TRUE(DecodeGif(gif, outside.Finish()));
    EXPECT_EQ(gif.GetFrameCount(), 4);
    EXPECT_EQ(gif.GetWidth(), 4u);
    EXPECT_EQ(Row(gif, 0), "0001");
    EXPECT_EQ(Row(gif, 1), "0300");
    EXPECT_EQ(Row(gif, 3), "2000");

    // No image at all, or a current frame past the count, fails.
    EXPECT_FALSE(DecodeGif(gif, GifBuilder(4, 4, kFour).Comment("x").Finish()));
    CRasterGIF late;
    late.SetCurrentFrame(1);
    EXPECT_FALSE(DecodeGif(late, GifBuilder(4, 4, kFour).Image(0, 0, 1, {{1}}).Finish()));
    // A screen too large to allocate fails with the allocator's message.
    CRasterGIF huge;
    EXPECT_FALSE(DecodeGif(huge, GifBuilder(65535, 65535, kFour).Image(0, 0, 1, {{1}}).Finish()));
    EXPECT_STREQ(huge.GetLastError(), "RASTER_MAX_MEMORY exceeded");
    // A 0 x 0 screen takes the first image's extent.
    CRaster sized;
    ASSERT_TRUE(DecodeBytes(sized, GifBuilder(0, 0, kFour).Image(1, 0, 2, {{1, 2}}).Finish(), kRasterTypeGif));
    EXPECT_EQ(sized.GetWidth(), 3u);
}

TEST(GifCodec, AFirstImageLargerThanTheScreenGrowsItAndLaterOnesAreClipped) {
    // The first image is shown whole: the screen grows to its right and bottom edges, and the
    // header-only size is the grown one. Interlaced too, so that rows arrive out of order.
    for (bool interlaced : {false, true}) {
        GifBuilder b(2, 3, kFour);
        b.Control(2, 0).Image(0, 1, 3, {{1, 2, 3}, {3, 2, 1}, {1, 1, 1}, {2, 2, 2}}, {}, interlaced);
        const Bytes file = b.Finish();
        CRaster image;
        ASSERT_TRUE(DecodeBytes(image, file, kRasterTypeGif)) << interlaced;
        EXPECT_EQ(image.GetWidth(), 3u);
        EXPECT_EQ(image.GetHeight(), 5u);
        EXPECT_EQ(Row(image, 0), "000");
        EXPECT_EQ(Row(image, 1), "123");
        EXPECT_EQ(Row(image, 2), "321");
        EXPECT_EQ(Row(image, 3), "111");
        EXPECT_EQ(Row(image, 4), "222");
        CRaster probe;
        probe.RequestHeaderOnly();
        ASSERT_TRUE(DecodeBytes(probe, file, kRasterTypeGif));
        EXPECT_EQ(probe.GetWidth(), 3u) << "the header-only size is the decoded size";
        EXPECT_EQ(probe.GetHeight(), 5u);
    }
    // Later frames keep to that screen: what reaches past it is clipped, and disposal 2
    // clears the first image's whole rectangle.
    GifBuilder twice(2, 2, kFour);
    twice.Control(2, 0).Image(1, 0, 3, {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}).Image(0, 0, 1, {{2}});
    twice.Image(3, 2, 2, {{3, 3}, {3, 3}});
    CRaster image;
    ASSERT_TRUE(DecodeBytes(image, twice.Finish(), kRasterTypeGif));
    EXPECT_EQ(image.GetWidth(), 4u);
    EXPECT_EQ(image.GetHeight(), 3u);
    EXPECT_EQ(Row(image, 0), "2000");
    EXPECT_EQ(Row(image, 1), "0000");
    EXPECT_EQ(Row(image, 2), "0003");
}

TEST(GifCodec, FailedOrCancelledDecodeLeavesTheImageAsItWas) {
    CRasterGIF gif;
    gif.SetLoadAllFrames(true);
    ASSERT_TRUE(DecodeGif(gif, DisposalAnimation(0)));
    const std::string before = Row(gif, 0);
    EXPECT_FALSE(DecodeGif(gif, GifBuilder(8, 8, kFour).Finish()));
    gif.SetEscape(5);
    EXPECT_FALSE(DecodeGif(gif, GifBuilder(2, 1, kFour).Image(0, 0, 2, {{1, 2}}).Finish()));
    EXPECT_EQ(gif.GetWidth(), 4u);
    EXPECT_EQ(Row(gif, 0), before);
    EXPECT_EQ(gif.GetFrameCount(), 3);
}

TEST(GifCodec, DecodesThousandsOfFrames) {
    GifBuilder b(32, 32, kFour);
    for (int i = 0; i < 5000; ++i) b.Control(i % 4, 1, i % 2 ? 0 : -1).Image(i % 32, (i / 32) % 32, 1, {{BYTE(i % 4)}});
    CRasterGIF gif;
    gif.SetLoadAllFrames(true);
    ASSERT_TRUE(DecodeGif(gif, b.Finish()));
    EXPECT_EQ(gif.GetFrameCount(), 5000);
    EXPECT_NE(gif.GetFrame(4999), nullptr);
}

}  // namespace
