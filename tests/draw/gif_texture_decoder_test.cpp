// The GIF-to-texture decoder on files of the image library's encoder, on hand-made files
// that exercise transparency, disposal, interlacing, clipping and a full code table, and on
// hostile files (every truncation, bad codes, impossible sizes).
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "draw/gif_texture_decoder.h"
#include "image/raster.h"
#include "tests/draw/texture_fixture.h"

namespace {

using Bytes = std::vector<BYTE>;
using lumi::test::ReadTexel;

struct Writer {
    Bytes bytes;
    Writer& U8(unsigned v) { return bytes.push_back(static_cast<BYTE>(v)), *this; }
    Writer& U16(unsigned v) { return U8(v & 0xFF).U8(v >> 8); }
    Writer& Raw(const Bytes& b) { return bytes.insert(bytes.end(), b.begin(), b.end()), *this; }
};

// LZW data of `indices` made of literal codes only, with the code size growing as a decoder
// grows it (no clear code after the first): sub-blocks and the zero-length terminator.
Bytes LiteralLzw(unsigned minimumCodeSize, const std::vector<unsigned>& indices, bool endCode = true) {
    const unsigned clear = 1u << minimumCodeSize;
    std::vector<std::pair<unsigned, unsigned>> codes{{clear, minimumCodeSize + 1}};  // (code, bits)
    unsigned size = minimumCodeSize + 1, next = clear + 2;
    for (std::size_t i = 0; i < indices.size(); ++i) {
        codes.push_back({indices[i], size});
        if (i > 0 && next < 4096) {
            ++next;
            if (next == (1u << size) && size < 12) ++size;
        }
    }
    if (endCode) codes.push_back({clear + 1, size});
    Bytes packed;
    unsigned long long bits = 0;
    unsigned count = 0;
    for (auto [code, width] : codes) {
        bits |= static_cast<unsigned long long>(code) << count;
        count += width;
        while (count >= 8) {
            packed.push_back(static_cast<BYTE>(bits));
            bits >>= 8;
            count -= 8;
        }
    }
    if (count > 0) packed.push_back(static_cast<BYTE>(bits));
    Writer out;
    out.U8(minimumCodeSize);
    for (std::size_t at = 0; at < packed.size(); at += 255) {
        const std::size_t n = std::min<std::size_t>(255, packed.size() - at);
        out.U8(static_cast<unsigned>(n)).Raw(Bytes(packed.begin() + at, packed.begin() + at + n));
    }
    return out.U8(0).bytes;
}

// Header, 4-entry global table (black, blue, green, red) with background index 1.
Writer Screen(unsigned width, unsigned height) {
    Writer w;
    w.Raw(Bytes{'G', 'I', 'F', '8', '9', 'a'}).U16(width).U16(height).U8(0x81).U8(1).U8(0);
    return w.Raw(Bytes{0, 0, 0, 0, 0, 255, 0, 255, 0, 255, 0, 0});
}

void Control(Writer& w, unsigned disposal, unsigned delay, int transparent) {
    w.U8(0x21).U8(0xF9).U8(4).U8(disposal << 2 | (transparent >= 0 ? 1 : 0)).U16(delay);
    w.U8(transparent >= 0 ? static_cast<unsigned>(transparent) : 0).U8(0);
}

void Image(Writer& w, unsigned left, unsigned top, unsigned width, unsigned height, unsigned flags, const Bytes& lzw) {
    w.U8(0x2C).U16(left).U16(top).U16(width).U16(height).U8(flags).Raw(lzw);
}

constexpr std::uint32_t kBackground = 0x000000FF;  // blue with alpha 0
constexpr std::uint32_t kGreen = 0xFF00FF00;
constexpr std::uint32_t kRed = 0xFFFF0000;

class GifTextureTest : public lumi::test::TextureTest {
protected:
    CD3DTexture* NewTexture() { return Keep(new CD3DTexture(&owner_, u"anim.gif")); }

