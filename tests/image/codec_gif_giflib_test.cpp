// GIF decoder against files written by giflib, an independent encoder: animations with local
// tables, transparency, every disposal method and interlacing, and LZW streams whose codes
// grow to 12 bits and fill the table. A stream that defers its clear code after the table is
// full is built here and read by giflib too. Every decoded pixel is compared with what the
// encoder was given.
#include <gif_lib.h>

#include <map>
#include <random>
#include <utility>
#include <vector>

#include "image/raster_gif.h"
#include "tests/image/codec_test_util.h"

namespace {

using lumi::test::ByteWriter;
using lumi::test::Bytes;

using Table = std::vector<GifColorType>;

struct GifImage {
    int left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    Table local;  // empty: the global table
    int disposal = 0;
    int transparent = NO_TRANSPARENT_COLOR;
    Bytes pixels;  // top-down, width x height indexes
};

struct GifFile {
    int width = 0, height = 0, background = 0;
    Table global;
    std::vector<GifImage> images;
};

Table RandomTable(int count, unsigned seed) {
    std::mt19937 random(seed);
    Table table(static_cast<std::size_t>(count));
    for (GifColorType& c : table)
        c = GifColorType{static_cast<GifByteType>(random()), static_cast<GifByteType>(random()),
                         static_cast<GifByteType>(random())};
    return table;
}

Bytes RandomPixels(int count, int colours, unsigned seed) {
    std::mt19937 random(seed);
    Bytes pixels(static_cast<std::size_t>(count));
    for (BYTE& p : pixels) p = static_cast<BYTE>(random() % static_cast<unsigned>(colours));
    return pixels;
}

int AppendBytes(::GifFileType* gif, const GifByteType* data, int n) {
    auto* out = static_cast<Bytes*>(gif->UserData);
    out->insert(out->end(), data, data + n);
    return n;
}

// The file as giflib writes it: giflib does the LZW compression (it clears a full table at
// once) and takes interlaced rows in the order they are stored.
Bytes WriteWithGiflib(const GifFile& file) {
    Bytes out;
    int error = 0;
    ::GifFileType* gif = EGifOpen(&out, AppendBytes, &error);
    EXPECT_NE(gif, nullptr) << GifErrorString(error);
    if (!gif) return out;
    EGifSetGifVersion(gif, true);
    ColorMapObject* global = file.global.empty() ? nullptr : GifMakeMapObject(static_cast<int>(file.global.size()), file.global.data());
    EXPECT_EQ(EGifPutScreenDesc(gif, file.width, file.height, 8, file.background, global), GIF_OK);
    for (const GifImage& image : file.images) {
        GraphicsControlBlock control{image.disposal, false, 3, image.transparent};
        GifByteType extension[4];
        const std::size_t n = EGifGCBToExtension(&control, extension);
        EXPECT_EQ(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(n), extension), GIF_OK);
        ColorMapObject* local =
            image.local.empty() ? nullptr : GifMakeMapObject(static_cast<int>(image.local.size()), image.local.data());
        if (!local && gif->Image.ColorMap) {
            // giflib forgets its copy of the previous image's table here without freeing it.
            GifFreeMapObject(gif->Image.ColorMap);
            gif->Image.ColorMap = nullptr;
        }
        EXPECT_EQ(EGifPutImageDesc(gif, image.left, image.top, image.width, image.height, image.interlaced, local), GIF_OK);
        std::vector<int> order;
        if (image.interlaced) {
            for (auto [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
                for (int y = start; y < image.height; y += step) order.push_back(y);
        } else {
            for (int y = 0; y < image.height; ++y) order.push_back(y);
        }
        for (int y : order) {
            Bytes row(image.pixels.begin() + y * image.width, image.pixels.begin() + (y + 1) * image.width);
            EXPECT_EQ(EGifPutLine(gif, row.data(), image.width), GIF_OK);
        }
        GifFreeMapObject(local);
    }
    EXPECT_EQ(EGifCloseFile(gif, &error), GIF_OK) << GifErrorString(error);
    GifFreeMapObject(global);
    return out;
}

// What a viewer shows after each image: red, green, blue, alpha, top-down.
using Screen = std::vector<std::array<BYTE, 4>>;

std::vector<Screen> Compose(const GifFile& file) {
    const GifImage& first = file.images.front();
    const Table& firstTable = first.local.empty() ? file.global : first.local;
    std::array<BYTE, 4> fill{0, 0, 0, 0};
    if (first.transparent == NO_TRANSPARENT_COLOR) {
        const GifColorType c = firstTable[static_cast<std::size_t>(file.background)];
        fill = {c.Red, c.Green, c.Blue, 255};
    }
    Screen screen(static_cast<std::size_t>(file.width * file.height), fill), saved;
    std::vector<Screen> frames;
    const GifImage* previous = nullptr;
    for (const GifImage& image : file.images) {
        if (previous && previous->disposal == DISPOSE_BACKGROUND) {
            for (int y = previous->top; y < std::min(file.height, previous->top + previous->height); ++y)
                for (int x = previous->left; x < std::min(file.width, previous->left + previous->width); ++x)
                    screen[static_cast<std::size_t>(y * file.width + x)] = fill;
        } else if (previous && previous->disposal == DISPOSE_PREVIOUS) {
            screen = saved;
        }
        if (image.disposal == DISPOSE_PREVIOUS) saved = screen;
        const Table& table = image.local.empty() ? file.global : image.local;
        for (int y = 0; y < image.height && image.top + y < file.height; ++y)
            for (int x = 0; x < image.width && image.left + x < file.width; ++x) {
                const BYTE index = image.pixels[static_cast<std::size_t>(y * image.width + x)];
                if (index == image.transparent) continue;
                const GifColorType c = table[index];
                screen[static_cast<std::size_t>((image.top + y) * file.width + image.left + x)] = {c.Red, c.Green, c.Blue, 255};
            }
        frames.push_back(screen);
        previous = &image;
    }
    return frames;
}

void ExpectScreen(const CRaster& image, const Screen& expected, int width) {
    ASSERT_EQ(static_cast<int>(image.GetWidth()), width);
    const int height = static_cast<int>(expected.size()) / width;
    ASSERT_EQ(static_cast<int>(image.GetHeight()), height);
    int bad = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const auto& want = expected[static_cast<std::size_t>(y * width + x)];
            const LONG iy = height - 1 - y;
            const bool transparent = image.IsTransparent(x, iy);
            const RGBQUAD got = image.GetPixelColor(x, iy, false);
            const bool ok = want[3] == 0 ? transparent
                                         : !transparent && got.rgbRed == want[0] && got.rgbGreen == want[1] &&
                                               got.rgbBlue == want[2];
            if (!ok && ++bad <= 3)
                ADD_FAILURE() << "(" << x << ", " << y << "): expected " << int(want[0]) << "," << int(want[1]) << ","
                              << int(want[2]) << (want[3] ? "" : " transparent") << ", got " << lumi::test::Hex(got)
                              << (transparent ? " transparent" : "");
        }
    EXPECT_EQ(bad, 0);
}

void ExpectDecodedAsComposed(const GifFile& file, const Bytes& bytes) {
    const std::vector<Screen> frames = Compose(file);
    CRasterGIF gif;
    gif.SetLoadAllFrames(true);
    CRasterMemFile stream(const_cast<BYTE*>(bytes.data()), static_cast<unsigned>(bytes.size()));
    ASSERT_TRUE(gif.Decode(&stream)) << gif.GetLastError();
    ASSERT_EQ(gif.GetFrameCount(), static_cast<LONG>(frames.size()));
    for (std::size_t i = 0; i < frames.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "frame " << i);
        ExpectScreen(*gif.GetFrame(static_cast<LONG>(i)), frames[i], file.width);
    }
    SCOPED_TRACE("the image itself: the last frame");
    ExpectScreen(gif, frames.back(), file.width);
}

GifImage Rect(int left, int top, int width, int height, int colours, unsigned seed) {
    GifImage image;
    image.left = left;
    image.top = top;
    image.width = width;
    image.height = height;
    image.pixels = RandomPixels(width * height, colours, seed);
    return image;
}

TEST(GifFromGiflib, AnimationsComposeEveryDisposalMethod) {
    GifFile shared;  // every image on the global table, one transparent index: a palette screen
    shared.width = 24;
    shared.height = 17;
    shared.background = 3;
    shared.global = RandomTable(16, 1);
    shared.images.push_back(Rect(0, 0, 24, 17, 16, 2));
    shared.images.back().transparent = 9;
    shared.images.back().disposal = DISPOSE_DO_NOT;
    for (int disposal : {DISPOSE_BACKGROUND, DISPOSE_PREVIOUS, 0, DISPOSE_PREVIOUS, DISPOSE_BACKGROUND}) {
        shared.images.push_back(Rect(disposal * 3 + 1, disposal + 2, 11, 9, 16, 10u + disposal));
        shared.images.back().transparent = 9;
        shared.images.back().disposal = disposal;
        shared.images.back().interlaced = disposal == DISPOSE_PREVIOUS;
    }

    GifFile mixed = shared;  // local tables of other sizes and transparencies: a true-colour screen
    mixed.images[0].transparent = NO_TRANSPARENT_COLOR;
    mixed.images[1].local = RandomTable(256, 3);
    mixed.images[1].pixels = RandomPixels(11 * 9, 256, 4);
    mixed.images[2].local = RandomTable(4, 5);
    mixed.images[2].pixels = RandomPixels(11 * 9, 4, 6);
    mixed.images[2].transparent = 1;
    mixed.images[3].transparent = NO_TRANSPARENT_COLOR;
    // One image reaching past the screen's corner: drawn clipped.
    mixed.images.push_back(Rect(20, 12, 9, 8, 16, 7));

    for (const GifFile* file : {&shared, &mixed}) {
        SCOPED_TRACE(file == &shared ? "shared table" : "local tables");
        ExpectDecodedAsComposed(*file, WriteWithGiflib(*file));
    }
}