    bool Decode(CD3DTexture* texture, const Bytes& file) {
        // A copy of exactly the file's size, so that a read past it is caught by the sanitizer.
        std::unique_ptr<BYTE[]> exact(new BYTE[file.size() + 1]);
        if (!file.empty()) std::memcpy(exact.get(), file.data(), file.size());
        return DecodeGifToTexture(texture, static_cast<std::uint32_t>(file.size()), exact.get());
    }

    std::uint32_t Texel(CD3DTexture* texture, int frame, int x, int y) {
        const RECT rect = FrameRect(texture, frame);
        return ReadTexel(texture->GetSystemTexture(), rect.left + x, rect.top + y);
    }

    // Frames lie side by side in rows as wide as the texture allows.
    static RECT FrameRect(CD3DTexture* texture, int frame) {
        const std::uint32_t w = texture->GetImageWidth(), h = texture->GetImageHeight();
        const std::uint32_t columns = texture->GetWidth() / w;
        const std::uint32_t used = std::min<std::uint32_t>(columns, static_cast<std::uint32_t>(texture->GetFrameCount()));
        return RECT{static_cast<LONG>((frame % used) * w), static_cast<LONG>((frame / used) * h),
                    static_cast<LONG>((frame % used) * w + w), static_cast<LONG>((frame / used) * h + h)};
    }
};

TEST_F(GifTextureTest, LibraryAnimationDecodesToFramesSideBySide) {
    // Three 17 x 9 frames with many colours and long runs, so the LZW stream uses the whole
    // table, clear codes and the code that is not yet in the table.
    auto palette = [](int c) {
        return RGBQUAD{static_cast<BYTE>(c), static_cast<BYTE>(255 - c), static_cast<BYTE>(c * 7), 0};
    };
    auto index = [](int frame, int x, int y) { return (x < 6 ? frame : x * 13 + y * 7 + frame) & 0xFF; };
    const Bytes gif = lumi::test::EncodeGifAnimation(17, 9, {5, 10, 0}, palette, index);
    ASSERT_FALSE(gif.empty());

    CD3DTexture* texture = NewTexture();
    ASSERT_TRUE(Decode(texture, gif));
    EXPECT_TRUE(texture->IsLoaded());
    EXPECT_EQ(texture->GetWidth(), 64);  // 3 x 17 wide
    EXPECT_EQ(texture->GetHeight(), 16);
    EXPECT_EQ(texture->GetImageWidth(), 17u);
    EXPECT_EQ(texture->GetImageHeight(), 9u);
    EXPECT_EQ(static_cast<int>(texture->GetImageInfo()->ImageFileFormat), kImageFileFormatGif);
    ASSERT_EQ(texture->GetFrameCount(), 3);
    EXPECT_EQ(texture->GetTotalDurationMs(), 150);
    for (int i = 0; i < 3; ++i) {
        for (LONG y = 0; y < 9; ++y) {
            for (LONG x = 0; x < 17; ++x) {
                const RGBQUAD c = palette(index(i, x, 8 - y));
                const std::uint32_t expected = 0xFF000000u | c.rgbRed << 16 | c.rgbGreen << 8 | c.rgbBlue;
                ASSERT_EQ(Texel(texture, i, x, y), expected) << "frame " << i << " at " << x << "," << y;
            }
        }
    }
}

TEST_F(GifTextureTest, TransparencyDisposalAndClipping) {
    Writer w = Screen(4, 4);
    // A 4 x 4 image at (2, 2): only its top-left quarter lies on the screen. Index 0 is
    // transparent; the image is cleared afterwards (disposal 2).
    Control(w, 2, 7, 0);
    std::vector<unsigned> first(16, 2);
    first[1] = 0;  // (3, 2) stays background
    first[4] = 3;  // (2, 3) red
    Image(w, 2, 2, 4, 4, 0, LiteralLzw(2, first));
    // Then one red pixel at (0, 0) without a control block.
    Image(w, 0, 0, 1, 1, 0, LiteralLzw(2, {3}));
    w.U8(0x3B);

    CD3DTexture* texture = NewTexture();
    ASSERT_TRUE(Decode(texture, w.bytes));
    ASSERT_EQ(texture->GetFrameCount(), 2);
    EXPECT_EQ(texture->GetTotalDurationMs(), 70);
    EXPECT_EQ(Texel(texture, 0, 2, 2), kGreen);
    EXPECT_EQ(Texel(texture, 0, 3, 2), kBackground);
    EXPECT_EQ(Texel(texture, 0, 2, 3), kRed);
    EXPECT_EQ(Texel(texture, 0, 3, 3), kGreen);
    EXPECT_EQ(Texel(texture, 0, 0, 0), kBackground);
    // The first image's rectangle was cleared before the second was drawn.
    EXPECT_EQ(Texel(texture, 1, 0, 0), kRed);
    EXPECT_EQ(Texel(texture, 1, 2, 2), kBackground);
    EXPECT_EQ(Texel(texture, 1, 2, 3), kBackground);
}

TEST_F(GifTextureTest, InterlacedRowsAndAFullCodeTable) {
    // 1 x 8 interlaced: the data holds rows 0, 4, 2, 6, 1, 3, 5, 7; row r is red when odd.
    Writer w = Screen(1, 8);
    Image(w, 0, 0, 1, 8, 0x40, LiteralLzw(2, {2, 2, 2, 2, 3, 3, 3, 3}));
    // 80 x 80 literals: the table fills up and the codes stay at 12 bits.
    Writer big = Screen(80, 80);
    std::vector<unsigned> pixels(6400);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = (i * 7 + i / 80) % 4;
    Image(big, 0, 0, 80, 80, 0, LiteralLzw(2, pixels));
    w.U8(0x3B);
    big.U8(0x3B);

    CD3DTexture* texture = NewTexture();
    ASSERT_TRUE(Decode(texture, w.bytes));
    for (int row = 0; row < 8; ++row) EXPECT_EQ(Texel(texture, 0, 0, row), row % 2 ? kRed : kGreen) << row;

    CD3DTexture* large = NewTexture();
    ASSERT_TRUE(Decode(large, big.bytes));
    const std::uint32_t colours[] = {0xFF000000, 0xFF0000FF, kGreen, kRed};
    for (std::size_t i = 0; i < pixels.size(); i += 37) {
        ASSERT_EQ(Texel(large, 0, static_cast<int>(i % 80), static_cast<int>(i / 80)), colours[pixels[i]]) << i;
    }
}

TEST_F(GifTextureTest, KeepsAtMost32Frames) {
    Writer w = Screen(2, 2);
    for (int i = 0; i < 40; ++i) {
        Control(w, 0, 1, -1);
        Image(w, 0, 0, 2, 2, 0, LiteralLzw(2, {1, 2, 3, static_cast<unsigned>(i % 4)}));
    }
    w.U8(0x3B);
    CD3DTexture* texture = NewTexture();
    ASSERT_TRUE(Decode(texture, w.bytes));
    EXPECT_EQ(texture->GetFrameCount(), 32);
    EXPECT_EQ(texture->GetTotalDurationMs(), 320);
}

TEST_F(GifTextureTest, HostileFilesFailWithoutTouchingTheTexture) {
    Writer good = Screen(4, 4);
    Control(good, 2, 3, 0);
    Image(good, 1, 1, 3, 3, 0x40, LiteralLzw(2, {1, 2, 3, 0, 1, 2, 3, 0, 1}));
    good.U8(0x3B);
    CD3DTexture* probe = NewTexture();
    ASSERT_TRUE(Decode(probe, good.bytes));

    CD3DTexture* texture = NewTexture();
    for (std::size_t n = 0; n < good.bytes.size(); ++n) {
        EXPECT_FALSE(Decode(texture, Bytes(good.bytes.begin(), good.bytes.begin() + n))) << "cut at " << n;
    }

    auto fails = [&](Writer w, const char* what) {
        EXPECT_FALSE(Decode(texture, w.bytes)) << what;
    };
    Writer w = Screen(4, 4);
    Image(w, 0, 0, 2, 2, 0, Bytes{2, 1, 0x07, 0});  // a non-literal first code
    fails(w.U8(0x3B), "first code not a literal");
    w = Screen(4, 4);
    Image(w, 0, 0, 2, 2, 0, Bytes{2, 2, 0xCC, 0x01, 0});  // clear, 1, then 7 past the table
    fails(w.U8(0x3B), "code past the table");
    w = Screen(4, 4);
    Image(w, 0, 0, 2, 2, 0, Bytes{12, 1, 0, 0});
    fails(w.U8(0x3B), "minimum code size 12");
    fails(Screen(4, 4).U8(0x3B), "no image");
    fails(Screen(0, 4).U8(0x3B), "empty screen");
    fails(Screen(65535, 65535).U8(0x3B), "screen larger than any texture");
    fails(Screen(4, 4).U8(0x99), "unknown block");
    w = Screen(4, 4);
    w.U8(0x21).U8(0xF9).U8(2).U8(0).U8(0).U8(0);
    fails(w, "short graphic control block");
    w = Screen(4, 4);
    Image(w, 0, 0, 2, 2, 0x87, LiteralLzw(2, {1, 1, 1, 1}));  // a 256-entry local table that is missing
    fails(w.U8(0x3B), "truncated local table");
    Writer bad;
    bad.Raw(Bytes{'G', 'I', 'F', '8', '8', 'a'});
    fails(bad, "bad version");
    EXPECT_FALSE(DecodeGifToTexture(texture, 0, nullptr));
    EXPECT_FALSE(DecodeGifToTexture(nullptr, static_cast<std::uint32_t>(good.bytes.size()), good.bytes.data()));

    EXPECT_FALSE(texture->IsLoaded());
    EXPECT_EQ(texture->GetMemory(), nullptr);
    EXPECT_EQ(texture->GetFrameCount(), 0);

    // Corrupted bytes anywhere: any result, but no access outside the file or the screen
    // (the sanitizer build checks) and never more than the frame limit.
    CD3DTexture* target = NewTexture();
    std::uint32_t seed = 12345;
    for (int round = 0; round < 2000; ++round) {
        Bytes corrupt = good.bytes;
        for (int flips = 0; flips < 3; ++flips) {
            seed = seed * 1103515245u + 12345u;
            corrupt[(seed >> 8) % corrupt.size()] ^= static_cast<BYTE>(1u << ((seed >> 4) & 7));
        }
        if (Decode(target, corrupt)) {
            EXPECT_LE(target->GetFrameCount(), 32);
        }
    }
}

TEST_F(GifTextureTest, ImagesOffTheScreenAndOversizedImagesAreClipped) {
    Writer w = Screen(3, 3);
    Image(w, 100, 100, 2, 2, 0, LiteralLzw(2, {3, 3, 3, 3}));      // wholly outside
    Image(w, 2, 0, 65535, 65535, 0, LiteralLzw(2, {3, 2, 3, 2}));  // far more pixels than data
    // Data past the image's pixels is dropped.
    Image(w, 0, 2, 1, 1, 0, LiteralLzw(2, {2, 3, 3, 3, 3, 3}));
    w.U8(0x3B);
    CD3DTexture* texture = NewTexture();
    ASSERT_TRUE(Decode(texture, w.bytes));
    ASSERT_EQ(texture->GetFrameCount(), 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(Texel(texture, 0, x, y), kBackground) << x << "," << y;
    EXPECT_EQ(Texel(texture, 1, 2, 0), kRed);
    EXPECT_EQ(Texel(texture, 1, 2, 1), kBackground);  // row 1 of that image starts 65535 pixels later
    EXPECT_EQ(Texel(texture, 2, 0, 2), kGreen);
    EXPECT_EQ(Texel(texture, 2, 1, 2), kBackground);
}

}  // namespace