TEST(GifFromGiflib, CodesGrowToTwelveBitsAndFillTheTable) {
    // Noise defeats the dictionary: giflib fills its 4096-entry table again and again,
    // clearing it each time, at every minimum code size.
    for (int colours : {2, 16, 256}) {
        SCOPED_TRACE(testing::Message() << colours << " colours");
        GifFile file;
        file.width = 203;
        file.height = 151;
        file.global = RandomTable(colours, 20u + colours);
        file.images.push_back(Rect(0, 0, file.width, file.height, colours, 30u + colours));
        ExpectDecodedAsComposed(file, WriteWithGiflib(file));
    }
}

// An LZW stream written here: a clear code, then codes that stop growing the table once it
// holds 4096 entries and go on at 12 bits (a deferred clear), with a clear every clearEvery
// codes after that.
std::vector<std::pair<unsigned, unsigned>> DeferredClearCodes(const Bytes& pixels, unsigned minCodeSize,
                                                              int clearEvery) {
    const unsigned clear = 1u << minCodeSize, end = clear + 1;
    std::vector<std::pair<unsigned, unsigned>> codes;
    std::map<std::pair<int, int>, unsigned> table;
    unsigned next = clear + 2, width = minCodeSize + 1;
    int sinceFull = 0;
    codes.push_back({clear, width});
    int prefix = -1;
    auto emit = [&](unsigned code) {
        codes.push_back({code, width});
        if (next >= (1u << width) && width < 12) ++width;  // the reader's entry lags one code
    };
    for (BYTE b : pixels) {
        if (prefix < 0) {
            prefix = b;
            continue;
        }
        const auto found = table.find({prefix, b});
        if (found != table.end()) {
            prefix = static_cast<int>(found->second);
            continue;
        }
        emit(static_cast<unsigned>(prefix));
        if (next < 4096) {
            table[{prefix, b}] = next++;
        } else if (++sinceFull == clearEvery) {
            codes.push_back({clear, width});
            table.clear();
            next = clear + 2;
            width = minCodeSize + 1;
            sinceFull = 0;
        }
        prefix = b;
    }
    emit(static_cast<unsigned>(prefix));
    codes.push_back({end, width});
    return codes;
}

Bytes PackCodes(const std::vector<std::pair<unsigned, unsigned>>& codes) {
    Bytes packed;
    unsigned long acc = 0;
    unsigned bits = 0;
    for (auto [code, width] : codes) {
        acc |= static_cast<unsigned long>(code) << bits;
        for (bits += width; bits >= 8; bits -= 8, acc >>= 8) packed.push_back(static_cast<BYTE>(acc & 0xFF));
    }
    if (bits) packed.push_back(static_cast<BYTE>(acc & 0xFF));
    return packed;
}

int ReadBytes(::GifFileType* gif, GifByteType* data, int n) {
    auto* source = static_cast<std::pair<const Bytes*, std::size_t>*>(gif->UserData);
    const int available = static_cast<int>(source->first->size() - source->second);
    n = std::min(n, available);
    std::copy_n(source->first->data() + source->second, n, data);
    source->second += static_cast<std::size_t>(n);
    return n;
}

TEST(GifFromGiflib, DeferredClearAfterAFullTable) {
    const int width = 180, height = 140;
    const Table table = RandomTable(256, 40);
    const Bytes pixels = RandomPixels(width * height, 256, 41);
    for (int clearEvery : {700, 1000000}) {
        SCOPED_TRACE(testing::Message() << "clear " << clearEvery << " codes after the table is full");
        ByteWriter out;
        out.Raw(Bytes{'G', 'I', 'F', '8', '9', 'a'}).U16(width).U16(height).U8(0xF7).U8(0).U8(0);
        for (const GifColorType& c : table) out.U8(c.Red).U8(c.Green).U8(c.Blue);
        out.U8(',').U16(0).U16(0).U16(width).U16(height).U8(0).U8(8);
        const Bytes packed = PackCodes(DeferredClearCodes(pixels, 8, clearEvery));
        for (std::size_t i = 0; i < packed.size(); i += 255) {
            const std::size_t n = std::min<std::size_t>(255, packed.size() - i);
            out.U8(static_cast<unsigned>(n)).Raw(Bytes(packed.begin() + static_cast<std::ptrdiff_t>(i),
                                                       packed.begin() + static_cast<std::ptrdiff_t>(i + n)));
        }
        const Bytes file = out.U8(0).U8(';').bytes;

        // giflib reads the stream as intended...
        std::pair<const Bytes*, std::size_t> source{&file, 0};
        int error = 0;
        ::GifFileType* reader = DGifOpen(&source, ReadBytes, &error);
        ASSERT_NE(reader, nullptr);
        ASSERT_EQ(DGifSlurp(reader), GIF_OK) << GifErrorString(reader->Error);
        EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), reader->SavedImages[0].RasterBits));
        DGifCloseFile(reader, &error);

        // ...and so does the codec.
        GifFile expected;
        expected.width = width;
        expected.height = height;
        expected.global = table;
        expected.images.push_back(GifImage{0, 0, width, height, false, {}, 0, NO_TRANSPARENT_COLOR, pixels});
        ExpectDecodedAsComposed(expected, file);
    }
}

}  // namespace
